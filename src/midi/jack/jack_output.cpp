// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_output.h"

#include <algorithm>
#include <jack/jack.h>
#include <jack/midiport.h>

namespace tonalyx::midi {

namespace {
// Room for some 5,000 messages of the GS reset's size, with their headers: far more than a period
// of a busy server can fall behind by.
constexpr std::size_t kRingBytes = 1 << 17;

// The frame of the event the process thread is passing through, if it is; 0 on other threads.
thread_local std::uint32_t sentAtFrame = 0;
} // namespace

JackOutput::SentAtFrame::SentAtFrame(std::uint32_t frame)
{
    sentAtFrame = frame;
}

JackOutput::SentAtFrame::~SentAtFrame()
{
    sentAtFrame = 0;
}

JackOutput::JackOutput()
    : ring_(kRingBytes)
{ }

bool JackOutput::send(std::uint32_t connection, std::span<const std::uint8_t> message)
{
    if (message.empty() || connection == 0 || gone_.load(std::memory_order_acquire)
        || linked_.load(std::memory_order_acquire) != connection
        || message.size() > largestEvent_.load(std::memory_order_relaxed)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    if (connection != sendingOn_) {
        // The device of the connection before heard none of what is sent now.
        owed_.startOver();
        sendingOn_ = connection;
    }
    const bool kept = owed_.send(
        message, [&](MessageBytes queued) { return ring_.push(connection, queued, sentAtFrame); });
    if (!kept)
        dropped_.fetch_add(1, std::memory_order_relaxed);
    return kept;
}

void JackOutput::serve(jack_port_t* port, std::uint32_t connection)
{
    port_.store(port, std::memory_order_seq_cst);
    serving_.store(connection, std::memory_order_release);
}

bool JackOutput::linked(std::uint32_t connection) const
{
    return !gone_.load(std::memory_order_acquire)
        && linked_.load(std::memory_order_acquire) == connection;
}

void JackOutput::stopServing()
{
    serving_.store(0, std::memory_order_seq_cst);
    linked_.store(0, std::memory_order_release);
}

jack_port_t* JackOutput::takePort()
{
    return port_.exchange(nullptr, std::memory_order_seq_cst);
}

void JackOutput::serverGone()
{
    gone_.store(true, std::memory_order_release);
    linked_.store(0, std::memory_order_release);
}

void JackOutput::process(std::uint32_t frames)
{
    // Sequentially consistent, as takePort(): the thread taking the port back then knows which
    // periods may still hold it.
    auto* port = port_.load(std::memory_order_seq_cst);
    if (port == nullptr) {
        dropQueued();
        return;
    }
    void* buffer = jack_port_get_buffer(port, frames);
    // An output port's buffer keeps its events until cleared; they would go out again.
    jack_midi_clear_buffer(buffer);
    const auto connection = serving_.load(std::memory_order_seq_cst);
    // On the process thread this reads the graph of this very period, the one the far end reads
    // its input through, without waiting.
    if (connection == 0 || jack_port_connected(port) <= 0) {
        linked_.store(0, std::memory_order_release);
        dropQueued();
        return;
    }
    largestEvent_.store(jack_midi_max_event_size(buffer), std::memory_order_relaxed);
    linked_.store(connection, std::memory_order_release);
    writeQueued(buffer, frames, connection);
}

void JackOutput::writeQueued(void* buffer, std::uint32_t frames, std::uint32_t connection)
{
    // Events go into a period's buffer in the order of their frames: one sent at its input's
    // frame may follow one sent from another thread for the period's start, and goes no earlier.
    std::uint32_t frame = 0;
    // Read before the ring, as the queue from an input does: see InputQueue::drain.
    const bool owed = owed_.owing();
    while (const auto front = ring_.front()) {
        if (front->tag != connection) {
            // Sent on a connection that has ended.
            ring_.pop();
            dropped_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        if (front->size > jack_midi_max_event_size(buffer)) {
            // This period is full: the rest follows in the next one, in order.
            if (jack_midi_get_event_count(buffer) > 0)
                return;
            // Too large even for an empty buffer (the server's buffer shrank after it was
            // queued): it would hold up everything behind it for good.
            ring_.pop();
            dropped_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        frame = std::clamp(front->frame, frame, frames - 1);
        auto* event = jack_midi_event_reserve(buffer, frame, front->size);
        if (event == nullptr)
            return;
        ring_.copyFront({ event, front->size });
        ring_.pop();
    }
    // After everything older, and before anything newer, which waits until all of it is written.
    if (!owed)
        return;
    owed_.flush([buffer, frame](MessageBytes message) {
        // Asked for when it cannot fit, an event makes libjack complain on the terminal.
        if (message.size() > jack_midi_max_event_size(buffer))
            return false;
        auto* event = jack_midi_event_reserve(buffer, frame, message.size());
        if (event == nullptr)
            return false;
        std::copy(message.begin(), message.end(), event);
        return true;
    });
}

void JackOutput::dropQueued()
{
    while (ring_.front()) {
        ring_.pop();
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
    dropped_.fetch_add(owed_.discard(), std::memory_order_relaxed);
}

} // namespace tonalyx::midi
