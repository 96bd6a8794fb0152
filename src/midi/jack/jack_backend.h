// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/jack_calls/jack_calls.h"
#include "midi/midi_backend.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tonalyx::midi {

class JackClient;

// Every MIDI input port of the running JACK server, by its full name "client:port", through the
// program's one JACK client. One port is open at a time.
class JackBackend final : public MidiBackend {
public:
    // Nothing when no server answers in time; a server is never started for it. Every call that
    // waits for the server goes through `calls`.
    static std::unique_ptr<JackBackend> connect(
        const std::string& clientName, std::shared_ptr<JackCalls> calls);
    ~JackBackend() override;

    // The input port "Tonalyx:in" of the program's client, for the whole run.
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
    explicit JackBackend(std::unique_ptr<JackClient> client);

    std::unique_ptr<JackClient> client_;
    bool open_ = false;
};

// The JACK backend under `clientName`, or nothing when no server answers in time.
std::unique_ptr<MidiBackend> makeJackBackend(const std::string& clientName,
    std::shared_ptr<JackCalls> calls = std::make_shared<JackCalls>());

} // namespace tonalyx::midi
