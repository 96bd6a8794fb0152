// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal_text.h"

#include <cstdint>

namespace tonalyx::midi {

namespace {

// The length of the valid UTF-8 sequence of two or more bytes at the start of `text`, or 0.
std::size_t multiByteLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    // The second byte's range depends on the lead (no overlong forms, surrogates or code
    // points past U+10FFFF); every further byte is 0x80 to 0xBF.
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

void appendEscaped(std::string& out, std::string_view bytes)
{
    constexpr std::string_view kDigits = "0123456789abcdef";
    for (const char c : bytes) {
        const auto value = static_cast<std::uint8_t>(c);
        out += "\\x";
        out += kDigits[value >> 4];
        out += kDigits[value & 0x0F];
    }
}

} // namespace

std::string escapedForTerminal(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto value = static_cast<std::uint8_t>(bytes[i]);
        if (value < 0x20 || value == 0x7F) {
            appendEscaped(out, bytes.substr(i, 1));
            ++i;
        } else if (value == '\\') {
            out += "\\\\";
            ++i;
        } else if (value < 0x80) {
            out += bytes[i];
            ++i;
        } else if (const auto length = multiByteLength(bytes.substr(i))) {
            // U+0080 to U+009F are C2 80 to C2 9F.
            const bool control = value == 0xC2 && static_cast<std::uint8_t>(bytes[i + 1]) < 0xA0;
            if (control)
                appendEscaped(out, bytes.substr(i, length));
            else
                out.append(bytes.substr(i, length));
            i += length;
        } else {
            if (value < 0xA0)
                appendEscaped(out, bytes.substr(i, 1));
            else
                out += bytes[i];
            ++i;
        }
    }
    return out;
}

} // namespace tonalyx::midi
