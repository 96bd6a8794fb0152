// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "thread_scheduling.h"

#include <chrono>
#include <sys/types.h>

namespace tonalyx::midi {

// Asks rtkit (org.freedesktop.RealtimeKit1 on the system D-Bus), as PulseAudio and PipeWire
// clients do, to give thread `thread` of this process `wanted` within rtkit's own limits: SCHED_RR
// (rtkit's policy) at a priority, or a nice level. For real-time, RLIMIT_RTTIME is lowered to
// rtkit's maximum first, which rtkit requires. The exchange runs on a thread of its own and is
// waited for at most `timeout`: a bus that does not answer leaves that thread to finish alone.
Promotion askRtkit(pid_t thread, Scheduling wanted, std::chrono::milliseconds timeout);

} // namespace tonalyx::midi
