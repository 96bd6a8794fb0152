#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::selection {

// The tone names of every program and bank: 128 x 128 texts, the 128 banks of a program side by
// side. Filled once at start-up, read-only afterwards; a slot never filled reads as empty.
class ToneNameTable {
public:
    static constexpr int kPrograms = 128;
    static constexpr int kBanks = 128;

    // Program and bank as sent on the wire, 0 to 127. Anything outside reads as empty rather
    // than reaching past the table.
    std::string_view lookup(std::int32_t program, std::int32_t bank) const;
    void store(std::int32_t program, std::int32_t bank, std::string name);

private:
    static bool inRange(std::int32_t program, std::int32_t bank);

    std::vector<std::string> entries_ = std::vector<std::string>(kPrograms * kBanks);
};

} // namespace tonalyx::selection
