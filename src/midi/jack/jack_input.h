// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/input_queue.h"

#include <atomic>
#include <cstdint>
#include <jack/types.h>

namespace tonalyx::midi {

// The program's JACK MIDI input port "in", from the events the process thread finds in it each
// period to the queue the GUI thread drains. The port is registered once, before the client is
// activated, and kept for the whole run: a keyboard connected to it stays connected through every
// device switch.
class JackInput {
public:
    // --- The thread that talks to the server, before the client is activated.
    void listenTo(jack_port_t* port) { port_.store(port, std::memory_order_release); }

    // --- The process thread, once every period. Neither allocates, locks nor waits: each event
    // is copied into the queue, whose wake-up is the only system call.
    void process(std::uint32_t frames);

    // --- The GUI thread.
    InputQueue& queue() { return queue_; }

private:
    InputQueue queue_;
    std::atomic<jack_port_t*> port_ { nullptr };
};

} // namespace tonalyx::midi
