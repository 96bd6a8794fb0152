// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_name.h"

#include <algorithm>

namespace tonalyx::midi {

namespace {

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The bytes a UTF-8 character takes, read from its first byte; 0 if it cannot start one.
std::size_t utf8Length(char first)
{
    const auto byte = static_cast<unsigned char>(first);
    if (byte < 0x80)
        return 1;
    if ((byte & 0xE0) == 0xC0)
        return 2;
    if ((byte & 0xF0) == 0xE0)
        return 3;
    if ((byte & 0xF8) == 0xF0)
        return 4;
    return 0;
}

} // namespace

std::string_view cutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // Walk whole characters; stop before the one that would cross the limit.
    std::size_t end = 0;
    while (end < maxBytes) {
        const auto length = utf8Length(text[end]);
        if (length == 0 || end + length > text.size()
            || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(end) + 1,
                text.begin() + static_cast<std::ptrdiff_t>(end + length), isContinuationByte))
            return text.substr(0, maxBytes); // not UTF-8: keep the bytes as they are
        if (end + length > maxBytes)
            break;
        end += length;
    }
    return text.substr(0, end);
}

} // namespace tonalyx::midi
