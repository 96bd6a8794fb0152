// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <cstdio>
#include <optional>
#include <vector>

namespace tonalyx::midi {

// A preset as a Program Change finds it: its bank (128 for drum sets) and program.
struct PresetNumber {
    int bank;
    int program;
    friend auto operator<=>(const PresetNumber&, const PresetNumber&) = default;
};

// The presets of the SoundFont (SF2 or SF3) read from `stream`, from its preset headers alone;
// nothing when the stream holds no preset headers where a SoundFont keeps them.
std::optional<std::vector<PresetNumber>> presetsIn(std::FILE& stream);

// Which of the fonts, in the order they are loaded, a Program Change can ever reach: FluidSynth
// looks for a preset in the font loaded last first, so a font each of whose presets a later font
// also has is never heard, and need not be loaded. Each font is given by its presets, or
// nothing when they are not known; such a font is always kept, and hides nothing.
std::vector<bool> reachableFonts(
    const std::vector<std::optional<std::vector<PresetNumber>>>& fonts);

} // namespace tonalyx::midi
