// SPDX-License-Identifier: GPL-3.0-or-later
#include "input_queue.h"

#include "midi/midi_stream.h"

#include <algorithm>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tonalyx::midi {

InputQueue::InputQueue()
    : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{ }

InputQueue::~InputQueue()
{
    if (wake_ >= 0)
        ::close(wake_);
}

bool InputQueue::push(MessageBytes message)
{
    // The channel messages an input passes on; the rest of MIDI means nothing to the program.
    if (!readChannelMessage(message))
        return false;
    if (!owed_.send(message, [this](MessageBytes queued) { return pushSlot(queued); }))
        return false;
    wake();
    return true;
}

void InputQueue::pushSourcesGone()
{
    // An empty slot is the mark: no message the queue keeps is empty. While anything is owed, the
    // mark must follow it, and what is owed is drained after the queue.
    if (owed_.owing() || !pushSlot({}))
        goneUnqueued_.store(true, std::memory_order_release);
    wake();
}

bool InputQueue::pushSlot(MessageBytes message)
{
    const auto head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kCapacity)
        return false;
    auto& slot = slots_[head % kCapacity];
    slot.size = static_cast<std::uint8_t>(message.size());
    std::copy(message.begin(), message.end(), slot.data.begin());
    head_.store(head + 1, std::memory_order_release);
    return true;
}

void InputQueue::wake()
{
    // A counter, never blocking: at worst the GUI thread wakes once for many messages.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
}

void InputQueue::clearWake()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(wake_, &count, sizeof count);
}

} // namespace tonalyx::midi
