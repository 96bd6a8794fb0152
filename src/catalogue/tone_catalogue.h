// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The names of the GS tones, by program and bank.
namespace tonalyx::catalogue {

// One named tone. The program is numbered as the user sees it, 1 to 128, so the table reads like
// the printed tone list; the Program Change value is one less.
struct CatalogueTone {
    std::uint8_t program;
    std::uint8_t bank;
    std::string_view name;
};

// Every named tone, in program and bank order.
std::span<const CatalogueTone> tones();

// The name of a program (as sent, 0 to 127) in a bank (0 to 127); empty where there is none, and
// for numbers out of range.
std::string_view toneName(std::int32_t program, std::int32_t bank);

} // namespace tonalyx::catalogue
