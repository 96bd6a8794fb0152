#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tonalyx::midi {

// What the operating system's MIDI output service answers; 0 is success, anything else is an
// error that only the open's caller ever looks at.
using MidiResult = std::uint32_t;
inline constexpr MidiResult kMidiOk = 0;
inline constexpr MidiResult kMidiError = 1;

// Opaque handle of an open output; its value means something only to the service that gave it.
using MidiOutHandle = std::uintptr_t;

inline constexpr std::size_t kProductNameSize = 32;

// A device's description as the service gives it. The product name is a fixed 32-byte field of
// 8-bit text, normally ended by a zero byte but not necessarily.
struct MidiOutCaps {
    std::array<char, kProductNameSize> productName {};
};

// The one record that carries a system-exclusive message to the service. The program sets the
// data pointer and length before every send; the service may keep its own marks in `flags`.
struct MidiLongMessageHeader {
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::uint32_t flags = 0;
};

// The platform's MIDI output calls, one virtual per call and nothing more. Devices are numbered
// 0 to deviceCount() - 1 in a list that stays the same for the whole run. Every call on a handle
// that is closed or failed to open must do nothing and report an error.
class MidiOutService {
public:
    virtual ~MidiOutService() = default;

    virtual std::uint32_t deviceCount() = 0;
    virtual MidiResult deviceCaps(std::int32_t device, MidiOutCaps& caps) = 0;
    virtual MidiResult open(MidiOutHandle& handle, std::int32_t device) = 0;
    virtual MidiResult close(MidiOutHandle handle) = 0;
    virtual MidiResult reset(MidiOutHandle handle) = 0;
    // `packed` is status + 256 * data1 + 65536 * data2.
    virtual MidiResult shortMessage(MidiOutHandle handle, std::uint32_t packed) = 0;
    virtual MidiResult prepareHeader(MidiOutHandle handle, MidiLongMessageHeader& header) = 0;
    virtual MidiResult longMessage(MidiOutHandle handle, MidiLongMessageHeader& header) = 0;
};

} // namespace tonalyx::midi
