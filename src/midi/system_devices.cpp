// SPDX-License-Identifier: GPL-3.0-or-later
#include "system_devices.h"

#include "alsa/alsa_backend.h"
#include "jack/jack_backend.h"
#include "jack_calls/jack_calls.h"

namespace tonalyx::midi {

std::vector<std::unique_ptr<MidiBackend>> systemBackends(SystemDevicesConfig config)
{
    // One thread for everything that may wait on the JACK server: libjack serialises client
    // opens and closes across the whole process anyway, and a call stuck on a stopped server
    // must turn the next ones away at once, whichever part of the program makes them.
    auto jackCalls = std::make_shared<JackCalls>();
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(
        std::make_unique<BuiltInSynthBackend>(std::move(config.builtInSynth), jackCalls));
    if (auto alsa = makeAlsaBackend(config.clientName))
        backends.push_back(std::move(alsa));
    if (auto jack = makeJackBackend(config.clientName, std::move(jackCalls)))
        backends.push_back(std::move(jack));
    return backends;
}

std::unique_ptr<DeviceList> makeSystemDeviceList(SystemDevicesConfig config)
{
    return std::make_unique<DeviceList>(systemBackends(std::move(config)));
}

} // namespace tonalyx::midi
