// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <cstdint>

namespace tonalyx::app {

// The window's outer rectangle when nothing was saved.
inline constexpr QRect kDefaultWindowPlacement { 193, 159, 679, 526 };

// The outer rectangle as the settings file holds it: four numbers, each any 32-bit integer.
struct SavedPlacement {
    std::int32_t left;
    std::int32_t top;
    std::int32_t width;
    std::int32_t height;
};

// What the screens offer: each one's area for windows, and the whole virtual desktop.
struct Screens {
    QList<QRect> availableAreas;
    QRect desktop;
};

// The saved rectangle, kept within reach as a desktop keeps a window. Its size is held between
// `smallest` and the whole desktop, so the window can always be seen, grabbed and closed, and
// never takes more memory than a screenful. If it then lies wholly outside every screen's
// available area (a monitor was unplugged since the last run), it goes to the default position at
// that size. Numbers in range are used as they are. Works on any four integers without overflow.
QRect reachablePlacement(const SavedPlacement& saved, const Screens& screens, QSize smallest);

} // namespace tonalyx::app
