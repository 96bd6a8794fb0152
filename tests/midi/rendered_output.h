#pragma once

#include "midi/system_midi_out_service.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace tonalyx::testing {

// Levels of the built-in synth's rendered output, as RMS of full scale.
inline constexpr double kAudible = 0.01; // -40 dBFS: a note
inline constexpr double kSilent = 1e-4; // -80 dBFS: nothing

// The system service with the real SoundFonts and no audio output: the built-in synth is
// rendered by hand, as a machine without a sound card can.
inline midi::SystemMidiOutConfig offlineSynthConfig()
{
    midi::SystemMidiOutConfig config;
    config.audioDrivers.clear();
    return config;
}

// The RMS of the synth's next `seconds` of output at 48 kHz, both channels together.
inline double renderRms(midi::BuiltInSynth& synth, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    std::vector<float> left(frames), right(frames);
    synth.render(left, right);
    double sum = 0;
    for (std::size_t i = 0; i < frames; ++i)
        sum += double(left[i]) * left[i] + double(right[i]) * right[i];
    return std::sqrt(sum / (2.0 * double(frames)));
}

} // namespace tonalyx::testing
