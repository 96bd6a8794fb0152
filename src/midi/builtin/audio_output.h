#pragma once

#include "fluid_handles.h"
#include "midi/jack/jack_calls.h"

#include <string>
#include <vector>

namespace tonalyx::midi {

// FluidSynth's audio drivers tried for the built-in synth, best first: PulseAudio (also served
// by PipeWire desktops), a running JACK server, then the sound card through ALSA.
std::vector<std::string> defaultAudioDrivers();

// Starts the first of `drivers` that works for `synth`; an empty owner when none does. The
// JACK driver is tried only while a server answers, asked on the `jack` thread, never starting
// one.
FluidAudioDriver startAudioOutput(fluid_settings_t& settings, fluid_synth_t& synth,
    const std::vector<std::string>& drivers, JackCalls& jack);

} // namespace tonalyx::midi
