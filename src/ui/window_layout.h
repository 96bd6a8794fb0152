// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

// The fixed layout of the main window's own controls, in 96-dpi pixels. Positions are relative to
// the parent's client area: the window, or a page of the tab control.
namespace tonalyx::ui::layout {

struct Rect {
    int left;
    int top;
    int width;
    int height;
};

struct Control {
    const char* name;
    Rect rect;
    const char* caption; // UTF-8
};

// The extent of all controls: the client area needs no scroll bars at this size or larger.
inline constexpr int kContentWidth = 665;
inline constexpr int kContentHeight = 492;

// The window's outer rectangle, frame included, as laid out; start-up replaces it.
inline constexpr Rect kLaidOutWindow { 193, 203, 679, 526 };

inline constexpr int kWindowFontPixels = 12;
inline constexpr int kTitleLabelFontPixels = 15;
inline constexpr int kVersionPageFontPixels = 27;

inline constexpr Control kPageControl { "PageControl1", { 8, 0, 657, 361 }, "" };

inline constexpr std::array<Control, 5> kTabSheets { {
    { "TabSheet1", {}, "プログラムナンバー" },
    { "TabSheet2", {}, "バンクセレクト" },
    { "TabSheet3", {}, "バージョン情報" },
    { "TabSheet4", {}, "音色検索" },
    { "TabSheet5", {}, "ドラムセット" },
} };

// In tab order, which follows the tab control.
inline constexpr std::array<Control, 5> kCommandButtons { {
    { "Button257", { 552, 368, 73, 33 }, "音源の変更" },
    { "Button258", { 552, 408, 33, 25 }, "－１" },
    { "Button259", { 592, 408, 33, 25 }, "０" },
    { "Button260", { 632, 408, 33, 25 }, "＋１" },
    { "Button262", { 632, 368, 33, 33 }, "GS" },
} };

// The read-only fields, in tab order: program number, bank number, device name, tone name.
inline constexpr std::array<Control, 4> kReadouts { {
    { "Edit1", { 128, 448, 33, 20 }, "" },
    { "Edit2", { 248, 448, 41, 20 }, "" },
    { "Edit3", { 192, 472, 329, 20 }, "" },
    { "Edit4", { 368, 448, 249, 20 }, "" },
} };

inline constexpr std::array<Control, 4> kReadoutTitles { {
    { "Label6", { 0, 448, 121, 15 }, "プログラムナンバー" },
    { "Label7", { 160, 448, 89, 15 }, "バンクセレクト" },
    { "Label8", { 112, 472, 45, 15 }, "音源名" },
    { "Label9", { 312, 448, 45, 15 }, "楽器名" },
} };

enum class Colour : std::uint8_t { Yellow, Blue, Grey };

struct VersionLabel {
    Control control;
    int fontPixels;
    Colour colour;
};

inline constexpr char kWebAddress[] = "https://tonalyx.example/";

inline constexpr std::array<VersionLabel, 5> kVersionLabels { {
    { { "Label1", { 88, 32, 331, 40 }, "Ｔｏｎａｌｙｘ" }, 40, Colour::Yellow },
    { { "Label2", { 248, 80, 217, 40 }, "Version 2.11" }, 40, Colour::Blue },
    { { "Label3", { 312, 136, 225, 27 }, "2002/01/25 19:53" }, 27, Colour::Blue },
    { { "Label4", { 56, 200, 215, 27 }, "制作者　Tonalyx プロジェクト" }, 27, Colour::Grey },
    { { "Label5", { 104, 272, 525, 27 }, kWebAddress }, 27, Colour::Grey },
} };

} // namespace tonalyx::ui::layout
