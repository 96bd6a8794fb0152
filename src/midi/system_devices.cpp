#include "system_devices.h"

#include "alsa/alsa_backend.h"
#include "jack/jack_backend.h"

namespace tonalyx::midi {

std::vector<std::unique_ptr<MidiBackend>> systemBackends(SystemDevicesConfig config)
{
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(std::make_unique<BuiltInSynthBackend>(std::move(config.builtInSynth)));
    if (auto alsa = makeAlsaBackend(config.clientName))
        backends.push_back(std::move(alsa));
    if (auto jack = makeJackBackend(config.clientName))
        backends.push_back(std::move(jack));
    return backends;
}

std::unique_ptr<DeviceList> makeSystemDeviceList(SystemDevicesConfig config)
{
    return std::make_unique<DeviceList>(systemBackends(std::move(config)));
}

} // namespace tonalyx::midi
