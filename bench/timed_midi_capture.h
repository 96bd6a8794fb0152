// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/device_list.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <optional>
#include <string>

namespace tonalyx::bench {

// A JACK client with MIDI inputs that notes when each event reaches it: the moment its process
// callback, which JACK runs once a period, finds the event in its port's buffer. It joins the
// running server (JACK_DEFAULT_SERVER) and never starts one.
class TimedMidiCapture {
public:
    struct Event {
        int port = 0;
        std::chrono::steady_clock::time_point arrival;
        std::uint32_t frame = 0; // the server's frame time at the start of that period
        std::uint32_t offset = 0; // the event's frame in that period
        std::uint32_t size = 0;
        std::array<std::uint8_t, 16> bytes {}; // the first 16, enough for a GS reset
    };

    TimedMidiCapture(const std::string& clientName, std::initializer_list<const char*> ports);
    ~TimedMidiCapture();
    TimedMidiCapture(const TimedMidiCapture&) = delete;
    TimedMidiCapture& operator=(const TimedMidiCapture&) = delete;

    bool isConnected() const { return client_ != nullptr; }
    // "client:port" of input number `port`, as other clients list it.
    std::string fullName(int port) const;
    // The JACK period in microseconds, and in frames.
    double periodMicroseconds() const;
    std::uint32_t periodFrames() const;

    // The next event received, waiting up to `timeout` for one.
    std::optional<Event> next(std::chrono::milliseconds timeout);
    // Drops everything received so far.
    void drain();

    // The periods this client has run, and the xruns the server has reported to it: periods in
    // which some client (this one or the sender) did not finish in time, so that what was
    // written in them may never have reached this client.
    std::uint64_t cycles() const { return cycles_.load(); }
    std::uint64_t xruns() const { return xruns_.load(); }
    // Waits until this client has run `count` more periods (or a second has passed): long enough
    // for an xrun of the periods before to have been reported, which JACK does on another thread.
    void waitForCycles(std::uint64_t count) const;

private:
    static int process(jack_nframes_t frames, void* self);
    static int xrun(void* self);

    static constexpr int kMaxPorts = 4;
    jack_client_t* client_ = nullptr;
    std::array<jack_port_t*, kMaxPorts> ports_ {};
    std::array<std::string, kMaxPorts> names_ {};
    int portCount_ = 0;
    jack_ringbuffer_t* events_ = nullptr;
    std::atomic<std::uint64_t> cycles_ { 0 };
    std::atomic<std::uint64_t> xruns_ { 0 };
};

// The device that is the capture's port of this full name, as far as a device name goes (names
// are cut to 32 bytes), or -1.
std::int32_t deviceNamed(midi::DeviceList& devices, const std::string& fullName);

} // namespace tonalyx::bench
