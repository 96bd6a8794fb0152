// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack_calls/jack_calls.h"
#include "synth_feed.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tonalyx::midi {

// Where the built-in synth's sound goes. No part of it ever makes its owner wait for a sound
// server: an output either opens within the time it is given or counts as failed, and letting
// one go returns at once, whatever its server does.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Called after each message that reached the synth: an output that stopped rendering while
    // nothing sounded starts again. Never blocks.
    virtual void wake() noexcept { }
};

// The audio outputs tried for the built-in synth, best first: PulseAudio (also served by
// PipeWire desktops), a running JACK server, then the sound card through ALSA.
std::vector<std::string> defaultAudioDrivers();

// How long opening the built-in synth's audio may take, every try included: a server that does
// not answer by then counts as none.
inline constexpr std::chrono::milliseconds kAudioOpenTime { 500 };

// The first of `drivers` that opens for the synth within `openTime`; nothing when none does.
// "pulseaudio" is the program's own output on libpulse; any other name is one of FluidSynth's
// drivers, "jack" tried only while a JACK server answers on the `jack` thread, never starting one.
std::unique_ptr<AudioOutput> startAudioOutput(const std::shared_ptr<SynthCore>& core,
    const std::vector<std::string>& drivers, std::shared_ptr<JackCalls> jack,
    std::chrono::milliseconds openTime = kAudioOpenTime);

} // namespace tonalyx::midi
