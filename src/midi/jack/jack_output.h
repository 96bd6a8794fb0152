// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message_ring.h"
#include "midi/owed_messages.h"

#include <atomic>
#include <cstdint>
#include <jack/types.h>
#include <span>

namespace tonalyx::midi {

// The program's JACK MIDI output port, from the messages the sending thread queues to the bytes
// JACK's process thread writes into the port. One connection is served at a time; each has a
// number of its own, never 0, and its messages carry it, so that nothing sent on a connection
// that has ended can reach the next one.
//
// jack_connect() returns before the server has made the connection part of the graph it runs:
// that happens at the start of a later period. Bytes written into the port in a period without
// the connection go nowhere. So the process thread writes only in periods in which it sees the
// port connected, and an open waits until it has seen one.
class JackOutput {
public:
    JackOutput();

    // --- The sending thread (one at a time). Never waits.
    // Queues one whole message for the next period. False, and counted in dropped(), when it
    // cannot arrive: the connection is not in effect (it has not been made yet, its far end has
    // gone, the server has gone), the message is empty or larger than a period can carry, or
    // there is no room left for it. With no room, what ends a sound is kept to follow as soon as
    // there is, and a value a later one replaces is left out (see OwedMessages).
    bool send(std::uint32_t connection, std::span<const std::uint8_t> message);

    // --- The thread that talks to the server.
    // Starts serving `connection` through `port`, a registered output port.
    void serve(jack_port_t* port, std::uint32_t connection);
    // The process thread saw `connection` in effect in its latest period.
    bool linked(std::uint32_t connection) const;
    // Nothing of what was sent is left to write.
    bool drained() const { return ring_.empty() && !owed_.owing(); }
    // Writes nothing more: what is still queued is dropped.
    void stopServing();
    // Hands the port back; the process thread no longer looks at it once every period begun
    // before has ended.
    jack_port_t* takePort();

    // --- libjack's thread, when the server has shut down.
    void serverGone();

    // --- The process thread, once every period.
    void process(std::uint32_t frames);

    // On the process thread, while an event that arrived in this period is passed through:
    // whatever is sent meanwhile goes out in this period, at that event's frame, rather than at
    // the start of the next one.
    class SentAtFrame {
    public:
        explicit SentAtFrame(std::uint32_t frame);
        ~SentAtFrame();
        SentAtFrame(const SentAtFrame&) = delete;
        SentAtFrame& operator=(const SentAtFrame&) = delete;
    };

    // Messages refused by send() or dropped unwritten.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    // Of those, the ones left out for want of room while the connection was in effect.
    std::uint64_t leftOut() const { return owed_.leftOut(); }

private:
    void writeQueued(void* buffer, std::uint32_t frames, std::uint32_t connection);
    void dropQueued();

    MessageRing ring_;
    OwedMessages owed_;
    // The sending thread's own: the connection its latest message was sent on.
    std::uint32_t sendingOn_ = 0;
    std::atomic<jack_port_t*> port_ { nullptr };
    std::atomic<std::uint32_t> serving_ { 0 };
    std::atomic<std::uint32_t> linked_ { 0 };
    std::atomic<bool> gone_ { false };
    // The largest event a period's buffer holds, as the process thread last saw it.
    std::atomic<std::size_t> largestEvent_ { 0 };
    std::atomic<std::uint64_t> dropped_ { 0 };
};

} // namespace tonalyx::midi
