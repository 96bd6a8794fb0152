// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/input_queue.h"

#include <memory>
#include <string>
#include <thread>

namespace tonalyx::midi {

// The program's ALSA sequencer input: a client of its own, named as the program, with one
// writable port "in" that keyboards are connected to (`aconnect`), and a thread that reads it.
// The thread opens the client itself, so nothing here waits on the sequencer on the thread that
// makes the input; when the sequencer cannot be opened, the input stays silent.
//
// Written on alsa-lib rather than RtMidi's input: the reader copies each event's bytes into the
// queue without allocating (RtMidi's builds a vector per message), takes no sequencer queue for
// time stamps it would not use, and ends when it is told to, however long the open takes.
class AlsaInput {
public:
    explicit AlsaInput(const std::string& clientName);
    // Tells the thread to end and waits a short while for it; a thread that has not ended by
    // then finishes on its own, with everything it uses.
    ~AlsaInput();
    AlsaInput(const AlsaInput&) = delete;
    AlsaInput& operator=(const AlsaInput&) = delete;

    // Where the port's channel messages arrive; the GUI thread drains it.
    InputQueue& queue();

    // Whether the port exists now (for tests: the thread makes it soon after the start).
    bool listening() const;

private:
    struct Reader;
    std::shared_ptr<Reader> reader_;
    std::thread thread_;
};

} // namespace tonalyx::midi
