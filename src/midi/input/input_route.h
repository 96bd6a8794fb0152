// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input_sink.h"
#include "midi/midi_messages.h"

#include <atomic>

namespace tonalyx::midi {

// One input port's way to whoever plays it, taken on the input's own thread, with no queue and
// no other thread between: a message reaches the device in the same period it arrived in. What
// arrives while no one listens goes nowhere.
class InputRoute {
public:
    // --- The owner's thread. A listener is set once, and taken away before it goes; taking it
    // away waits until the input's thread has left it.
    void listen(InputSink& sink);
    void stopListening();

    // --- The input's thread. Passes on one whole channel message and drops anything else:
    // system exclusive, system common and real-time messages, running status, data bytes.
    // Neither allocates nor waits.
    void push(MessageBytes message);
    // The last source connected to the input has gone, after the messages it sent.
    void pushSourcesGone();

private:
    template <typename Call> void toSink(Call&& call);

    std::atomic<InputSink*> sink_ { nullptr };
    // Set while the input's thread is inside the listener.
    std::atomic<bool> delivering_ { false };
};

} // namespace tonalyx::midi
