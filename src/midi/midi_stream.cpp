// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_stream.h"

#include <algorithm>

namespace tonalyx::midi {

std::size_t fixedMessageLength(std::uint8_t status)
{
    if (isDataByte(status))
        return 0;
    if (isChannelStatus(status)) {
        const auto kind = kindOf(status);
        return kind == kProgramChange || kind == kChannelPressure ? 2 : 3;
    }
    switch (status) {
    case kTimeCodeQuarterFrame:
    case kSongSelect:
        return 2;
    case kSongPosition:
        return 3;
    case kTuneRequest:
    case kTimingClock:
    case kStart:
    case kContinue:
    case kStop:
    case kActiveSensing:
    case kSystemReset:
        return 1;
    default:
        return 0;
    }
}

std::size_t wholeMessageLength(MessageBytes stream)
{
    if (stream.empty())
        return 0;
    if (stream.front() == kSystemExclusive) {
        const auto rest = stream.subspan(1);
        const auto end = std::find_if_not(rest.begin(), rest.end(), isDataByte);
        if (end == rest.end() || *end != kEndOfExclusive)
            return 0;
        return static_cast<std::size_t>(end - rest.begin()) + 2;
    }
    const auto length = fixedMessageLength(stream.front());
    if (length == 0 || length > stream.size())
        return 0;
    const auto data = stream.subspan(1, length - 1);
    return std::all_of(data.begin(), data.end(), isDataByte) ? length : 0;
}

std::optional<std::vector<MessageBytes>> splitMessages(MessageBytes buffer)
{
    if (buffer.empty())
        return std::nullopt;
    std::vector<MessageBytes> messages;
    std::size_t at = 0;
    while (at < buffer.size()) {
        const auto length = wholeMessageLength(buffer.subspan(at));
        if (length == 0)
            return std::nullopt;
        messages.push_back(buffer.subspan(at, length));
        at += length;
    }
    return messages;
}

std::optional<ChannelMessage> readChannelMessage(MessageBytes message)
{
    if (message.empty() || !isChannelStatus(message.front())
        || wholeMessageLength(message) != message.size())
        return std::nullopt;
    const auto status = message.front();
    return ChannelMessage { kindOf(status), static_cast<std::uint8_t>(status & kChannelMask),
        message[1], message.size() > 2 ? message[2] : std::uint8_t { 0 } };
}

} // namespace tonalyx::midi
