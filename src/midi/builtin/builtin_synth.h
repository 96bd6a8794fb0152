#pragma once

#include "fluid_handles.h"
#include "midi/jack/jack_calls.h"
#include "midi/midi_messages.h"

#include <array>
#include <cstdint>
#include <optional>
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
// opens and closes, so switching away and back costs no reload.
class BuiltInSynth {
public:
    // A synth with every font of `soundFonts` loaded, or nothing when one of them is missing,
    // unreadable or broken. Then the `extraSoundFonts`, in order, so that FluidSynth searches
    // them first: one that cannot be loaded is left out, with one line on standard error.
    static std::optional<BuiltInSynth> load(const std::vector<std::string>& soundFonts,
        const std::vector<std::string>& extraSoundFonts = {});

    // Starts the first audio driver of `drivers` that works; false if none does. Whether a JACK
    // server answers is asked on the `jack` thread.
    bool startAudio(const std::vector<std::string>& drivers, JackCalls& jack);
    // Silences the synth, then stops its audio, so nothing sounds on when it starts again.
    void stopAudio();

    // One whole message. False for one the synth cannot take.
    bool play(MessageBytes message);
    // Cuts every sounding note on every channel at once, without a release.
    void silence();

private:
    friend struct testing::BuiltInSynthPeer;

    BuiltInSynth(FluidSettings settings, FluidSynth synth);
    // Renders the next frames by hand, to nowhere: what a stopped output would have played.
    void render(std::span<float> left, std::span<float> right);
    void keepLoaded(int channel);

    FluidSettings settings_;
    FluidSynth synth_;
    FluidAudioDriver driver_ { nullptr, &delete_fluid_audio_driver };

    // The presets last heard, whose samples stay in memory; see keepLoaded().
    struct HeardPreset {
        int font;
        int bank;
        int program;
        friend bool operator==(const HeardPreset&, const HeardPreset&) = default;
    };
    static constexpr std::size_t kKeptPresets = 16;
    std::array<std::optional<HeardPreset>, kKeptPresets> kept_ {};
    std::size_t nextKept_ = 0;
};

} // namespace tonalyx::midi
