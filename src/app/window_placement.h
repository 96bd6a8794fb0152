#pragma once

#include <QList>
#include <QRect>

namespace tonalyx::app {

// The window's outer rectangle when nothing was saved.
inline constexpr QRect kDefaultWindowPlacement { 193, 159, 679, 526 };

// The saved outer rectangle, unless it lies wholly outside every screen's available area (a
// monitor was unplugged since the last run): then the same size at the default position, so the
// window can still be reached.
QRect reachablePlacement(const QRect& saved, const QList<QRect>& availableAreas);

} // namespace tonalyx::app
