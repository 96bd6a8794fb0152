// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_backend.h"

#include <functional>
#include <memory>
#include <rtmidi/RtMidi.h>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The ports of one MIDI system through one RtMidi client, made once and kept: every RtMidiOut is
// a client of its own there. It has at most one port open at once. The program reaches the ALSA
// sequencer this way; JACK has a backend of its own (src/midi/jack).
class RtMidiBackend final : public MidiBackend {
public:
    struct Options {
        RtMidi::Api api;
        std::string clientName;
        // The name a user knows a port by, from the full name the system gives it.
        std::function<std::string(const std::string&)> shownName;
    };

    // A client of the system, or nothing when that system is not there.
    static std::unique_ptr<RtMidiBackend> connect(Options options);

    // Every port this client can send to now, in the system's order, except the ports of this
    // program's own clients. The identity is the full name the system gives the port.
    std::vector<MidiPort> ports() override;
    // Opens the port with this full name, looking it up again since RtMidi numbers ports by
    // their place in a list that changes as ports come and go.
    std::unique_ptr<MidiConnection> open(const std::string& identity) override;

private:
    class Connection;
    RtMidiBackend(std::unique_ptr<RtMidiOut> out, Options options);

    std::unique_ptr<RtMidiOut> out_;
    Options options_;
};

} // namespace tonalyx::midi
