// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tonalyx::settings {

// Where one integer lives in an INI document.
struct IniKey {
    std::string_view section;
    std::string_view key;
};

// An INI-style document held in memory: sections of "key=value" entries, looked up without
// regard to letter case and written back whole. Texts are 8-bit bytes, carried through unchanged;
// comments and blank lines are not kept.
//
// The document is held in the very form it is written in, one string, so that a large file costs
// its own size once and not a string per line.
class IniDocument {
public:
    // Parses the bytes of a file, replacing what was held. A UTF-8 byte-order mark at the start is
    // an editor's, not part of the text, and is skipped. False, with nothing held, when the
    // written form would be longer than `maxSize` bytes.
    bool parse(std::string_view bytes, std::size_t maxSize = SIZE_MAX);

    // The integer of the last `key` in the last `section` of that name (both without regard to
    // letter case), or `fallback` when either is missing or the value is not a valid integer.
    // Decimal, or hexadecimal as 0x258 or $258.
    std::int32_t readInteger(
        std::string_view section, std::string_view key, std::int32_t fallback) const;
    // Replaces the last such entry in place, or adds one at the end of the section, adding the
    // section at the end of the document if there is none.
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

    // The whole document as it is written: CR LF line ends, an empty line after each section.
    const std::string& serialise() const { return text_; }

    // The length of the written form once every one of `keys` has been written with an integer
    // of the longest form ("-2147483648"). Writing those keys again, with any values, never makes
    // the document longer than this, and never changes this.
    std::size_t sizeWithLongest(std::span<const IniKey> keys) const;

private:
    std::string text_;
};

} // namespace tonalyx::settings
