// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tonalyx::midi {

// The one thread on which the program asks the JACK server for anything.
//
// libjack's requests have no timeout: while the server is stopped (SIGSTOP, a debugger, a frozen
// session) jack_client_open, jack_activate, jack_port_register, jack_connect,
// jack_port_unregister and jack_client_close wait for as long as it stays stopped, and libjack
// holds a lock of the whole process across every client open and close meanwhile. So they are
// all made here, one after the other, and whoever asks waits a bounded time for the answer. A
// call its caller gave up on, or one queued without a caller that runs past its deadline, is
// stuck: it finishes here in the background. Until it has, whoever asks should refuse at once
// instead of queueing behind it, unless it knows the server is still running.
class JackCalls {
public:
    using Clock = std::chrono::steady_clock;

    JackCalls();
    // Waits a short while for the calls still queued (not at all when one is stuck), then
    // leaves the thread to finish them on its own: the program never waits for a stopped
    // server, even when it ends.
    ~JackCalls();
    JackCalls(const JackCalls&) = delete;
    JackCalls& operator=(const JackCalls&) = delete;

    // Runs `call` here, after the calls queued before it, and waits until `deadline` for its
    // result, or until `hopeless` says it is not worth waiting any longer (it is asked every few
    // milliseconds, on the waiting thread). Nothing when the call has not ended in time. A call
    // given up before it started never runs; one given up while it ran hands its result to
    // `abandon` when it ends, to undo whatever it did.
    template <class Result>
    std::optional<Result> run(Clock::time_point deadline, std::function<Result()> call,
        std::function<void(Result&)> abandon = {}, std::function<bool()> hopeless = {});

    // Queues `call` without waiting for it; past `deadline` it counts as stuck.
    void post(Clock::time_point deadline, std::function<void()> call);

    // A call is stuck: see above.
    bool stuck() const;

private:
    struct Queue;
    // Whether a caller still waits for a call; a call without one has none.
    using Waited = std::shared_ptr<std::atomic<bool>>;
    bool enqueue(Clock::time_point deadline, Waited waited, std::function<void()> call);

    std::shared_ptr<Queue> queue_;
};

template <class Result>
std::optional<Result> JackCalls::run(Clock::time_point deadline, std::function<Result()> call,
    std::function<void(Result&)> abandon, std::function<bool()> hopeless)
{
    constexpr std::chrono::milliseconds kHopeCheck { 5 };
    struct Handoff {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        Waited waited = std::make_shared<std::atomic<bool>>(true);
    };
    auto handoff = std::make_shared<Handoff>();
    const bool queued = enqueue(
        deadline, handoff->waited, [handoff, call = std::move(call), abandon = std::move(abandon)] {
            {
                const std::lock_guard lock(handoff->mutex);
                if (!*handoff->waited)
                    return;
            }
            Result result = call();
            std::unique_lock lock(handoff->mutex);
            if (*handoff->waited) {
                handoff->result = std::move(result);
                handoff->done.notify_one();
                return;
            }
            lock.unlock();
            if (abandon)
                abandon(result);
        });
    if (!queued)
        return std::nullopt;
    std::unique_lock lock(handoff->mutex);
    const auto ended = [&] { return handoff->result.has_value(); };
    for (;;) {
        const auto until = hopeless ? std::min(deadline, Clock::now() + kHopeCheck) : deadline;
        if (handoff->done.wait_until(lock, until, ended))
            return std::move(handoff->result);
        if (Clock::now() >= deadline)
            break;
        lock.unlock();
        const bool lost = hopeless();
        lock.lock();
        if (ended())
            return std::move(handoff->result);
        if (lost)
            break;
    }
    *handoff->waited = false;
    return std::nullopt;
}

} // namespace tonalyx::midi
