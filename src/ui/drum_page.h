// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/drum_sets.h"

#include <array>
#include <cstdint>
#include <optional>

class QLabel;
class QWidget;

namespace tonalyx::ui {

class PreviewButton;

// The drum set page: a row of set buttons, "DrumSet1" … in program order, a line that shows the
// set and the sound played last ("Label10"), and a button for each key of the drum map,
// "DrumSound27" to "DrumSound88", in columns from the top left so that the Tab key walks them in
// key order.
struct DrumPage {
    std::array<PreviewButton*, catalogue::kDrumSets> setButtons;
    std::array<PreviewButton*, catalogue::kDrumNotes> soundButtons; // from kFirstDrumNote up
    QLabel* shown;
};

DrumPage placeDrumPage(QWidget* page);

// Shows a set (its program, 0 to 127 as sent) and the key that sounded last, and names each sound
// button after what its key plays in that set: "Jazz · 38 Snare 1".
void showDrumSelection(
    const DrumPage& page, std::int32_t set, std::optional<std::int32_t> lastNote);

// Marks on each set button (in the order of the sets) whether the device lacks that set: the
// program it sounds as instead, or nothing where it has the set or cannot tell.
void markMissingDrumSets(const DrumPage& page,
    const std::array<std::optional<std::int32_t>, catalogue::kDrumSets>& soundsAs);

} // namespace tonalyx::ui
