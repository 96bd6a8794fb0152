#include "device_name.h"

#include <algorithm>
#include <cctype>

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

bool isDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
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

std::string_view withoutAlsaAddress(std::string_view portName)
{
    const auto space = portName.rfind(' ');
    if (space == std::string_view::npos)
        return portName;
    const auto address = portName.substr(space + 1);
    const auto colon = address.find(':');
    if (colon == std::string_view::npos || !isDigits(address.substr(0, colon))
        || !isDigits(address.substr(colon + 1)))
        return portName;
    return portName.substr(0, space);
}

MidiOutCaps capsNamed(std::string_view name)
{
    MidiOutCaps caps {};
    const auto cut = cutUtf8(name, kMaxDeviceNameBytes);
    std::copy(cut.begin(), cut.end(), caps.productName.begin());
    return caps;
}

} // namespace tonalyx::midi
