#include "audio_output.h"

#include "midi/jack/jack_server.h"

namespace tonalyx::midi {

std::vector<std::string> defaultAudioDrivers()
{
    return { "pulseaudio", "jack", "alsa" };
}

FluidAudioDriver startAudioOutput(fluid_settings_t& settings, fluid_synth_t& synth,
    const std::vector<std::string>& drivers, JackCalls& jack)
{
    for (const auto& name : drivers) {
        if (name == "jack" && !jackServerRunning(jack))
            continue;
        if (fluid_settings_setstr(&settings, "audio.driver", name.c_str()) != FLUID_OK)
            continue;
        FluidAudioDriver driver(
            new_fluid_audio_driver(&settings, &synth), &delete_fluid_audio_driver);
        if (driver)
            return driver;
    }
    return { nullptr, &delete_fluid_audio_driver };
}

} // namespace tonalyx::midi
