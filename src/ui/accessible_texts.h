// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <optional>

// What a screen reader says for each control: a name, and a description of what the control
// does. The visible captions stay as they are; most of them (a bare number, "－１") say too
// little on their own.
namespace tonalyx::ui::accessible {

struct Text {
    const char* name; // UTF-8
    const char* description; // UTF-8
};

// In the order of the command buttons in the layout.
inline constexpr std::array<Text, 5> kCommandButtons { {
    { "音源の変更", "次のMIDI出力デバイスに切り替えて、GSリセットを送ります" },
    { "1オクターブ下げる", "試聴の音を1オクターブ下げます" },
    { "オクターブを戻す", "試聴の音を元の高さに戻します" },
    { "1オクターブ上げる", "試聴の音を1オクターブ上げます" },
    { "GSリセット", "使っているMIDI出力デバイスにGSリセットを送ります" },
} };

// In the order of the read-only fields in the layout; their names are the captions beside them.
inline constexpr std::array<const char*, 4> kReadoutDescriptions {
    "選んでいるプログラムの番号",
    "選んでいるバンクの番号",
    "使っているMIDI出力デバイスの名前",
    "選んでいる音色のGS名",
};

// The tone finder's controls.
inline constexpr Text kFinderField { "音色検索",
    "音色名・楽器名・プログラムナンバーで音色を探します。言葉をいくつでも空白で区切れます" };
// The button in the search field that empties it, there once something is typed.
inline constexpr Text kFinderClearButton { "検索語を消す",
    "検索欄を空にして、すべての音色を一覧に戻します" };
inline constexpr Text kFinderList { "見つかった音色",
    "押している間、または上下のキーで選んでいる間、その音色を試聴します" };

inline constexpr char kProgramButtonDescription[] = "押している間、この音色を試聴します";
inline constexpr char kBankButtonDescription[]
    = "押している間、今のプログラムのこのバンクを試聴します";
inline constexpr char kKeyDescription[] = "押している間、今の音色をこの高さで鳴らします";

// The drum page's buttons: the hint gives the number a set is selected by, or the key a sound
// plays on, and the description the same followed by what a press does.
// "プログラム 33" for the set of program 32; for a set the device lacks, the set (a program) it
// sounds as instead follows: "プログラム 128 ・ SoundFontにありません（Standardで鳴ります）".
QString drumSetHint(int program, std::optional<int> soundsAs = std::nullopt);
QString drumSetDescription(int program, std::optional<int> soundsAs = std::nullopt);
// "ノート 38".
QString drumSoundHint(int note);
QString drumSoundDescription(int note);

// "プログラム 1 グラウンドピアノ" for program 0: the program as numbered on its button, and its
// instrument.
QString programButtonName(int program);
// "バンク 0".
QString bankButtonName(int bank);
// The name of a MIDI note (0 to 127) with middle C (60) as C4, sharps for the black keys: "C4",
// "F#2".
QString noteName(int note);

} // namespace tonalyx::ui::accessible
