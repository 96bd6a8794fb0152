// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_messages.h"
#include "midi/owed_messages.h"
#include "wakeup.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tonalyx::midi {

// Channel messages kept in order, bounded, from one thread to another or for later: what an input
// plays while the device cannot take it yet. One thread pushes, one drains; neither locks,
// allocates or waits. The draining thread may be woken through a file descriptor it can watch.
class InputQueue {
public:
    static constexpr std::size_t kCapacity = 4096;

    InputQueue() = default;
    InputQueue(const InputQueue&) = delete;
    InputQueue& operator=(const InputQueue&) = delete;

    // From the input's thread. Keeps one whole channel message (Note On and Off, pressures,
    // controllers, Program Change, pitch bend) and drops anything else: system exclusive, system
    // common and real-time messages, running status, data bytes. False when the message was
    // dropped, for being of another kind or for want of room. A full queue never drops what ends
    // a sound: see OwedMessages for what it keeps and what it leaves out, and counts.
    bool push(MessageBytes message);
    // From the input's thread: the last source connected to the input has gone, so nothing will
    // release what it holds. Marked in order, after the messages it sent.
    void pushSourcesGone();

    // From the GUI thread: every message pushed so far, oldest first, then what a full queue
    // still owed, and `sourcesGone` where the sources went.
    template <typename Each, typename Gone> void drain(Each&& each, Gone&& sourcesGone)
    {
        wake_.clear();
        // Read before the queue: what was owed, or marked gone, by then came after every message
        // this drain sees, and an input that owes queues nothing more until it is paid. What is
        // owed any later may follow messages queued after the head is read, so it waits for the
        // next drain, which its push wakes. The mark goes first, so that what was owed before it
        // is seen too.
        const bool gone = goneUnqueued_.exchange(false, std::memory_order_acquire);
        const bool owed = owed_.owing();
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
        if (owed) {
            owed_.flush([&](MessageBytes message) {
                each(shortMessageOf(message));
                return true;
            });
        }
        // Marked while the queue was full or owed: after everything that came before.
        if (gone)
            sourcesGone();
    }
    template <typename Each> void drain(Each&& each)
    {
        drain(std::forward<Each>(each), [] {});
    }

    // Readable whenever messages are waiting.
    int wakeDescriptor() const { return wake_.descriptor(); }
    // Channel messages left out for want of room.
    std::uint64_t overflows() const { return owed_.leftOut(); }

private:
    // False when the queue is full.
    bool pushSlot(MessageBytes message);

    std::array<ShortMessage, kCapacity> slots_ {};
    std::atomic<std::uint64_t> head_ { 0 }; // written by the input's thread
    std::atomic<std::uint64_t> tail_ { 0 }; // written by the GUI thread
    OwedMessages owed_;
    std::atomic<bool> goneUnqueued_ { false };
    Wakeup wake_;
};

} // namespace tonalyx::midi
