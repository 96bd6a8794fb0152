// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "press_notes.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace tonalyx::midi {
class MidiOutPort;
}

namespace tonalyx::selection {

// What the drum page shows: the set selected (its program, 0 to 127 as sent) and the key that
// sounded last, none before the first.
struct DrumSelection {
    std::int32_t set = 0;
    std::optional<std::int32_t> lastNote;
};

// Turns presses and releases of the drum page's buttons into messages on the drum channel, with
// the same pairing of presses and releases as the Previewer (PressNotes), and keeps the set they
// select. It has a selection and held notes of its own, apart from channel 1's and from the MIDI
// input's drum notes (see MidiThru).
class DrumPreviewer {
public:
    using MouseButton = PressNotes::MouseButton;
    using Show = std::function<void(const DrumSelection&)>;

    // `show` is told every change of what the page shows.
    DrumPreviewer(midi::MidiOutPort& port, Show show);

    // Set buttons, with their program (0 to 127): the set is selected and its kick sounds while
    // the press is held.
    void setMouseDown(std::int32_t program, MouseButton button);
    void setKeyDown(std::int32_t program);
    // Sound buttons, with their key: it sounds in the selected set while the press is held.
    void soundMouseDown(std::int32_t note, MouseButton button);
    void soundKeyDown(std::int32_t note);
    // Keys of the on-screen keyboard while the page is shown, with the note they play: as on
    // channel 1, where a key tells the device the selected tone again, the selected set is sent
    // first; the key sounds in it while held, and the page shows it as the sound played last.
    void keyMouseDown(std::int32_t note, MouseButton button);
    // Whether a press of that mouse button came here and awaits its release, which must come here
    // too, even if the page was left meanwhile.
    bool awaitsRelease(MouseButton button) { return presses_.awaitsRelease(button); }
    // Likewise for the keyboard's one press.
    bool awaitsKeyRelease() const { return keyHeld_; }
    // A release of any button of the page ends its own press's note; one without a press of its
    // own ends nothing.
    void buttonMouseUp(MouseButton button);
    void buttonKeyUp();

    // Before the device is left (a switch, a close, the program's end): every note a press still
    // holds ends there, and that press's own release later sends nothing.
    void releaseHeld();
    // The device was reset (a switch, the GS button): its drum channel is back on the standard set.
    void followReset();

private:
    void selectSet(std::int32_t program);
    void startNote(std::int32_t note, PressNotes::Press& press);
    void endNote(PressNotes::Press& press);

    midi::MidiOutPort& port_;
    Show show_;
    DrumSelection selection_;
    PressNotes presses_;
    bool keyHeld_ = false;
};

} // namespace tonalyx::selection
