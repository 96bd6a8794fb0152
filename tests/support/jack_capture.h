#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
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
    bool removeInput(const std::string& port);

    // Every event received on `port` since it was added or last cleared, each as its bytes.
    std::vector<std::vector<std::uint8_t>> takeEvents(const std::string& port);
    void clear(const std::string& port);
    // Waits until `port` has received at least `bytes` bytes in all or `seconds` have passed;
    // returns all its events so far.
    std::vector<std::vector<std::uint8_t>> waitForBytes(
        const std::string& port, std::size_t bytes, double seconds = 10);

private:
    struct Slot {
        std::string name;
        std::atomic<jack_port_t*> port { nullptr };
        jack_ringbuffer_t* events = nullptr; // 4-byte length, then the event's bytes
        std::vector<std::vector<std::uint8_t>> taken;
    };
    static int process(jack_nframes_t frames, void* self);
    Slot* slotNamed(const std::string& port);
    void waitForCycle();

    jack_client_t* client_ = nullptr;
    std::atomic<std::uint64_t> cycles_ { 0 };
    std::array<Slot, 4> slots_;
};

// The bytes of all events, one after another.
std::vector<std::uint8_t> joined(const std::vector<std::vector<std::uint8_t>>& events);

} // namespace tonalyx::testing
