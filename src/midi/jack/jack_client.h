// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack_calls/jack_calls.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::midi {

class InputRoute;

// A JACK client of the program. Its process callback moves MIDI between the program and the
// server: out through the one output port of the open device, registered at each open and
// unregistered at each close, and in through the input port "in", registered with the client and
// kept. Everything that waits for the server happens on the JackCalls thread; the calling thread
// waits a bounded time for it, or not at all.
class JackClient {
public:
    using Clock = JackCalls::Clock;

    enum class OpenResult {
        Linked, // the connection is in effect: what is sent now arrives
        NoServer, // the server has gone
        NoSuchPort, // the target is not a MIDI input of the server
        Refused, // the server refused the port or the connection
        TimedOut, // the server did not answer in time
    };
    struct Opened {
        OpenResult result;
        std::uint32_t connection = 0; // set when linked
    };

    // The client `name` of the running server (JACK appends a number when the name is taken),
    // active, its input port "in" passing what arrives to `input`. Nothing when no server answers
    // by `deadline`; never starts one.
    static std::unique_ptr<JackClient> open(std::shared_ptr<JackCalls> calls,
        const std::string& name, Clock::time_point deadline, std::shared_ptr<InputRoute> input);
    // Closes the client on the JackCalls thread, without waiting for it.
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // The full name, "client:port", of every MIDI input port of the server in the server's
    // order, except this client's own and those of other clients of the same name. Read from the
    // server's shared memory: never waits.
    std::vector<std::string> midiInputs() const;

    // Registers the output port and connects it to the input port `target`. Returns once the
    // process thread has seen a period with the connection in effect, or at `deadline`.
    Opened openOutput(const std::string& target, Clock::time_point deadline);
    // Queues one whole message for the next period on `connection`; never waits. False when it
    // cannot arrive; see JackOutput::send.
    bool send(std::uint32_t connection, std::span<const std::uint8_t> message);
    // Ends `connection`: what was sent on it is still written, then the port goes. Returns at
    // once; the rest happens on the JackCalls thread.
    void closeOutput(std::uint32_t connection);

    bool serverGone() const;
    // Once the server has gone, closes the client on the JackCalls thread, without waiting for
    // it; then closedForGoneServer(). To be done before a client of the next server is opened:
    // libjack keeps the process's clients in tables by their number in their server, which a
    // client of the next server may share, and closing the old one after that takes the new one's
    // entries away (its process thread never runs again).
    void closeForGoneServer();
    // Closed once its server had gone: the input passes nothing on any more, and libjack has let
    // go of the client.
    bool closedForGoneServer() const;
    // Messages sent on any connection that did not go out; see JackOutput::dropped.
    std::uint64_t dropped() const;
    // Of those, the ones left out for want of room; see JackOutput::leftOut.
    std::uint64_t leftOut() const;

private:
    struct Core;
    // What was last heard of the server: the frame time at the start of its latest period, and
    // the periods this client has run.
    struct ServerHeard {
        std::uint32_t periodStart = 0;
        std::uint64_t periodsRun = 0;
        friend bool operator==(const ServerHeard&, const ServerHeard&) = default;
    };

    JackClient(std::shared_ptr<JackCalls> calls, std::shared_ptr<Core> core);
    bool isOwnPort(std::string_view name) const;
    // How long the server has begun no period, as far as the calling thread has seen.
    Clock::duration serverSilentFor();

    std::shared_ptr<JackCalls> calls_;
    std::shared_ptr<Core> core_;
    std::uint32_t lastConnection_ = 0;
    ServerHeard heard_;
    Clock::time_point heardAt_ = Clock::now();
};

} // namespace tonalyx::midi
