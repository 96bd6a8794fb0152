// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_search.h"

#include "program_hints.h"
#include "tone_catalogue.h"

#include <algorithm>
#include <bitset>
#include <charconv>

namespace tonalyx::catalogue {

namespace {

constexpr char32_t kFullWidthFirst = 0xFF01; // "！", the full-width form of "!"
constexpr char32_t kFullWidthLast = 0xFF5E; // "～", the full-width form of "~"
constexpr char32_t kFullWidthOffset = 0xFF01 - 0x21;
constexpr char32_t kIdeographicSpace = 0x3000;
constexpr char32_t kHiraganaFirst = 0x3041; // "ぁ"
constexpr char32_t kHiraganaLast = 0x3096; // "ゖ"
constexpr char32_t kHiraganaToKatakana = 0x30A1 - 0x3041;
// What every drum set is, in the words a user may look for it by; the melodic programs' hints
// name their instruments in Japanese the same way.
constexpr std::string_view kDrumSetKind = "Drum Set ドラムセット";

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void appendThreeBytes(std::string& out, char32_t code)
{
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
}

// Every character that folding changes takes three bytes in UTF-8; the code of the one starting
// at `at`, or 0 where there is no such character.
char32_t threeByteCode(std::string_view text, std::size_t at)
{
    if (at + 2 >= text.size())
        return 0;
    const auto b0 = static_cast<unsigned char>(text[at]);
    const auto b1 = static_cast<unsigned char>(text[at + 1]);
    const auto b2 = static_cast<unsigned char>(text[at + 2]);
    if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80)
        return 0;
    return (char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | char32_t(b2 & 0x3F);
}

std::vector<std::string> wordsOf(std::string_view query)
{
    const std::string folded = foldForSearch(query);
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < folded.size()) {
        const auto end = std::min(folded.find_first_of(" \t", start), folded.size());
        if (end > start)
            words.emplace_back(folded, start, end - start);
        start = end + 1;
    }
    return words;
}

// The program number, as shown, that a word of digits stands for; 0 for any other word.
int shownNumberTyped(std::string_view word)
{
    if (!std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int number = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc {} && end == word.data() + word.size() ? number : 0;
}

} // namespace

std::string foldForSearch(std::string_view utf8)
{
    std::string folded;
    folded.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t code = threeByteCode(utf8, i);
        if (code >= kFullWidthFirst && code <= kFullWidthLast) {
            folded += lowerAscii(static_cast<char>(code - kFullWidthOffset));
        } else if (code == kIdeographicSpace) {
            folded += ' ';
        } else if (code >= kHiraganaFirst && code <= kHiraganaLast) {
            appendThreeBytes(folded, code + kHiraganaToKatakana);
        } else if (code != 0) {
            folded.append(utf8, i, 3);
        } else {
            folded += lowerAscii(utf8[i]);
            ++i;
            continue;
        }
        i += 3;
    }
    return folded;
}

ToneSearch::ToneSearch()
{
    names_.reserve(tones().size());
    for (const auto& tone : tones())
        names_.push_back(foldForSearch(tone.name));
    for (std::size_t i = 0; i < hints_.size(); ++i)
        hints_[i] = foldForSearch(kProgramHints[i]);
    // A line break between name and kind, which no word holds, so that no word matches across
    // the two.
    for (std::size_t i = 0; i < drumSetTexts_.size(); ++i)
        drumSetTexts_[i] = foldForSearch(drumSets()[i].name) + '\n' + foldForSearch(kDrumSetKind);
}

void ToneSearch::find(std::string_view query, std::vector<std::uint16_t>& matches) const
{
    matches.clear();
    const auto words = wordsOf(query);

    // Whether a program's hint or number matches depends on the program alone: decided once for
    // each word, not once for each of the program's tones.
    struct Word {
        std::string_view text;
        std::bitset<128> programMatches;
    };
    std::vector<Word> prepared;
    prepared.reserve(words.size());
    for (const auto& word : words) {
        Word& w = prepared.emplace_back(Word { word, {} });
        const int typed = shownNumberTyped(word);
        for (std::size_t p = 0; p < hints_.size(); ++p)
            w.programMatches[p] = shownProgramNumber(static_cast<std::int32_t>(p)) == typed
                || hints_[p].find(word) != std::string::npos;
    }

    const auto all = tones();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::size_t program = all[i].program;
        const bool matchesEveryWord
            = std::all_of(prepared.begin(), prepared.end(), [&](const Word& w) {
                  return w.programMatches[program] || names_[i].find(w.text) != std::string::npos;
              });
        if (matchesEveryWord)
            matches.push_back(static_cast<std::uint16_t>(i));
    }
}

void ToneSearch::findDrumSets(std::string_view query, std::vector<std::uint8_t>& matches) const
{
    matches.clear();
    const auto words = wordsOf(query);
    for (std::size_t i = 0; i < drumSetTexts_.size(); ++i) {
        const auto& text = drumSetTexts_[i];
        if (std::all_of(words.begin(), words.end(),
                [&text](const std::string& word) { return text.find(word) != std::string::npos; }))
            matches.push_back(static_cast<std::uint8_t>(i));
    }
}

} // namespace tonalyx::catalogue
