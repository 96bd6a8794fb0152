// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack/message_ring.h"

#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <string>
#include <vector>

namespace tonalyx::testing {

// A JACK client with one MIDI output port "out": the keyboard a test plays into the program's
// input. Messages are written in the next period in which the port is connected, one event each,
// in the order played, each at the frame of the period it was played for; until then they wait. It
// joins the running server (JACK_DEFAULT_SERVER) and never starts one.
class JackSource {
public:
    explicit JackSource(const std::string& clientName);
    ~JackSource();
    JackSource(const JackSource&) = delete;
    JackSource& operator=(const JackSource&) = delete;

    bool isConnected() const { return client_ != nullptr; }
    // Connects "out" to the input port `target` ("client:port") and waits until a period has
    // run with the connection in effect, up to five seconds.
    bool connectTo(const std::string& target);
    bool disconnectFrom(const std::string& target);
    // As a patchbay does, between ports of any clients: `from` an output, `to` an input.
    bool connectPorts(const std::string& from, const std::string& to);
    bool portsConnected(const std::string& from, const std::string& to) const;
    // False, and nothing played, while the messages played before fill its queue. `frame` is
    // where in its period the message goes (0, the period's start, unless a period has fewer).
    bool play(const std::vector<std::uint8_t>& message, std::uint32_t frame = 0);
    // Everything played has been written into the port.
    bool drained() const { return queued_.empty(); }
    // The server's frame time at the start of the latest period in which messages were written.
    std::uint32_t lastWrittenPeriod() const { return lastWrittenPeriod_.load(); }

private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    midi::MessageRing queued_;
    std::atomic<bool> linked_ { false };
    std::atomic<std::uint32_t> lastWrittenPeriod_ { 0 };
};

} // namespace tonalyx::testing
