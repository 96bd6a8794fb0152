// SPDX-License-Identifier: GPL-3.0-or-later
#include "input_queue.h"

#include "midi/midi_stream.h"

#include <algorithm>
#include <cstdint>

namespace tonalyx::midi {

bool InputQueue::push(MessageBytes message)
{
    // The channel messages an input passes on; the rest of MIDI means nothing to the program.
    if (!readChannelMessage(message))
        return false;
    if (!owed_.send(message, [this](MessageBytes queued) { return pushSlot(queued); }))
        return false;
    wake_.raise();
    return true;
}

void InputQueue::pushSourcesGone()
{
    // An empty slot is the mark: no message the queue keeps is empty. While anything is owed, the
    // mark must follow it, and what is owed is drained after the queue.
    if (owed_.owing() || !pushSlot({}))
        goneUnqueued_.store(true, std::memory_order_release);
    wake_.raise();
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

} // namespace tonalyx::midi
