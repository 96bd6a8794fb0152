// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_stream.h"

#include <algorithm>

namespace tonalyx::midi {

namespace {

constexpr std::uint8_t kSystemExclusive = 0xF0;
constexpr std::uint8_t kEndOfExclusive = 0xF7;

bool isDataByte(std::uint8_t byte)
{
    return byte < 0x80;
}

} // namespace

std::size_t fixedMessageLength(std::uint8_t status)
{
    if (isDataByte(status))
        return 0;
    if (status < 0xF0) {
        const auto kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 2;
    case 0xF2: // song position
        return 3;
    case 0xF6: // tune request
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF:
        return 1;
    default:
        return 0;
    }
}

std::optional<std::vector<MessageBytes>> splitMessages(MessageBytes buffer)
{
    if (buffer.empty())
        return std::nullopt;
    std::vector<MessageBytes> messages;
    std::size_t at = 0;
    while (at < buffer.size()) {
        const auto status = buffer[at];
        std::size_t length = 0;
        if (status == kSystemExclusive) {
            const auto rest = buffer.subspan(at + 1);
            const auto end = std::find_if_not(rest.begin(), rest.end(), isDataByte);
            if (end == rest.end() || *end != kEndOfExclusive)
                return std::nullopt;
            length = static_cast<std::size_t>(end - rest.begin()) + 2;
        } else {
            length = fixedMessageLength(status);
            if (length == 0 || at + length > buffer.size())
                return std::nullopt;
            const auto data = buffer.subspan(at + 1, length - 1);
            if (!std::all_of(data.begin(), data.end(), isDataByte))
                return std::nullopt;
        }
        messages.push_back(buffer.subspan(at, length));
        at += length;
    }
    return messages;
}

} // namespace tonalyx::midi
