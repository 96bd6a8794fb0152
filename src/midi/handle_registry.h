#pragma once

#include "midi_out_service.h"

#include <cstdint>
#include <map>
#include <optional>

namespace tonalyx::midi {

// The handles of the open devices. Every open gets a handle never given before, so a handle kept
// after its close, or after the device was opened again, is refused instead of reaching the
// device's new user; 0 is never given, so a failed open's zero handle is never open.
class HandleRegistry {
public:
    MidiOutHandle issue(std::int32_t device);
    // The device behind a handle that is open, if any.
    std::optional<std::int32_t> deviceOf(MidiOutHandle handle) const;
    bool isDeviceOpen(std::int32_t device) const;
    // Forgets the handle; false if it was not open.
    bool release(MidiOutHandle handle);
    std::optional<MidiOutHandle> handleOf(std::int32_t device) const;

private:
    MidiOutHandle lastIssued_ = 0;
    std::map<MidiOutHandle, std::int32_t> open_;
};

} // namespace tonalyx::midi
