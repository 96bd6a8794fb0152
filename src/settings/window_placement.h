// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace tonalyx::settings {

// A rectangle on the desktop in pixels: its top left corner and its size. As the settings file
// holds the window's, any four 32-bit integers.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The window's outer rectangle when nothing was saved.
inline constexpr Rect kDefaultWindowPlacement { 193, 159, 679, 526 };

// What the screens offer: each one's area for windows, and the whole virtual desktop.
struct Screens {
    std::vector<Rect> availableAreas;
    Rect desktop;
};

// The saved rectangle, kept within reach as a desktop keeps a window. Its size is held between
// `smallest` and the whole desktop, so the window can always be seen, grabbed and closed, and
// never takes more memory than a screenful. If it then lies wholly outside every screen's
// available area (a monitor was unplugged since the last run), it goes to the default position at
// that size. Numbers in range are used as they are. Works on any four integers without overflow.
Rect reachablePlacement(const Rect& saved, const Screens& screens, Size smallest);

} // namespace tonalyx::settings
