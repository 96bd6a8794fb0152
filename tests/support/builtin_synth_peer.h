// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/builtin/builtin_synth_backend.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <fluidsynth.h>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tonalyx::testing {

// Levels of the built-in synth's rendered output, as RMS of full scale.
inline constexpr double kAudible = 0.01; // -40 dBFS: a note
inline constexpr double kSilent = 1e-4; // -80 dBFS: nothing

// The real SoundFonts and no audio output: the synth is rendered by hand, as a machine without a
// sound card can.
// However busy the machine, the open waits for the fonts to load.
inline midi::BuiltInSynthConfig offlineSynthConfig()
{
    midi::BuiltInSynthConfig config;
    config.audioDrivers.clear();
    config.loadTime = std::chrono::minutes(1);
    return config;
}

// What the tests and benchmarks look at inside the built-in synth, through FluidSynth itself.
struct BuiltInSynthPeer {
    struct Preset {
        int bank;
        int program;
        friend bool operator==(const Preset&, const Preset&) = default;
    };

    // The synth once the backend has loaded it.
    static midi::BuiltInSynth* synthOf(midi::BuiltInSynthBackend& backend)
    {
        return backend.synth_ ? &*backend.synth_ : nullptr;
    }
    static bool hasAudio(const midi::BuiltInSynth& synth) { return synth.output_ != nullptr; }
    static midi::AudioOutput* output(midi::BuiltInSynth& synth) { return synth.output_.get(); }

    // The preset that sounds on a channel (0 to 15), if any.
    static std::optional<Preset> presetOn(midi::BuiltInSynth& synth, int channel)
    {
        auto* preset = fluid_synth_get_channel_preset(synth.synth_, channel);
        if (preset == nullptr)
            return std::nullopt;
        return Preset { fluid_preset_get_banknum(preset), fluid_preset_get_num(preset) };
    }
    // The file of the SoundFont whose preset sounds on a channel, as it was loaded.
    static std::string fontOn(midi::BuiltInSynth& synth, int channel)
    {
        auto* preset = fluid_synth_get_channel_preset(synth.synth_, channel);
        return preset ? fluid_sfont_get_name(fluid_preset_get_sfont(preset)) : "";
    }
    static int fontCount(midi::BuiltInSynth& synth) { return fluid_synth_sfcount(synth.synth_); }
    static int controllerValue(midi::BuiltInSynth& synth, int channel, int controller)
    {
        int value = 0;
        fluid_synth_get_cc(synth.synth_, channel, controller, &value);
        return value;
    }
    // Reverb and chorus, on unless turned off; without them the output is the notes alone, with
    // no tail of the room after them.
    static void setEffects(midi::BuiltInSynth& synth, bool on)
    {
        fluid_synth_reverb_on(synth.synth_, -1, on ? 1 : 0);
        fluid_synth_chorus_on(synth.synth_, -1, on ? 1 : 0);
    }
    // The presets read ahead for a press that has not come yet, oldest channel first.
    static std::vector<Preset> prefetched(midi::BuiltInSynth& synth)
    {
        std::vector<Preset> held;
        for (const int channel : midi::PresetKeeper::kReadAheadChannels) {
            if (const auto preset = presetOn(synth, channel))
                held.push_back(*preset);
        }
        return held;
    }
    static void render(midi::BuiltInSynth& synth, std::span<float> left, std::span<float> right)
    {
        synth.render(left, right);
    }
};

// The RMS of the synth's next `seconds` of output at 48 kHz, both channels together.
inline double renderRms(midi::BuiltInSynth& synth, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    std::vector<float> left(frames), right(frames);
    BuiltInSynthPeer::render(synth, left, right);
    double sum = 0;
    for (std::size_t i = 0; i < frames; ++i)
        sum += double(left[i]) * left[i] + double(right[i]) * right[i];
    return std::sqrt(sum / (2.0 * double(frames)));
}

} // namespace tonalyx::testing

namespace tonalyx::testing {

// The built-in synth opened as the program opens it, by default without an audio output.
struct OpenedSynth {
    explicit OpenedSynth(midi::BuiltInSynthConfig config = offlineSynthConfig())
        : backend(std::move(config))
        , connection(backend.open(backend.ports().front().identity))
    { }

    bool send(std::initializer_list<std::uint8_t> bytes)
    {
        const std::vector<std::uint8_t> message(bytes);
        return connection && connection->send(message);
    }
    midi::BuiltInSynth& synth() { return *BuiltInSynthPeer::synthOf(backend); }

    midi::BuiltInSynthBackend backend;
    std::unique_ptr<midi::MidiConnection> connection;
};

} // namespace tonalyx::testing
