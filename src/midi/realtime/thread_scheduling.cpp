// SPDX-License-Identifier: GPL-3.0-or-later
#include "thread_scheduling.h"

#include "rtkit.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace tonalyx::midi {

namespace {

// A bus that answers at all answers in about a millisecond.
constexpr std::chrono::milliseconds kRtkitTimeout { 200 };

// The kernel's floor for RLIMIT_NICE: the lowest nice level a limit allows is 20 minus it.
constexpr rlim_t kNiceLimitBase = 20;

std::string limitText(rlim_t limit)
{
    return limit == RLIM_INFINITY ? "unlimited" : std::to_string(limit);
}

std::string describe(const Scheduling& scheduling)
{
    return scheduling.realTime ? "SCHED_FIFO priority " + std::to_string(scheduling.level)
                               : "nice " + std::to_string(scheduling.level);
}

// 0, or the error the kernel gave.
int apply(const Scheduling& scheduling)
{
    if (scheduling.realTime) {
        sched_param parameters {};
        parameters.sched_priority = scheduling.level;
        // Reset on fork: a process this thread might start does not inherit real-time.
        return pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &parameters);
    }
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), scheduling.level) == 0 ? 0
                                                                                         : errno;
}

} // namespace

Scheduling wantedScheduling(ThreadRole role)
{
    switch (role) {
    case ThreadRole::AudioRender:
        return { true, 4 };
    case ThreadRole::ReadAhead:
        return { false, -10 };
    }
    return {};
}

Scheduling withinOwnLimits(Scheduling wanted, rlim_t rtprioLimit, rlim_t niceLimit)
{
    if (wanted.realTime) {
        if (rtprioLimit != RLIM_INFINITY && rtprioLimit > 0
            && rtprioLimit < static_cast<rlim_t>(wanted.level))
            wanted.level = static_cast<int>(rtprioLimit);
        return wanted;
    }
    if (niceLimit == RLIM_INFINITY)
        return wanted;
    if (niceLimit > kNiceLimitBase) {
        const int lowest = -static_cast<int>(std::min<rlim_t>(niceLimit - kNiceLimitBase, 20));
        wanted.level = std::max(wanted.level, lowest);
    }
    return wanted;
}

std::optional<Scheduling> withinRtkitLimits(Scheduling wanted, const RtkitLimits& limits)
{
    if (wanted.realTime) {
        if (limits.maxRealtimePriority < 1)
            return std::nullopt;
        wanted.level = std::min(wanted.level, limits.maxRealtimePriority);
        return wanted;
    }
    if (limits.minNiceLevel >= 0)
        return std::nullopt;
    wanted.level = std::max(wanted.level, limits.minNiceLevel);
    return wanted;
}

std::optional<rlimit> rttimeLimitForRtkit(const rlimit& current, long long rttimeUsecMax)
{
    const auto most = static_cast<rlim_t>(std::max(rttimeUsecMax, 0LL));
    if (current.rlim_max != RLIM_INFINITY && current.rlim_max <= most)
        return std::nullopt;
    const rlim_t soft = current.rlim_cur == RLIM_INFINITY ? most : std::min(current.rlim_cur, most);
    return rlimit { soft, most };
}

Promotion promoteThisThread(ThreadRole role)
{
    const auto wanted = wantedScheduling(role);
    rlimit rtprio {};
    rlimit nice {};
    getrlimit(RLIMIT_RTPRIO, &rtprio);
    getrlimit(RLIMIT_NICE, &nice);
    const auto direct = withinOwnLimits(wanted, rtprio.rlim_cur, nice.rlim_cur);
    const int error = apply(direct);
    if (error == 0)
        return { direct.realTime ? Promotion::Outcome::RealTime : Promotion::Outcome::HighPriority,
            describe(direct) };
    auto fromRtkit = askRtkit(gettid(), wanted, kRtkitTimeout);
    if (fromRtkit.outcome != Promotion::Outcome::Unchanged)
        return fromRtkit;
    const auto limit = direct.realTime ? "RLIMIT_RTPRIO " + limitText(rtprio.rlim_cur)
                                       : "RLIMIT_NICE " + limitText(nice.rlim_cur);
    return { Promotion::Outcome::Unchanged,
        describe(direct) + " refused (" + limit + "): " + std::strerror(error) + "; "
            + fromRtkit.detail };
}

} // namespace tonalyx::midi
