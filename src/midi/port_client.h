#pragma once

#include "jack_server.h"
#include "midi_stream.h"

#include <memory>
#include <rtmidi/RtMidi.h>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The program's one client of a MIDI system (ALSA sequencer or JACK) through RtMidi, made once
// and kept: every RtMidiOut is a client of its own there. It has at most one port open at once.
class PortClient {
public:
    // A client of `api` named `clientName`, or nothing when that system is not there.
    static std::unique_ptr<PortClient> connect(RtMidi::Api api, const std::string& clientName);

    // The full name of every port this client can send to now, in the system's order, except
    // ports of this program's own clients.
    std::vector<std::string> portNames();

    // Opens the port with this full name, looking it up again since RtMidi numbers ports by
    // their place in a list that changes as ports come and go. False if it is gone or refused.
    bool open(const std::string& portName);
    void close();
    // False once the system behind the port has gone away (the JACK server ended), even though
    // RtMidi still holds the port.
    bool isOpen() const;
    // Sends one whole message to the open port. Never called while closed: RtMidi's JACK output
    // would keep the bytes and deliver them on the next open.
    void send(MessageBytes message);

private:
    PortClient(std::unique_ptr<RtMidiOut> out, std::string clientName,
        std::unique_ptr<JackServerWatch> jackWatch);
    bool systemGone() const;

    std::unique_ptr<RtMidiOut> out_;
    std::string clientName_;
    // Only for a JACK client: RtMidi itself never learns that the server ended.
    std::unique_ptr<JackServerWatch> jackWatch_;
};

} // namespace tonalyx::midi
