// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alsa_client.h"
#include "alsa_handles.h"
#include "midi/midi_backend.h"
#include "midi/owed_messages.h"

#include <memory>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The program's output on the ALSA sequencer: its client's port "out", connected to one port at
// a time. Every call is made on the thread that asks, and none waits for another client: the
// kernel hands events on at once, or has no room for them. What ends a sound is then kept to be
// written first at the next send, or at the close (see OwedMessages).
class AlsaOutput {
public:
    // `ownName` is the program's client name: no port of a client of that name is offered.
    AlsaOutput(AlsaClient::Opened client, const std::string& ownName);

    // Every port of another client that can be written to and connected to, that takes MIDI
    // (generic MIDI, a synthesiser or an application), in the order of their client and port
    // numbers. The identity is "Client:Port 14:0"; the name leaves out the numbers, which change
    // from run to run.
    std::vector<MidiPort> ports();
    // Connects "out" to the port with this identity, looking it up again since ports come and
    // go; nothing when it is gone, refuses, or another port is connected.
    std::unique_ptr<MidiConnection> open(const std::string& identity);
    // Messages left out for want of room in the sequencer, on every connection so far.
    std::uint64_t leftOut() const { return owed_.leftOut(); }

private:
    class Connection;
    enum class Written { Whole, NoRoom, Refused };
    bool send(MessageBytes message);
    Written write(MessageBytes message);
    void writeOwed();

    AlsaClient::Opened client_;
    std::string ownPrefix_;
    MidiEventCoder encoder_;
    std::size_t encoderBytes_;
    bool connected_ = false;
    OwedMessages owed_;
};

} // namespace tonalyx::midi
