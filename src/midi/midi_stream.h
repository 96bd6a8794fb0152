// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_messages.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The shape of MIDI messages in a stream of bytes: how long each one is and where it ends, for
// bytes that arrive from outside and must be cut into whole messages before they go anywhere.
namespace tonalyx::midi {

// The length of a message that starts with `status`, status byte included: 1 to 3 for channel,
// system common and real-time messages; 0 for a data byte, the variable-length system exclusive
// (0xF0) and its end (0xF7), and the undefined statuses 0xF4, 0xF5, 0xF9 and 0xFD.
std::size_t fixedMessageLength(std::uint8_t status);

// Cuts a buffer into whole messages, each system exclusive from 0xF0 to its 0xF7. Nothing when
// the buffer is empty, starts with a data byte, or holds a cut-off or undefined message: a
// half-valid buffer is refused whole rather than sent in part.
std::optional<std::vector<MessageBytes>> splitMessages(MessageBytes buffer);

} // namespace tonalyx::midi
