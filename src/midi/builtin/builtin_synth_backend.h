// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio_output.h"
#include "builtin_synth.h"
#include "midi/jack_calls/jack_calls.h"
#include "midi/midi_backend.h"
#include "synth_load.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tonalyx::testing {
struct BuiltInSynthPeer;
}

namespace tonalyx::midi {

struct BuiltInSynthConfig {
    // Every one of these must load for the synth to open.
    std::vector<std::string> soundFonts = defaultSoundFonts();
    // Loaded after them, in this order, so that their presets are found first; one that cannot
    // be loaded is left out, and the synth opens without it.
    std::vector<std::string> extraSoundFonts;
    // Tried in order when the synth opens. An empty list opens it without any audio output, for
    // rendering its sound by hand.
    std::vector<std::string> audioDrivers = defaultAudioDrivers();
    // How long the open that starts loading the fonts waits for them: a load that takes longer
    // fails that open, and goes on; a later open takes its synth once it has ended.
    std::chrono::milliseconds loadTime = kAudioOpenTime;
};

// The built-in GS synth as a backend of one port. Its fonts are loaded at the first open, on a
// thread of their own that no open waits for longer than the config's loadTime, and kept for the
// whole run; only its audio output comes and goes with each open and close.
class BuiltInSynthBackend final : public MidiBackend {
public:
    static constexpr std::string_view kName = "Built-in GS Synth (FluidSynth)";

    // Whether a JACK server answers, before FluidSynth's JACK driver is tried, is asked on
    // `jackCalls`. The program hands it the one thread its JACK backend asks the server on; a
    // synth on its own (a test, a benchmark) has one of its own.
    explicit BuiltInSynthBackend(BuiltInSynthConfig config = {},
        std::shared_ptr<JackCalls> jackCalls = std::make_shared<JackCalls>());

    std::vector<MidiPort> ports() override;
    std::unique_ptr<MidiConnection> open(const std::string& identity) override;

private:
    friend struct testing::BuiltInSynthPeer;
    class Connection;

    BuiltInSynthConfig config_;
    std::shared_ptr<JackCalls> jackCalls_;
    std::unique_ptr<SynthLoad> loading_; // until the synth is taken from it
    std::unique_ptr<BuiltInSynth> synth_;
    bool open_ = false;
};

} // namespace tonalyx::midi
