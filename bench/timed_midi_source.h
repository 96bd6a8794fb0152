// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <span>
#include <string>

namespace tonalyx::bench {

// A JACK client with MIDI outputs that writes each message played to every one of its ports in
// one and the same period, at the same frame of it, and notes which period that was: a keyboard
// whose every message also goes another way (straight to a capture, say) to compare the two.
// Messages wait for a period in which every port is connected. It joins the running server
// (JACK_DEFAULT_SERVER) and never starts one.
class TimedMidiSource {
public:
    using Clock = std::chrono::steady_clock;

    TimedMidiSource(const std::string& clientName, std::initializer_list<const char*> ports);
    ~TimedMidiSource();
    TimedMidiSource(const TimedMidiSource&) = delete;
    TimedMidiSource& operator=(const TimedMidiSource&) = delete;

    bool isConnected() const { return client_ != nullptr; }
    // Connects output number `port` to the input port `target` ("client:port").
    bool connect(int port, const std::string& target);

    // Queues one message of up to 16 bytes for the next period, at its frame `offset` (or the
    // period's last frame, in a shorter period); false when it does not fit.
    bool play(std::span<const std::uint8_t> message, std::uint32_t offset = 0);

    struct Written {
        std::uint64_t messages = 0; // written in all so far
        std::uint32_t frame = 0; // the server's frame time at the start of the latest period
        Clock::time_point time; // when that period's callback wrote them
    };
    // The latest period in which messages were written.
    Written written() const;

private:
    static int process(jack_nframes_t frames, void* self);

    struct Message {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        std::array<std::uint8_t, 16> bytes {};
    };

    static constexpr int kMaxPorts = 4;
    jack_client_t* client_ = nullptr;
    std::array<jack_port_t*, kMaxPorts> ports_ {};
    int portCount_ = 0;
    jack_ringbuffer_t* queued_ = nullptr;
    // The frame and time are stored before the count, which publishes them.
    std::atomic<std::uint32_t> writtenFrame_ { 0 };
    std::atomic<Clock::rep> writtenTime_ { 0 };
    std::atomic<std::uint64_t> writtenMessages_ { 0 };
};

} // namespace tonalyx::bench
