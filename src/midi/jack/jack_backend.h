// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack_calls/jack_calls.h"
#include "midi/midi_backend.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tonalyx::midi {

class InputRoute;
class JackClient;

// Every MIDI input port of the running JACK server, by its full name "client:port", through the
// program's JACK client. One port is open at a time.
//
// The input outlives the server: once the server has gone and the client is closed, a thread of
// the backend's own asks every second, through the JACK calls, for a client of the same name,
// whose "in" passes what arrives to the same route. The devices stay those of the first server.
class JackBackend final : public MidiBackend {
public:
    // Nothing when no server answers in time; a server is never started for it. Every call that
    // waits for the server goes through `calls`.
    static std::unique_ptr<JackBackend> connect(
        const std::string& clientName, std::shared_ptr<JackCalls> calls);
    // Waits for the thread that brings the input back, which waits a bounded time for the
    // server.
    ~JackBackend() override;

    // The input port "Tonalyx:in" of the program's client, and of every client opened again
    // for it, for the whole run.
    InputRoute* input() override;
    // In the server's order, except the program's own ports.
    std::vector<MidiPort> ports() override;
    // Returns once what is sent arrives, or nothing when the port is gone, refuses, or the
    // server does not answer in time (it may be stopped or overloaded): the caller waits a
    // bounded time, whatever the server does.
    std::unique_ptr<MidiConnection> open(const std::string& identity) override;

    // Messages sent that never went out: refused (the far end or the server had gone, no room
    // was left) or dropped unwritten.
    std::uint64_t dropped() const;
    std::uint64_t leftOut() const override;

private:
    class Connection;
    JackBackend(std::unique_ptr<JackClient> client, std::shared_ptr<InputRoute> input,
        std::shared_ptr<JackCalls> calls, std::string clientName);
    // The loop of the thread that brings the input back, until the backend goes.
    void reviveInput();

    std::unique_ptr<JackClient> client_;
    bool open_ = false;
    std::shared_ptr<InputRoute> input_;
    std::shared_ptr<JackCalls> calls_;
    std::string clientName_;
    // The reviver's own: the latest client opened for the input once its server came back.
    std::unique_ptr<JackClient> revived_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::thread reviver_;
};

// The JACK backend under `clientName`, or nothing when no server answers in time.
std::unique_ptr<MidiBackend> makeJackBackend(const std::string& clientName,
    std::shared_ptr<JackCalls> calls = std::make_shared<JackCalls>());

} // namespace tonalyx::midi
