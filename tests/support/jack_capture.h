// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack/message_ring.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <jack/jack.h>
#include <memory>
#include <string>
#include <vector>

namespace tonalyx::testing {

// A JACK client with MIDI input ports that keeps every event each port receives, in order: the
// far end a test sends to. It joins the running server (JACK_DEFAULT_SERVER) and never starts
// one.
class JackCapture {
public:
    explicit JackCapture(const std::string& clientName);
    ~JackCapture();
    JackCapture(const JackCapture&) = delete;
    JackCapture& operator=(const JackCapture&) = delete;

    bool isConnected() const { return client_ != nullptr; }
    // The full name "client:port" of a port, as other clients list it.
    std::string fullName(const std::string& port) const;
    bool addInput(const std::string& port);
    // Whether the server has a port of this full name, of any client.
    bool serverHasPort(const std::string& fullName) const;
    bool removeInput(const std::string& port);

    // Every event received on `port` since it was added or last cleared, each as its bytes.
    std::vector<std::vector<std::uint8_t>> takeEvents(const std::string& port);
    // The same events, without a copy: for a test that must empty the capture's queue often
    // while a flood goes on. Valid until the next call for `port`.
    const std::vector<std::vector<std::uint8_t>>& collect(const std::string& port);
    void clear(const std::string& port);
    // The frame at which each event collected from `port` was due, by the server's frame time:
    // the start of the period it came in, plus its place in that period.
    const std::vector<std::uint32_t>& framesOf(const std::string& port);
    // Waits until `port` has received at least `bytes` bytes in all or `seconds` have passed;
    // returns all its events so far.
    std::vector<std::vector<std::uint8_t>> waitForBytes(
        const std::string& port, std::size_t bytes, double seconds = 10);

    // The xruns the server has reported to this client: periods in which some client, this one
    // or the sender, did not finish in time. What was written in such a period may never have
    // reached this client, whatever the sender did. Periods whose events the capture had no room
    // left to keep count too.
    std::uint64_t xruns() const { return xruns_.load(); }
    // Waits until this client has run two more periods, five seconds at most: long enough for an
    // xrun in the periods before to have been reported, which JACK does on another thread.
    void waitForCycle();
    // The frames in a period.
    std::uint32_t periodFrames() const { return jack_get_buffer_size(client_); }

    // What the test's thread does while it waits for bytes: by default it sleeps for 2 ms. A test
    // whose program runs on that same thread handles the program's events here instead.
    void waitWith(std::function<void()> pause) { pause_ = std::move(pause); }

    // Clears `port`, runs `send` and waits for `bytes` bytes there, as waitForBytes does; returns
    // the events received. When fewer arrive and the server reported an xrun meanwhile, the loss
    // may be the platform's: `send` runs again from a cleared port, up to `attempts` times in
    // all, and each retry is reported on stderr. A loss without an xrun is the sender's, and
    // ends the tries at once.
    std::vector<std::vector<std::uint8_t>> deliver(const std::string& port, std::size_t bytes,
        const std::function<void()>& send, int attempts = 3);
    // Whether the last deliver's every attempt lost bytes in a time with xruns: a machine too
    // busy to pass them cannot tell the sender's losses from its own.
    bool deliveryLostToThePlatform() const { return deliveryLost_; }

private:
    struct Slot {
        std::string name;
        std::atomic<jack_port_t*> port { nullptr };
        // From the process thread to the test's, each event whole.
        std::unique_ptr<midi::MessageRing> events;
        std::vector<std::vector<std::uint8_t>> taken;
        std::vector<std::uint32_t> takenFrames;
    };
    static int process(jack_nframes_t frames, void* self);
    static int xrun(void* self);
    Slot* slotNamed(const std::string& port);

    jack_client_t* client_ = nullptr;
    std::function<void()> pause_;
    std::atomic<std::uint64_t> cycles_ { 0 };
    std::atomic<std::uint64_t> xruns_ { 0 };
    bool deliveryLost_ = false;
    std::array<Slot, 4> slots_;
};

// The bytes of all events, one after another.
std::vector<std::uint8_t> joined(const std::vector<std::vector<std::uint8_t>>& events);

} // namespace tonalyx::testing

// In a test function, after a delivery: skips the test when every attempt of it was lost to the
// platform, rather than compare what arrived as if the program had lost it.
#define SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(capture)                                             \
    do {                                                                                           \
        if ((capture).deliveryLostToThePlatform())                                                 \
            QSKIP("every attempt lost events to the platform's xruns");                            \
    } while (false)
