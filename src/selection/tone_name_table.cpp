#include "tone_name_table.h"

namespace tonalyx::selection {

bool ToneNameTable::inRange(std::int32_t program, std::int32_t bank)
{
    return program >= 0 && program < kPrograms && bank >= 0 && bank < kBanks;
}

std::string_view ToneNameTable::lookup(std::int32_t program, std::int32_t bank) const
{
    if (!inRange(program, bank))
        return {};
    return entries_[static_cast<std::size_t>(program * kBanks + bank)];
}

void ToneNameTable::store(std::int32_t program, std::int32_t bank, std::string name)
{
    if (inRange(program, bank))
        entries_[static_cast<std::size_t>(program * kBanks + bank)] = std::move(name);
}

} // namespace tonalyx::selection
