// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_calls.h"

#include <deque>
#include <system_error>
#include <thread>

namespace tonalyx::midi {

namespace {
// How long the end of the program waits for the calls still queued (closing the client).
constexpr std::chrono::milliseconds kFarewell { 500 };
} // namespace

// Everything the thread touches. The thread holds it too, so that it outlives the JackCalls
// when the thread is left to finish a stuck call on its own.
struct JackCalls::Queue {
    struct Call {
        Clock::time_point deadline;
        Waited waited; // null when nobody waits
        std::function<void()> work;
    };

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Call> calls;
    std::optional<Call> running; // without its work
    bool started = false;
    bool ending = false;
    bool ended = false;
    std::thread thread;

    void serve();
    bool stuck() const
    {
        if (!running)
            return false;
        return running->waited ? !running->waited->load() : Clock::now() > running->deadline;
    }
};

void JackCalls::Queue::serve()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return ending || !calls.empty(); });
        if (calls.empty()) {
            ended = true;
            changed.notify_all();
            return;
        }
        auto work = std::move(calls.front().work);
        running = std::move(calls.front());
        calls.pop_front();
        lock.unlock();
        work();
        // Whatever it captured goes before the call counts as ended.
        work = nullptr;
        lock.lock();
        running.reset();
    }
}

JackCalls::JackCalls()
    : queue_(std::make_shared<Queue>())
{ }

JackCalls::~JackCalls()
{
    std::unique_lock lock(queue_->mutex);
    if (!queue_->started)
        return;
    queue_->ending = true;
    queue_->changed.notify_all();
    const auto deadline
        = Clock::now() + (queue_->stuck() ? std::chrono::milliseconds(0) : kFarewell);
    const bool ended = queue_->changed.wait_until(lock, deadline, [&] { return queue_->ended; });
    auto thread = std::move(queue_->thread);
    lock.unlock();
    if (ended)
        thread.join();
    else
        thread.detach();
}

bool JackCalls::enqueue(Clock::time_point deadline, Waited waited, std::function<void()> call)
{
    const std::lock_guard lock(queue_->mutex);
    if (!queue_->started) {
        // The thread starts with the first call: a program that never talks to JACK has none.
        try {
            queue_->thread = std::thread([queue = queue_] { queue->serve(); });
        } catch (const std::system_error&) {
            return false;
        }
        queue_->started = true;
    }
    queue_->calls.push_back({ deadline, std::move(waited), std::move(call) });
    queue_->changed.notify_all();
    return true;
}

void JackCalls::post(Clock::time_point deadline, std::function<void()> call)
{
    enqueue(deadline, nullptr, std::move(call));
}

bool JackCalls::stuck() const
{
    const std::lock_guard lock(queue_->mutex);
    return queue_->stuck();
}

} // namespace tonalyx::midi
