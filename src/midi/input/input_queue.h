// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_messages.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tonalyx::midi {

// Channel messages from one input's own thread (a JACK process callback, a sequencer reader) to
// the GUI thread, which plays and shows them. One thread pushes, one drains; neither locks,
// allocates or waits. The GUI thread is woken through a file descriptor it can watch.
class InputQueue {
public:
    static constexpr std::size_t kCapacity = 4096;

    InputQueue();
    ~InputQueue();
    InputQueue(const InputQueue&) = delete;
    InputQueue& operator=(const InputQueue&) = delete;

    // From the input's thread. Keeps one whole channel message (Note On and Off, pressures,
    // controllers, Program Change, pitch bend) and drops anything else: system exclusive, system
    // common and real-time messages, running status, data bytes. False when the message was
    // dropped, for being of another kind or for the queue being full; full queues are counted.
    bool push(MessageBytes message);
    // From the input's thread: the last source connected to the input has gone, so nothing will
    // release what it holds. Marked in order, after the messages it sent.
    void pushSourcesGone();

    // From the GUI thread: every message pushed so far, oldest first, and `sourcesGone` where
    // the sources went.
    template <typename Each, typename Gone> void drain(Each&& each, Gone&& sourcesGone)
    {
        clearWake();
        auto tail = tail_.load(std::memory_order_relaxed);
        const auto head = head_.load(std::memory_order_acquire);
        while (tail != head) {
            const auto& slot = slots_[tail % kCapacity];
            if (slot.size == 0)
                sourcesGone();
            else
                each(slot);
            ++tail;
        }
        tail_.store(tail, std::memory_order_release);
        // Marked while the queue was full: after everything it held, which came before.
        if (goneUnqueued_.exchange(false, std::memory_order_acquire))
            sourcesGone();
    }
    template <typename Each> void drain(Each&& each)
    {
        drain(std::forward<Each>(each), [] {});
    }

    // Readable whenever messages are waiting.
    int wakeDescriptor() const { return wake_; }
    std::uint64_t overflows() const { return overflows_.load(std::memory_order_relaxed); }

private:
    // False when the queue is full.
    bool pushSlot(MessageBytes message);
    void wake();
    void clearWake();

    std::array<ShortMessage, kCapacity> slots_ {};
    std::atomic<std::uint64_t> head_ { 0 }; // written by the input's thread
    std::atomic<std::uint64_t> tail_ { 0 }; // written by the GUI thread
    std::atomic<std::uint64_t> overflows_ { 0 };
    std::atomic<bool> goneUnqueued_ { false };
    int wake_ = -1;
};

} // namespace tonalyx::midi
