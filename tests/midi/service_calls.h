#pragma once

#include "midi/midi_out_service.h"

#include <cstdint>
#include <vector>

namespace tonalyx::testing {

// A short message packed as the service takes it; any status, not only the program's own.
inline std::uint32_t pack(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0)
{
    return status + 256u * data1 + 65536u * data2;
}

// Sends `bytes` as one long message, prepared first as the port does.
inline midi::MidiResult sendLong(midi::MidiOutService& service, midi::MidiOutHandle handle,
    const std::vector<std::uint8_t>& bytes)
{
    midi::MidiLongMessageHeader header { bytes.data(), static_cast<std::uint32_t>(bytes.size()),
        0 };
    service.prepareHeader(handle, header);
    return service.longMessage(handle, header);
}

} // namespace tonalyx::testing
