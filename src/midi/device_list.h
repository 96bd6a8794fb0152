// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_backend.h"

#include <cstdint>
#include <future>
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
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    std::int32_t count();
    // The name a user knows the device by, cut to at most 32 bytes without splitting a
    // character; empty for a number that names no device.
    std::string name(std::int32_t device);
    // Nothing for a number that names no device, or a port that is gone or refuses.
    std::unique_ptr<MidiConnection> open(std::int32_t device);
    // Starts opening a device on a thread of its own, for an open of it that is sure to follow:
    // loading a synth's SoundFonts, say, then runs while the window is built. That open then
    // waits for what is left of it. Nothing else may be asked of the list meanwhile.
    void openAhead(std::int32_t device);
    // The program's input ports, one for each system that has one.
    std::vector<InputRoute*> inputs() const;
    // Messages its outputs left out for want of room so far.
    std::uint64_t leftOut() const;

private:
    struct Device {
        MidiBackend* backend;
        std::string identity;
        std::string name;
    };

    const Device* find(std::int32_t device);

    std::vector<std::unique_ptr<MidiBackend>> backends_;
    std::optional<std::vector<Device>> devices_;
    struct Ahead {
        std::int32_t device;
        std::future<std::unique_ptr<MidiConnection>> connection;
    };
    std::optional<Ahead> ahead_;
};

} // namespace tonalyx::midi
