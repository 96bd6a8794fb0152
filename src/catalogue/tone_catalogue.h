// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The names of the GS tones, by program and bank.
namespace tonalyx::catalogue {

// Programs are Program Change values, 0 to 127, everywhere inside the program. A person reads and
// types them one higher, 1 to 128, as tone lists print them: this is the number shown.
constexpr std::int32_t shownProgramNumber(std::int32_t program)
{
    return program + 1;
}

// One named tone.
struct CatalogueTone {
    std::uint8_t program; // 0 to 127, as sent
    std::uint8_t bank;
    std::string_view name;
};

// Every named tone, in program and bank order.
std::span<const CatalogueTone> tones();

// The name of a program (as sent, 0 to 127) in a bank (0 to 127); empty where there is none, and
// for numbers out of range.
std::string_view toneName(std::int32_t program, std::int32_t bank);

} // namespace tonalyx::catalogue
