// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/input_queue.h"
#include "midi/input/input_sink.h"
#include "priority_mutex.h"

#include <mutex>

namespace tonalyx::selection {
class MidiThru;
}

namespace tonalyx::app {

// What the MIDI keyboards play, taken to the device on the input's own thread: the GUI thread is
// the one a busy desktop starves first, and a keyboard played through it would lag by as much.
// The selection, the record of held notes and the device's connection are shared with the GUI
// thread, which reaches them only through exclusive(), for a few microseconds at a time.
//
// While the device settles after its reset, is switched or is closed, the input is held: what
// arrives is kept, in order, and delivered when it is let through again, so nothing reaches a
// device that is being left or is not ready. It starts held, until the first device has settled.
class LiveInput final : public midi::InputSink {
public:
    explicit LiveInput(selection::MidiThru& thru)
        : thru_(thru)
    { }

    // --- The GUI thread.
    // Runs `action` with no input's thread inside the selection or the device meanwhile.
    template <typename Action> decltype(auto) exclusive(Action&& action)
    {
        const std::lock_guard lock(mutex_);
        return action();
    }
    // From now on, the input reaches neither the selection nor the device; once this returns, no
    // input's thread is inside them, and the GUI thread may open, close and reset the device
    // without exclusive().
    void hold();
    // Delivers what was kept, in the order it came, then lets the input through as it comes.
    void letThrough();
    // Messages left out of what was kept for want of room (see midi::OwedMessages).
    std::uint64_t leftOut() const { return kept_.overflows(); }

    // --- The inputs' threads.
    void receive(midi::MessageBytes message) override;
    void sourcesGone() override;

private:
    PriorityMutex mutex_;
    selection::MidiThru& thru_;
    bool holding_ = true;
    // What arrived while held. Pushed and drained under the mutex only.
    midi::InputQueue kept_;
};

} // namespace tonalyx::app
