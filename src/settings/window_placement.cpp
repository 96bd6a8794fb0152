// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_placement.h"

#include <algorithm>

namespace tonalyx::settings {

namespace {

// Between the least and the most, in 64 bits; the least wins where the two cross.
std::int64_t held(std::int64_t value, std::int64_t least, std::int64_t most)
{
    return std::max(least, std::min(value, most));
}

// Whether [start, start + length) meets [areaStart, areaStart + areaLength), in 64 bits so that no
// sum can overflow.
bool overlaps(
    std::int64_t start, std::int64_t length, std::int64_t areaStart, std::int64_t areaLength)
{
    return start < areaStart + areaLength && areaStart < start + length;
}

} // namespace

Rect reachablePlacement(const Rect& saved, const Screens& screens, Size smallest)
{
    // Without a screen nothing can be reached; the default at least is a rectangle of sense.
    if (screens.availableAreas.empty())
        return kDefaultWindowPlacement;

    const auto width = static_cast<std::int32_t>(
        held(saved.width, std::max(smallest.width, 1), screens.desktop.width));
    const auto height = static_cast<std::int32_t>(
        held(saved.height, std::max(smallest.height, 1), screens.desktop.height));
    const bool visible = std::any_of(
        screens.availableAreas.begin(), screens.availableAreas.end(), [&](const Rect& area) {
            return overlaps(saved.left, width, area.left, area.width)
                && overlaps(saved.top, height, area.top, area.height);
        });
    // A visible window starts less than its own size before a screen's edge, so its far edge
    // cannot overflow either.
    if (visible)
        return { saved.left, saved.top, width, height };
    return { kDefaultWindowPlacement.left, kDefaultWindowPlacement.top, width, height };
}

} // namespace tonalyx::settings
