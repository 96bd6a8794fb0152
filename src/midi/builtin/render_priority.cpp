// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_priority.h"

#include "midi/realtime/thread_scheduling.h"

#include <cstdio>

namespace tonalyx::midi {

void RenderPriority::promoteThisThread()
{
    const auto promotion = midi::promoteThisThread(ThreadRole::AudioRender);
    if (promotion.outcome == Promotion::Outcome::RealTime || told_.test_and_set())
        return;
    std::fprintf(stderr, "tonalyx: the built-in synth runs without real-time priority: %s\n",
        promotion.detail.c_str());
}

} // namespace tonalyx::midi
