// SPDX-License-Identifier: GPL-3.0-or-later
#include "ini_document.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <utility>

namespace tonalyx::settings {

namespace {

// Everything up to the space counts as blank, control characters and NUL included; only the
// byte value matters, so texts in any 8-bit encoding trim the same way.
bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Only ASCII letters fold: the file's encoding is unknown, and a locale-aware toupper would
// make two different bytes above 0x7F equal on one machine and not on another.
char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hex values are bit patterns of a 32-bit integer, so "$FFFFFFFF" is -1 rather than out of
// range; anything needing a 33rd bit is refused.
std::optional<std::uint32_t> parseHexDigits(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> parseInteger(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const auto bits = parseHexDigits(text.substr(2));
        if (!bits)
            return std::nullopt;
        return static_cast<std::int32_t>(*bits);
    }

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    if (!text.empty() && text.front() == '$') {
        const auto bits = parseHexDigits(text.substr(1));
        if (!bits)
            return std::nullopt;
        // Negated in unsigned arithmetic: the pattern 0x80000000 has no positive counterpart.
        return static_cast<std::int32_t>(negative ? 0u - *bits : *bits);
    }

    if (text.empty())
        return std::nullopt;
    // One past the magnitude of INT32_MIN: any more and the sum could only grow.
    constexpr std::int64_t kLimit = std::int64_t { 1 } << 31;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string_view keyOf(std::string_view entry)
{
    const auto equals = entry.find('=');
    return equals == std::string_view::npos ? std::string_view {} : entry.substr(0, equals);
}

bool hasKey(std::string_view entry, std::string_view key)
{
    return entry.find('=') != std::string_view::npos && equalIgnoringCase(keyOf(entry), key);
}

std::string formatEntry(std::string_view key, std::int32_t value)
{
    char digits[16];
    const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
    std::string entry;
    entry.reserve(key.size() + 1 + static_cast<std::size_t>(result.ptr - digits));
    entry.append(key);
    entry.push_back('=');
    entry.append(digits, result.ptr);
    return entry;
}

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// The longest an integer is written: "-2147483648".
constexpr std::size_t kLongestInteger = 11;

// Part of the written form, as offsets into it.
struct Span {
    std::size_t begin;
    std::size_t end;
    std::size_t size() const { return end - begin; }
};

// The written form is a run of sections, each a header line "[name]", its entry lines and an
// empty line; every line ends in CR LF, and no header, entry or name holds a CR or an LF. So the
// header ends at the first line end after its start, and the section at the first empty line.
struct Section {
    std::string_view name;
    Span entries; // every entry line with its line end
    std::size_t next; // where the next section starts
};

Section sectionAt(std::string_view text, std::size_t start)
{
    const std::size_t headerEnd = text.find(kLineEnd, start);
    const std::size_t blank = text.find("\r\n\r\n", headerEnd);
    return { text.substr(start + 1, headerEnd - start - 2),
        { headerEnd + kLineEnd.size(), blank + kLineEnd.size() }, blank + 2 * kLineEnd.size() };
}

std::optional<Span> lastSection(std::string_view text, std::string_view name)
{
    std::optional<Span> found;
    for (std::size_t start = 0; start < text.size();) {
        const Section section = sectionAt(text, start);
        if (equalIgnoringCase(section.name, name))
            found = section.entries;
        start = section.next;
    }
    return found;
}

// The last entry line of those in `entries` with this key, without its line end.
std::optional<Span> lastEntry(std::string_view text, Span entries, std::string_view key)
{
    std::optional<Span> found;
    for (std::size_t start = entries.begin; start < entries.end;) {
        const std::size_t end = text.find(kLineEnd, start);
        if (hasKey(text.substr(start, end - start), key))
            found = Span { start, end };
        start = end + kLineEnd.size();
    }
    return found;
}

} // namespace

bool IniDocument::parse(std::string_view bytes, std::size_t maxSize)
{
    text_.clear();
    if (bytes.starts_with(kUtf8ByteOrderMark))
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    // The written form is at most twice as long as the bytes plus two ("[]" alone becomes
    // "[]\r\n\r\n"), and never longer than maxSize. Reserved whole, with room for a few entries
    // written later, it is never copied while it grows; pages never filled take no memory.
    constexpr std::size_t kRoomForLaterEntries = 1024;
    text_.reserve(std::min(maxSize, 2 * bytes.size() + 2) + kRoomForLaterEntries);

    bool inSection = false;
    bool fits = true;
    const auto append = [&](std::initializer_list<std::string_view> parts) {
        std::size_t length = 0;
        for (const auto part : parts)
            length += part.size();
        fits = fits && length <= maxSize - text_.size();
        if (!fits)
            return;
        for (const auto part : parts)
            text_ += part;
    };
    const auto takeLine = [&](std::string_view raw) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == ';')
            return;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            // The empty line that ends the section before.
            if (inSection)
                append({ kLineEnd });
            append({ "[", trimmed(line.substr(1, line.size() - 2)), "]", kLineEnd });
            inSection = true;
            return;
        }
        if (!inSection)
            return;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            append({ line, kLineEnd });
        else
            append({ trimmed(line.substr(0, equals)), "=", trimmed(line.substr(equals + 1)),
                kLineEnd });
    };

    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size() && fits; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        takeLine(bytes.substr(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        takeLine(bytes.substr(start));
    if (inSection)
        append({ kLineEnd });
    if (!fits)
        text_.clear();
    return fits;
}

std::int32_t IniDocument::readInteger(
    std::string_view section, std::string_view key, std::int32_t fallback) const
{
    const auto entries = lastSection(text_, section);
    if (!entries)
        return fallback;
    const auto entry = lastEntry(text_, *entries, key);
    if (!entry)
        return fallback;
    const std::string_view line = std::string_view(text_).substr(entry->begin, entry->size());
    return parseInteger(line.substr(line.find('=') + 1)).value_or(fallback);
}

void IniDocument::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    const std::string entry = formatEntry(key, value);
    const auto entries = lastSection(text_, section);
    if (!entries) {
        text_ += '[';
        text_ += section;
        text_ += ']';
        text_ += kLineEnd;
        text_ += entry;
        text_ += kLineEnd;
        text_ += kLineEnd;
        return;
    }
    if (const auto old = lastEntry(text_, *entries, key)) {
        text_.replace(old->begin, old->size(), entry);
        return;
    }
    text_.insert(entries->end, std::string(entry) + std::string(kLineEnd));
}

std::size_t IniDocument::sizeWithLongest(std::span<const IniKey> keys) const
{
    const auto sameSection
        = [](const IniKey& a, const IniKey& b) { return equalIgnoringCase(a.section, b.section); };
    const auto sameKey = [&](const IniKey& a, const IniKey& b) {
        return sameSection(a, b) && equalIgnoringCase(a.key, b.key);
    };

    std::size_t size = text_.size();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const IniKey& key = keys[i];
        const auto earlier = keys.first(i);
        // Written already, at its longest, for an earlier one of the list.
        if (std::any_of(earlier.begin(), earlier.end(),
                [&](const IniKey& other) { return sameKey(other, key); }))
            continue;
        const std::size_t longest = key.key.size() + 1 + kLongestInteger + kLineEnd.size();
        const auto entries = lastSection(text_, key.section);
        if (!entries) {
            // "[name]", its line end and the empty line after it, unless an earlier key of the
            // list added the section.
            if (std::none_of(earlier.begin(), earlier.end(),
                    [&](const IniKey& other) { return sameSection(other, key); }))
                size += key.section.size() + 2 + 2 * kLineEnd.size();
            size += longest;
            continue;
        }
        if (const auto old = lastEntry(text_, *entries, key.key))
            size -= old->size() + kLineEnd.size();
        size += longest;
    }
    return size;
}

} // namespace tonalyx::settings
