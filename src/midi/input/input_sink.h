// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_messages.h"

namespace tonalyx::midi {

// Whoever plays what arrives at the program's input ports. Called on each input's own thread (a
// JACK process callback, a sequencer reader), one call at a time per input but from several
// inputs at once, so it must neither allocate nor wait for long.
class InputSink {
public:
    // One whole channel message: Note On and Off, pressures, controllers, Program Change,
    // pitch bend.
    virtual void receive(MessageBytes message) = 0;
    // The last source connected to an input has gone, after the messages it sent: nothing will
    // release what it holds.
    virtual void sourcesGone() = 0;

protected:
    ~InputSink() = default;
};

} // namespace tonalyx::midi
