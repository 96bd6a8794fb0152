// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drum_sets.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::catalogue {

// Finds tones by what a user types, as a search field does on every keystroke.
//
// The query is split into words at spaces, half- or full-width; a tone matches when every word
// is found in its name or in the Japanese instrument name of its program (the program button's
// hint), or, for a word of digits, is its program number as shown (1 to 128: "41" finds the
// tones of Program Change 40). Text is compared as foldForSearch leaves it, so case, full-width
// forms and hiragana make no difference.
class ToneSearch {
public:
    ToneSearch();

    // Fills `matches` with the positions in tones() of every tone that matches `query` (UTF-8),
    // in catalogue order: all of them for a query without words. The vector's storage is reused.
    void find(std::string_view query, std::vector<std::uint16_t>& matches) const;

    // Fills `matches` with the positions in drumSets() of every drum set that matches `query`:
    // every word is found in its name or in what it is, a drum set ("drum set", 「ドラムセット」).
    // A word of digits finds a set by its name alone ("808"), never by its program number: a
    // number asks for a program of the tones, and the sets would otherwise turn up among ten
    // unrelated ones ("1" listing the Standard set with the pianos).
    void findDrumSets(std::string_view query, std::vector<std::uint8_t>& matches) const;

private:
    std::vector<std::string> names_; // folded, by position in tones()
    std::array<std::string, 128> hints_; // folded, by program
    std::array<std::string, kDrumSets> drumSetTexts_; // folded name and kind, by position
};

// Text as the search compares it: ASCII letters in lower case, the full-width forms of ASCII
// letters, digits and signs as their ASCII forms, the ideographic space as a space and hiragana
// as katakana, so that what a Japanese input method leaves in the field finds the names and hints
// as they are spelt. Everything else, invalid UTF-8 included, is kept byte for byte.
std::string foldForSearch(std::string_view utf8);

} // namespace tonalyx::catalogue
