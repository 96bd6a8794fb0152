// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The GS drum sets and the sounds of their keys, as they play on the drum channel.
namespace tonalyx::catalogue {

// The keys of the GS drum map: the General MIDI percussion keys 35 to 81 with the keys GS adds
// below and above them.
inline constexpr std::int32_t kFirstDrumNote = 27;
inline constexpr std::int32_t kLastDrumNote = 88;
inline constexpr std::size_t kDrumNotes = kLastDrumNote - kFirstDrumNote + 1;

inline constexpr std::size_t kDrumSets = 10;

// One drum set, selected by a Program Change on the drum channel.
struct DrumSet {
    std::uint8_t program; // 0 to 127, as sent; shown one higher like any program
    std::string_view name;
};

// Every drum set, in program order; the standard set comes first.
std::span<const DrumSet, kDrumSets> drumSets();

// The name of the drum set of a program (as sent, 0 to 127); empty where there is none.
std::string_view drumSetName(std::int32_t program);

// The sound a key (kFirstDrumNote to kLastDrumNote) makes in the set of a program (as sent): the
// set's own where it replaces the standard sound, and the standard one elsewhere, also for a
// program that selects no set of this table. Never empty for a key of the map, where a set is
// silent too; empty for any other key.
std::string_view drumSoundName(std::int32_t program, std::int32_t note);

} // namespace tonalyx::catalogue
