// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tonalyx::app {

// Which output device is in use, and how many there are. The count is taken once at start-up;
// the number is where start-up opened, or where the last switch went, and is saved at the close.
struct CurrentDevice {
    std::int32_t number = 0;
    std::int32_t count = 0;

    // The next device, coming back to the first after the last. It wraps only on exact
    // equality: with no device at all the number keeps growing, and every open fails and says
    // so. Past the largest number it starts again at 0.
    void moveToNext() { number = number == INT32_MAX || number + 1 == count ? 0 : number + 1; }
};

} // namespace tonalyx::app
