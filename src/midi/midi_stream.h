#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The shape of MIDI messages on the wire. Every output sends whole messages one at a time: a
// JACK port carries one message per event and the built-in synth takes one call per message, so
// bytes from the program are checked and cut into messages before they go anywhere.
namespace tonalyx::midi {

using MessageBytes = std::span<const std::uint8_t>;

// The length of a message that starts with `status`, status byte included: 1 to 3 for channel,
// system common and real-time messages; 0 for a data byte, the variable-length system exclusive
// (0xF0) and its end (0xF7), and the undefined statuses 0xF4, 0xF5, 0xF9 and 0xFD.
std::size_t fixedMessageLength(std::uint8_t status);

// The bytes of one short message, held by value: every press sends several, and none of them
// should wait for the heap.
struct ShortMessageBytes {
    std::array<std::uint8_t, 3> data {};
    std::size_t size = 0;

    MessageBytes bytes() const { return { data.data(), size }; }
};

// The bytes of a packed short message (status + 256 * data1 + 65536 * data2), as many as its
// status says; nothing for a status that is not a fixed-length message or a data byte with its
// top bit set, which a receiver would take for a status.
std::optional<ShortMessageBytes> shortMessageBytes(std::uint32_t packed);

// Cuts a buffer into whole messages, each system exclusive from 0xF0 to its 0xF7. Nothing when
// the buffer is empty, starts with a data byte, or holds a cut-off or undefined message: a
// half-valid buffer is refused whole rather than sent in part.
std::optional<std::vector<MessageBytes>> splitMessages(MessageBytes buffer);

} // namespace tonalyx::midi
