// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_vocabulary.h"

#include <cstdint>

namespace tonalyx::selection {

// What every preview is built from. All fields start at 0 (the key not held) and are read at the
// moment of each press; its release ends the note the press started, whatever they say by then.
struct SelectionState {
    std::int32_t currentProgram = 0; // 0 to 127, as sent; shown one higher
    std::int32_t octaveShift = 0; // -1, 0 or +1
    std::int32_t keyOffset = 0; // semitones from middle C of the keyboard key pressed last
    bool keyHeld = false; // while a key press on a program or bank button sounds
    std::int32_t currentBank = 0; // 0 to 127, sent as Bank Select MSB
};

// The note a key of the on-screen keyboard plays, with its offset from middle C, in the octave
// the octave buttons chose.
constexpr std::int32_t keyNote(std::int32_t keyOffset, std::int32_t octaveShift)
{
    return midi::kMiddleC + keyOffset + 12 * octaveShift;
}

constexpr std::int32_t previewNote(const SelectionState& state)
{
    return keyNote(state.keyOffset, state.octaveShift);
}

} // namespace tonalyx::selection
