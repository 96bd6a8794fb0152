// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_output.h"

#include "fluid_driver_output.h"
#include "pulse_audio_output.h"

#include <algorithm>

namespace tonalyx::midi {

std::vector<std::string> defaultAudioDrivers()
{
    return { "pulseaudio", "jack", "alsa" };
}

std::unique_ptr<AudioOutput> startAudioOutput(const std::shared_ptr<SynthCore>& core,
    const std::vector<std::string>& drivers, std::shared_ptr<JackCalls> jack,
    std::chrono::milliseconds openTime)
{
    using Clock = FluidDriverOutput::Clock;
    // One time limit for every try: a server that does not answer uses it up, and the outputs
    // after it are not tried.
    const auto deadline = Clock::now() + openTime;
    for (const auto& name : drivers) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        if (name == "pulseaudio") {
            PulseAudioOutput::Options options;
            options.openTimeout = left;
            options.onRenderThread = [core] { core->renderPriority.promoteThisThread(); };
            if (auto output = PulseAudioOutput::open(*core->synth, std::move(options)))
                return output;
        } else if (auto output = FluidDriverOutput::start(core, name, jack, deadline)) {
            return output;
        }
    }
    return nullptr;
}

} // namespace tonalyx::midi
