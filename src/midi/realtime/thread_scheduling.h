// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/resource.h>

namespace tonalyx::midi {

// The threads whose scheduling matters to what is heard.
enum class ThreadRole {
    // Renders the synth for the sound server: late by a few milliseconds, it is heard late or
    // not at all. Real-time (SCHED_FIFO), so that busy programs at normal priority never hold it
    // up; it blocks between the server's requests and renders a few blocks at a time, so it
    // cannot starve the machine.
    AudioRender,
    // Reads a preset's samples from disk ahead of a press. A higher nice level, not real-time:
    // it reads files and may take the synth's lock for up to ~20 ms of work, which at real-time
    // priority would shut out every normal thread of its core (the user interface among them)
    // for as long; a nice level gives it the larger share of a busy core without that.
    ReadAhead,
};

// Either SCHED_FIFO at `level` (1 to 99) or SCHED_OTHER at the nice level `level` (-20 to 19).
struct Scheduling {
    bool realTime = false;
    int level = 0;
    friend bool operator==(const Scheduling&, const Scheduling&) = default;
};

// What a role asks for: the render below the usual JACK server (10) and its clients' threads (5)
// and PulseAudio's server (5), which consume what it renders; the read-ahead at the nice level of
// a desktop's sound server (-11), a little above it.
Scheduling wantedScheduling(ThreadRole role);

// What to ask the kernel for within the process's own soft limits (RLIMIT_RTPRIO, RLIMIT_NICE):
// the wanted level, or the best one the limit allows. A limit that allows nothing leaves the
// wanted level: a process with CAP_SYS_NICE is not bound by it, and the kernel says no otherwise.
Scheduling withinOwnLimits(Scheduling wanted, rlim_t rtprioLimit, rlim_t niceLimit);

// What rtkit grants at most (its properties MaxRealtimePriority, MinNiceLevel, RTTimeUSecMax).
struct RtkitLimits {
    int maxRealtimePriority = 0;
    int minNiceLevel = 0;
    long long rttimeUsecMax = 0;
};

// What to ask rtkit for: the wanted level within its limits; nothing when it grants nothing
// better than normal scheduling.
std::optional<Scheduling> withinRtkitLimits(Scheduling wanted, const RtkitLimits& limits);

// rtkit refuses a process whose RLIMIT_RTTIME hard limit is above its RTTimeUSecMax (200 ms by
// default): the limit the process must lower both its limits to first, or nothing when they are
// within already. From then on a real-time thread that runs that long without blocking is killed.
std::optional<rlimit> rttimeLimitForRtkit(const rlimit& current, long long rttimeUsecMax);

struct Promotion {
    enum class Outcome { RealTime, HighPriority, Unchanged };
    Outcome outcome = Outcome::Unchanged;
    // How it was had ("SCHED_FIFO 4", "nice -10 from rtkit"), or why not.
    std::string detail;
};

// Gives the calling thread the scheduling of its role: from the kernel where the process's limits
// or privileges allow it, else from rtkit over the system D-Bus, else nothing, the thread then
// running on as before. Waits for rtkit at most ~200 ms, on a thread of its own: never call it on
// a thread that must not wait (the user interface, JACK's process thread).
Promotion promoteThisThread(ThreadRole role);

} // namespace tonalyx::midi
