#include "window_placement.h"

#include <algorithm>

namespace tonalyx::app {

QRect reachablePlacement(const QRect& saved, const QList<QRect>& availableAreas)
{
    if (availableAreas.isEmpty())
        return saved;
    // A degenerate saved size still has a corner that should be on some screen.
    const QRect probe(
        saved.topLeft(), QSize(std::max(saved.width(), 1), std::max(saved.height(), 1)));
    const bool visible = std::any_of(availableAreas.begin(), availableAreas.end(),
        [&](const QRect& area) { return area.intersects(probe); });
    if (visible)
        return saved;
    return { kDefaultWindowPlacement.topLeft(), saved.size() };
}

} // namespace tonalyx::app
