// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fluidsynth.h>
#include <memory>

// Owners of FluidSynth's objects. A synth holds its settings and a driver holds its synth, so
// they are declared settings, synth, driver and so destroyed in the reverse order.
namespace tonalyx::midi {

using FluidSettings = std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)>;
using FluidSynth = std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)>;
using FluidAudioDriver
    = std::unique_ptr<fluid_audio_driver_t, decltype(&delete_fluid_audio_driver)>;

} // namespace tonalyx::midi
