#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::app {

// An INI-style document held in memory: sections of "key=value" entries, looked up without
// regard to letter case and written back whole. Texts are 8-bit bytes, carried through unchanged;
// comments and blank lines are not kept.
class IniDocument {
public:
    // Parses the bytes of a file, replacing what was held.
    void parse(std::string_view bytes);

    // The integer of the last `key` in the last `section` of that name (both without regard to
    // letter case), or `fallback` when either is missing or the value is not a valid integer.
    // Decimal, or hexadecimal as 0x258 or $258.
    std::int32_t readInteger(
        std::string_view section, std::string_view key, std::int32_t fallback) const;
    // Replaces the last such entry in place, or adds one at the end of the section, adding the
    // section at the end of the document if there is none.
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

    // The whole document as it is written: CR LF line ends, an empty line after each section.
    std::string serialise() const;

private:
    struct Section {
        std::string name;
        std::vector<std::string> entries; // "key=value", or a line without "=" as it stood
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);

    std::vector<Section> sections_;
};

} // namespace tonalyx::app
