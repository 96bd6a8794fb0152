#include "ini_document.h"

#include <charconv>
#include <iterator>
#include <optional>
#include <utility>

namespace tonalyx::app {

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

} // namespace

void IniDocument::parse(std::string_view bytes)
{
    sections_.clear();

    const auto takeLine = [this](std::string_view raw) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == ';')
            return;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections_.push_back(
                Section { std::string(trimmed(line.substr(1, line.size() - 2))), {} });
            return;
        }
        if (sections_.empty())
            return;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            sections_.back().entries.emplace_back(line);
            return;
        }
        std::string entry(trimmed(line.substr(0, equals)));
        entry.push_back('=');
        entry.append(trimmed(line.substr(equals + 1)));
        sections_.back().entries.push_back(std::move(entry));
    };

    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
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
}

const IniDocument::Section* IniDocument::findSection(std::string_view name) const
{
    for (auto it = sections_.rbegin(); it != sections_.rend(); ++it) {
        if (equalIgnoringCase(it->name, name))
            return &*it;
    }
    return nullptr;
}

IniDocument::Section* IniDocument::findSection(std::string_view name)
{
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

std::int32_t IniDocument::readInteger(
    std::string_view section, std::string_view key, std::int32_t fallback) const
{
    const Section* found = findSection(section);
    if (!found)
        return fallback;
    for (auto it = found->entries.rbegin(); it != found->entries.rend(); ++it) {
        if (hasKey(*it, key)) {
            const std::string_view entry = *it;
            return parseInteger(entry.substr(entry.find('=') + 1)).value_or(fallback);
        }
    }
    return fallback;
}

void IniDocument::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    Section* target = findSection(section);
    if (!target) {
        sections_.push_back(Section { std::string(section), {} });
        target = &sections_.back();
    }
    for (auto it = target->entries.rbegin(); it != target->entries.rend(); ++it) {
        if (hasKey(*it, key)) {
            *it = formatEntry(key, value);
            return;
        }
    }
    target->entries.push_back(formatEntry(key, value));
}

std::string IniDocument::serialise() const
{
    std::string out;
    for (const Section& section : sections_) {
        out += '[';
        out += section.name;
        out += "]\r\n";
        for (const std::string& entry : section.entries) {
            out += entry;
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

} // namespace tonalyx::app
