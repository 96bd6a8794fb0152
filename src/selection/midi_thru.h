// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "held_notes.h"
#include "midi/midi_messages.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

namespace tonalyx::midi {
class MidiOutPort;
}

namespace tonalyx::selection {

class Previewer;

// What a MIDI keyboard connected to the program's input does. Whatever channel it plays on, its
// notes, pressures, pitch bend and controllers sound on channel 1 of the current device, where the
// previews play, so they take the selected program and bank; except the notes and key pressures
// it plays on the drum channel, which stay there, as they came, and sound in the drum set the
// device has. Its Bank Select (controller 0) and Program Change select a tone as the buttons do.
// Runs one message at a time, with no other thread inside the selection or the device; it
// allocates nothing, for it runs on the input's own thread too.
//
// A Bank Select is kept per input channel, as a synthesiser keeps it, and a Program Change takes
// the one of its own channel, else the current bank: a drum part's bank on channel 10 never
// chooses the melody's tone. What the user selects in the window, and a device switch, clear
// every kept Bank Select, so the window's choice is never overridden by one sent minutes before.
class MidiThru {
public:
    MidiThru(midi::MidiOutPort& port, Previewer& previewer, HeldNotes& held);

    // One message from the input; only a whole channel message goes any further.
    void receive(const midi::ShortMessage& message);

    // Ends, on the device still open, every note and the sustain held from the input: before a
    // switch leaves the device and before the program closes. Sends nothing when nothing is held.
    void releaseHeld();
    // The last source connected to the input has gone, disconnected or ended: every note and
    // the sustain it held are released on the current device, as its own releases would have.
    void sourcesGone();

private:
    // Whether the previews stay on the device the release is sent to.
    enum class Previews { Leaving, Staying };
    void release(Previews previews);
    void pass(midi::ShortMessage message);
    // Whether a message of the drum channel plays a drum there, keeping which notes it holds.
    bool playsDrums(std::uint8_t kind, std::int32_t note, std::int32_t velocity);

    midi::MidiOutPort& port_;
    Previewer& previewer_;
    HeldNotes& held_;
    // Bank Select MSB per input channel, valid while the window's selections stay at the count
    // they had when it was kept.
    std::array<std::optional<std::int32_t>, midi::kChannels> bankSelects_ {};
    std::uint64_t bankSelectsSince_ = 0;
    bool sustainHeld_ = false;
    // The drum channel's notes the input holds, apart from the drum page's: a drum rings out
    // after its Note Off anyway, so a key both hold may well end at the first of their two.
    std::bitset<HeldNotes::kNotes> drumNotes_;
};

} // namespace tonalyx::selection
