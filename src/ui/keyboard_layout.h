// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tonalyx::ui::layout {

enum class KeyColour : bool { White, Black };

struct Key {
    int shape; // the number in the key's name, Shape1 to Shape56
    KeyColour colour;
    int left;
    int offset; // semitones from middle C (note 60)
};

inline constexpr int kKeyTop = 376;
inline constexpr int kWhiteKeyWidth = 17;
inline constexpr int kWhiteKeyHeight = 57;
inline constexpr int kBlackKeyWidth = 13;
inline constexpr int kBlackKeyHeight = 33;

// The 56 keys in the order they are created, which is also their stacking order: a later key
// lies above an earlier one and takes the mouse where they overlap. So every black key lies
// above the white keys it covers, and of two white keys sharing a pixel column the later wins.
inline constexpr std::array<Key, 56> kKeys { {
    { 1, KeyColour::White, 176, -1 }, // B3
    { 3, KeyColour::White, 192, 0 }, // C4
    { 2, KeyColour::White, 208, 2 }, // D4
    { 4, KeyColour::White, 224, 4 }, // E4
    { 5, KeyColour::White, 240, 5 }, // F4
    { 6, KeyColour::White, 256, 7 }, // G4
    { 7, KeyColour::White, 272, 9 }, // A4
    { 8, KeyColour::White, 288, 11 }, // B4
    { 9, KeyColour::White, 304, 12 }, // C5
    { 10, KeyColour::White, 320, 14 }, // D5
    { 11, KeyColour::White, 336, 16 }, // E5
    { 12, KeyColour::White, 352, 17 }, // F5
    { 13, KeyColour::White, 368, 19 }, // G5
    { 14, KeyColour::White, 384, 21 }, // A5
    { 15, KeyColour::White, 400, 23 }, // B5
    { 16, KeyColour::White, 160, -3 }, // A3
    { 17, KeyColour::White, 144, -5 }, // G3
    { 18, KeyColour::White, 128, -7 }, // F3
    { 19, KeyColour::White, 112, -8 }, // E3
    { 20, KeyColour::White, 96, -10 }, // D3
    { 21, KeyColour::White, 80, -12 }, // C3
    { 22, KeyColour::White, 64, -13 }, // B2
    { 23, KeyColour::White, 48, -15 }, // A2
    { 24, KeyColour::White, 32, -17 }, // G2
    { 25, KeyColour::White, 16, -19 }, // F2
    { 26, KeyColour::White, 416, 24 }, // C6
    { 27, KeyColour::White, 432, 26 }, // D6
    { 28, KeyColour::White, 448, 28 }, // E6
    { 29, KeyColour::White, 464, 29 }, // F6
    { 30, KeyColour::White, 480, 31 }, // G6
    { 31, KeyColour::White, 496, 33 }, // A6
    { 32, KeyColour::White, 512, 35 }, // B6
    { 33, KeyColour::Black, 26, -18 }, // F#2
    { 34, KeyColour::Black, 42, -16 }, // G#2
    { 35, KeyColour::Black, 58, -14 }, // A#2
    { 36, KeyColour::Black, 90, -11 }, // C#3
    { 37, KeyColour::Black, 106, -9 }, // D#3
    { 38, KeyColour::Black, 138, -6 }, // F#3
    { 39, KeyColour::Black, 154, -4 }, // G#3
    { 40, KeyColour::Black, 170, -2 }, // A#3
    { 41, KeyColour::Black, 202, 1 }, // C#4
    { 42, KeyColour::Black, 218, 3 }, // D#4
    { 43, KeyColour::Black, 250, 6 }, // F#4
    { 44, KeyColour::Black, 266, 8 }, // G#4
    { 45, KeyColour::Black, 282, 10 }, // A#4
    { 46, KeyColour::Black, 314, 13 }, // C#5
    { 47, KeyColour::Black, 330, 15 }, // D#5
    { 48, KeyColour::Black, 362, 18 }, // F#5
    { 49, KeyColour::Black, 378, 20 }, // G#5
    { 50, KeyColour::Black, 394, 22 }, // A#5
    { 51, KeyColour::Black, 426, 25 }, // C#6
    { 52, KeyColour::Black, 442, 27 }, // D#6
    { 53, KeyColour::Black, 474, 30 }, // F#6
    { 54, KeyColour::Black, 490, 32 }, // G#6
    { 55, KeyColour::Black, 506, 34 }, // A#6
    { 56, KeyColour::White, 528, 36 }, // C7
} };

} // namespace tonalyx::ui::layout
