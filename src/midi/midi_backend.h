// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_messages.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonalyx::midi {

// A port a backend can send to. Its identity is what the backend opens it by; its name is what
// a user knows it as, and may be longer than a device name can be.
struct MidiPort {
    std::string identity;
    std::string name;
};

// The drum sets (bank 128) a device holds: a Program Change on the drum channel to any other
// program selects the stand-in instead.
struct DrumSetsHeld {
    std::bitset<128> programs; // 0 to 127, as sent
    std::int32_t standIn = 0;
};

// One open output. Messages go out whole and at once, in the order given; destroying the
// connection closes it.
class MidiConnection {
public:
    virtual ~MidiConnection() = default;
    // False when the message could not be handed on: the far end has gone, or refused it.
    virtual bool send(MessageBytes message) = 0;
    // Silences every note on every channel. A device without a reset of its own is sent the
    // controllers that silence each channel.
    virtual void reset()
    {
        for (const auto& message : kSilenceAllChannels)
            send(message.bytes());
    }
    // A hint that a press may soon select this bank (0 to 127) and program (0 to 127), so that a
    // device that reads its sounds on demand can read them now. Sends nothing, and returns at
    // once; devices that have everything at hand ignore it.
    virtual void prepare(std::int32_t /*bank*/, std::int32_t /*program*/) { }
    // Which drum sets the device holds; nothing when it cannot tell, as for a port of another
    // program. Answered from what is at hand, at once.
    virtual std::optional<DrumSetsHeld> drumSetsHeld() const { return std::nullopt; }
};

class InputRoute;

// One way of reaching synthesisers: the built-in synth, the ALSA sequencer, a JACK server.
class MidiBackend {
public:
    virtual ~MidiBackend() = default;
    // Where the messages of the program's own input port on this system arrive, for the whole
    // run; nothing for a system without one.
    virtual InputRoute* input() { return nullptr; }
    // The ports this backend offers now, in the order a user should see them.
    virtual std::vector<MidiPort> ports() = 0;
    // Nothing when the port is gone or refuses to be opened.
    virtual std::unique_ptr<MidiConnection> open(const std::string& identity) = 0;
    // Messages its output left out for want of room, on every connection so far (see
    // OwedMessages); its input's own are counted by the input.
    virtual std::uint64_t leftOut() const { return 0; }
};

} // namespace tonalyx::midi
