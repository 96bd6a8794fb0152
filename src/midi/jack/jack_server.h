#pragma once

#include <atomic>
#include <jack/types.h>
#include <memory>
#include <string>

namespace tonalyx::midi {

// Whether a JACK server is running for this user (the one JACK_DEFAULT_SERVER names, or the
// default). Asked before anything else talks to JACK: libjack starts a server of its own when
// none answers, which takes seconds and prints pages, and a machine without JACK is normal.
// Never starts a server, and prints nothing.
bool jackServerRunning();

// Tells when the JACK server has gone away, shut down or crashed. Nothing sent to a JACK port
// arrives after that, and RtMidi's JACK output then waits without end for room in a buffer that
// only the server's cycles empty: once its buffer has filled, the next message would hang the
// program. So nothing may be sent once the server is gone. The watch is a JACK client of its
// own, without ports, that libjack tells of the server's end.
class JackServerWatch {
public:
    // Watches the running server under a client name of its own; nothing when no server runs.
    // Never starts one.
    static std::unique_ptr<JackServerWatch> start(const std::string& clientName);
    ~JackServerWatch();
    JackServerWatch(const JackServerWatch&) = delete;
    JackServerWatch& operator=(const JackServerWatch&) = delete;

    bool serverGone() const { return gone_.load(std::memory_order_acquire); }

private:
    JackServerWatch() = default;
    // Called on one of libjack's threads.
    static void onShutdown(jack_status_t, const char*, void* self);

    jack_client_t* client_ = nullptr;
    std::atomic<bool> gone_ { false };
};

} // namespace tonalyx::midi
