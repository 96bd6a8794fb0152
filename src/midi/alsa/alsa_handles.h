// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>
#include <memory>

// Owners of alsa-lib's objects.
namespace tonalyx::midi {

struct SequencerClose {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
struct MidiEventFree {
    void operator()(snd_midi_event_t* coder) const { snd_midi_event_free(coder); }
};

using Sequencer = std::unique_ptr<snd_seq_t, SequencerClose>;
// A coder between MIDI bytes and sequencer events, one way or the other.
using MidiEventCoder = std::unique_ptr<snd_midi_event_t, MidiEventFree>;

// A coder with room for `bytes`, or nothing when alsa-lib has no memory for it.
inline MidiEventCoder makeMidiEventCoder(std::size_t bytes)
{
    snd_midi_event_t* made = nullptr;
    if (snd_midi_event_new(bytes, &made) < 0)
        return nullptr;
    return MidiEventCoder(made);
}

} // namespace tonalyx::midi
