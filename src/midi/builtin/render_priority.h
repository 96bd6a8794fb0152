// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace tonalyx::midi {

// The real-time priority of the threads that render the built-in synth, one for each audio output
// it opens in a run. The first that cannot have it says so in one line on standard error, with
// the reason; the sound then comes as before, only later on a busy machine.
class RenderPriority {
public:
    // On the rendering thread itself, before it renders; may wait ~200 ms for rtkit.
    void promoteThisThread();

private:
    std::atomic_flag told_;
};

} // namespace tonalyx::midi
