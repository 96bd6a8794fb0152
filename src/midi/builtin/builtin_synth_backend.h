#pragma once

#include "audio_output.h"
#include "builtin_synth.h"
#include "midi/midi_backend.h"

#include <memory>
#include <string>
#include <vector>

namespace tonalyx::testing {
struct BuiltInSynthPeer;
}

namespace tonalyx::midi {

struct BuiltInSynthConfig {
    std::vector<std::string> soundFonts = defaultSoundFonts();
    // Tried in order when the synth opens. An empty list opens it without any audio output, for
    // rendering its sound by hand.
    std::vector<std::string> audioDrivers = defaultAudioDrivers();
};

// The built-in GS synth as a backend of one port. Its fonts are loaded at the first open and
// kept for the whole run; only its audio output comes and goes with each open and close.
class BuiltInSynthBackend final : public MidiBackend {
public:
    static constexpr std::string_view kName = "Built-in GS Synth (FluidSynth)";

    explicit BuiltInSynthBackend(BuiltInSynthConfig config = {});

    std::vector<MidiPort> ports() override;
    std::unique_ptr<MidiConnection> open(const std::string& identity) override;

private:
    friend struct testing::BuiltInSynthPeer;
    class Connection;

    BuiltInSynthConfig config_;
    std::unique_ptr<BuiltInSynth> synth_;
    bool open_ = false;
};

} // namespace tonalyx::midi
