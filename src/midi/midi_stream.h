// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_messages.h"
#include "midi_vocabulary.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The one reader of MIDI bytes: how long each message is, where it ends in a stream, and what a
// channel message says. Whatever arrives from outside (an input, a backend's send) is cut and
// read here before it goes anywhere.
namespace tonalyx::midi {

// The length of a message that starts with `status`, status byte included: 1 to 3 for channel,
// system common and real-time messages; 0 for a data byte, the variable-length system exclusive
// (0xF0) and its end (0xF7), and the undefined statuses 0xF4, 0xF5, 0xF9 and 0xFD.
std::size_t fixedMessageLength(std::uint8_t status);

// The length of the whole message at the front of `stream`: a status byte with all its data
// bytes, or a system exclusive through its 0xF7. 0 when none starts there: an empty stream, a data
// byte first, a message cut off or broken into by another status, an undefined status or a stray
// end of exclusive.
std::size_t wholeMessageLength(MessageBytes stream);

// Hands `each` every whole message of `stream`, in order, as a part of it; bytes that start no
// whole message are passed over. Allocates nothing, so that an input's own thread can cut what it
// reads.
template <typename Each> void forEachMessage(MessageBytes stream, Each&& each)
{
    std::size_t at = 0;
    while (at < stream.size()) {
        const auto rest = stream.subspan(at);
        const auto length = wholeMessageLength(rest);
        if (length > 0)
            each(rest.first(length));
        at += std::max<std::size_t>(length, 1);
    }
}

// Cuts a buffer into whole messages, each system exclusive from 0xF0 to its 0xF7. Nothing when
// the buffer is empty, starts with a data byte, or holds a cut-off or undefined message: a
// half-valid buffer is refused whole rather than sent in part.
std::optional<std::vector<MessageBytes>> splitMessages(MessageBytes buffer);

// A channel message taken apart.
struct ChannelMessage {
    std::uint8_t kind; // kNoteOff to kPitchBend
    std::uint8_t channel; // 0 to 15
    std::uint8_t data1;
    std::uint8_t data2; // 0 for the messages with one data byte
};

// `message` taken apart when it is one whole channel message and nothing more; nothing otherwise.
std::optional<ChannelMessage> readChannelMessage(MessageBytes message);

} // namespace tonalyx::midi
