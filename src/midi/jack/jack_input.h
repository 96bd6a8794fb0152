// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/input_route.h"

#include <atomic>
#include <cstdint>
#include <jack/types.h>
#include <memory>

namespace tonalyx::midi {

// The program's JACK MIDI input port "in": the events the process thread finds in it each period
// are passed on in that very period, on that thread. The port is registered once, before the client
// is activated, and kept for the whole run: a keyboard connected to it stays connected through
// every device switch.
class JackInput {
public:
    // Into `route`, which outlives the client: a client opened again once its server is back
    // passes what it hears to the listener that was already there.
    explicit JackInput(std::shared_ptr<InputRoute> route)
        : route_(std::move(route))
    { }

    // --- The thread that talks to the server, before the client is activated.
    void listenTo(jack_port_t* port) { port_.store(port, std::memory_order_release); }
    jack_port_t* port() const { return port_.load(std::memory_order_acquire); }

    // --- libjack's notification thread: the program's own output is connected to "in", and
    // what arrives is dropped until it is not.
    void setFedBack(bool fedBack) { fedBack_.store(fedBack, std::memory_order_release); }

    // --- The process thread, once every period, before the output's turn. Allocates nothing:
    // each event is handed on at once, with its frame in the period: what it makes the program send
    // goes out in this period, at that frame. The period in which the last connection to the port
    // has gone tells the listener the sources have gone.
    void process(std::uint32_t frames);

    // --- The thread that closed the client, once the process thread has ended: the server that
    // has gone took every connection to the port with it.
    void clientClosed();

private:
    std::shared_ptr<InputRoute> route_;
    std::atomic<jack_port_t*> port_ { nullptr };
    std::atomic<bool> fedBack_ { false };
    bool wasConnected_ = false; // the process thread's own, then the closing thread's
};

} // namespace tonalyx::midi
