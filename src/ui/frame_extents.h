// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <chrono>
#include <optional>

class QWidget;

namespace tonalyx::ui {

// The frame that the window manager will put around `window`, asked for before the window is
// first mapped, so that the window can be given its place and size before it is seen (the request
// _NET_REQUEST_FRAME_EXTENTS of the Extended Window Manager Hints), in the toolkit's pixels.
// Nothing when the window system is not X11, when no window manager runs that says it answers
// such requests, or when it has not answered within `patience`: some say they do and answer only
// for windows they already manage.
std::optional<QMargins> frameBeforeMapping(QWidget& window, std::chrono::milliseconds patience);

} // namespace tonalyx::ui
