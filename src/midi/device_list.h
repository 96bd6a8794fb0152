#pragma once

#include "midi_backend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The output devices as the program numbers them: every port of the first backend, then every
// port of the next, and so on. The list is taken from the backends at the first question about
// it and kept for the whole run, so a device keeps its number even when ports come and go.
class DeviceList {
public:
    explicit DeviceList(std::vector<std::unique_ptr<MidiBackend>> backends);
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    std::int32_t count();
    // The name a user knows the device by, cut to at most 32 bytes without splitting a
    // character; empty for a number that names no device.
    std::string name(std::int32_t device);
    // Nothing for a number that names no device, or a port that is gone or refuses.
    std::unique_ptr<MidiConnection> open(std::int32_t device);
    // The program's input ports, one for each system that has one.
    std::vector<InputQueue*> inputs() const;

private:
    struct Device {
        MidiBackend* backend;
        std::string identity;
        std::string name;
    };

    const Device* find(std::int32_t device);

    std::vector<std::unique_ptr<MidiBackend>> backends_;
    std::optional<std::vector<Device>> devices_;
};

} // namespace tonalyx::midi
