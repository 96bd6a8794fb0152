// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio_output.h"
#include "midi/jack_calls/jack_calls.h"
#include "midi/midi_backend.h"
#include "midi/midi_messages.h"
#include "preset_keeper.h"
#include "synth_feed.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tonalyx::testing {
struct BuiltInSynthPeer;
}

namespace tonalyx::midi {

// The SoundFonts of the built-in synth, loaded in this order; FluidSynth searches the last one
// first, so the GS add-on's variations are found before the GM font's presets.
std::vector<std::string> defaultSoundFonts();

// The GS software synthesiser behind device 0: FluidSynth with GS bank selection and the given
// SoundFonts. The fonts are loaded once; the audio output comes and goes with the device's
// opens and closes, so switching away and back costs no reload. Neither starting nor stopping
// the audio ever waits for a sound server (see audio_output.h).
class BuiltInSynth {
public:
    // A synth with every font of `soundFonts` loaded, or nothing when one of them is missing,
    // unreadable, broken or no regular file. Then the `extraSoundFonts`, in order, so that
    // FluidSynth searches them first: one that cannot be loaded is left out, with one line on
    // standard error, and one that would never be heard (each of its presets is in a later one)
    // is not loaded. The samples of a preset are read only when a channel selects it.
    static std::unique_ptr<BuiltInSynth> load(const std::vector<std::string>& soundFonts,
        const std::vector<std::string>& extraSoundFonts = {});
    BuiltInSynth(const BuiltInSynth&) = delete;
    BuiltInSynth& operator=(const BuiltInSynth&) = delete;

    // Starts the first audio output of `drivers` that opens in time; false if none does.
    // Whether a JACK server answers is asked on the `jack` thread.
    bool startAudio(const std::vector<std::string>& drivers, std::shared_ptr<JackCalls> jack);
    // Silences the synth, then stops its audio, so nothing sounds on when it starts again.
    void stopAudio();

    // One whole message. False for one the synth cannot take.
    bool play(MessageBytes message);
    // Cuts every sounding note on every channel at once, without a release.
    void silence();
    // A press may soon select this bank and program: their samples are read meanwhile, on a
    // thread of the synth's own. Sounds nothing and returns at once.
    void prepare(int bank, int program);
    // The drum sets of the loaded fonts, read once as they were loaded.
    const DrumSetsHeld& drumSetsHeld() const { return drumSets_; }

private:
    friend struct testing::BuiltInSynthPeer;

    explicit BuiltInSynth(std::shared_ptr<SynthCore> core);
    // Renders the next frames by hand, to nowhere: what a stopped output would have played.
    void render(std::span<float> left, std::span<float> right);
    bool deliver(MessageBytes message);
    // After a message that starts a sound has reached the synth: the output renders it.
    void wakeOutput() noexcept;

    // Declared so that they go in this order: the keeper's thread, then the output, and the
    // synth last, unless a thread still stopping an output holds it.
    const std::shared_ptr<SynthCore> core_;
    fluid_synth_t* const synth_;
    const DrumSetsHeld drumSets_;
    std::unique_ptr<AudioOutput> output_;
    PresetKeeper presets_;
};

} // namespace tonalyx::midi
