// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/input_route.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace tonalyx::midi {

// The program's one ALSA sequencer client, named as the program, with two ports: "in" (port 0),
// which keyboards are connected to (`aconnect 'USB Keyboard':0 'Tonalyx':0`), and "out"
// (port 1), which the output connects to the device in use. A thread of its own opens the client
// and then reads "in", so that the thread that makes the client waits for the sequencer only as
// long as it chooses to; when the sequencer cannot be opened, there is no client.
//
// The reader hands each event's bytes on, on its own thread and without allocating, and takes no
// sequencer queue for time stamps it would not use.
class AlsaClient {
public:
    // What the output needs of the client once it is open. The handle stays valid until this
    // object's destructor begins; the reader uses it meanwhile for its own side only (reading
    // "in"), which alsa-lib keeps apart from the writing side.
    struct Opened {
        snd_seq_t* seq;
        int client;
        int outPort;
    };

    explicit AlsaClient(const std::string& name);
    // Tells the thread to end and waits a short while for it; a thread that has not ended by
    // then finishes on its own, with everything it uses, and closes the client there.
    ~AlsaClient();
    AlsaClient(const AlsaClient&) = delete;
    AlsaClient& operator=(const AlsaClient&) = delete;

    // The client with both its ports, waiting at most `wait` for the thread to have opened it;
    // nothing when it could not be opened, or not that soon.
    std::optional<Opened> waitUntilOpen(std::chrono::milliseconds wait);

    // Where the channel messages played into "in" go, on the reader's thread.
    InputRoute& route();

private:
    struct Reader;
    std::shared_ptr<Reader> reader_;
    std::thread thread_;
};

} // namespace tonalyx::midi
