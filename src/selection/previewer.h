// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "press_notes.h"
#include "selection_state.h"

#include <cstdint>

namespace tonalyx::midi {
class MidiOutPort;
}

namespace tonalyx::selection {

class HeldNotes;
class Readouts;

// Turns presses and releases of the program buttons, bank buttons and keyboard keys into MIDI
// messages, and keeps the selection they change. Each operation sends its messages first, back
// to back, and refreshes the readouts last.
//
// A release ends the very note its press started (see PressNotes), whatever changed in between
// (the key pressed last, the octave, the finder's row, the page). A release with no press of its
// own ends the note of the moment.
class Previewer {
public:
    using MouseButton = PressNotes::MouseButton;

    Previewer(midi::MidiOutPort& port, Readouts& readouts, HeldNotes& held);

    const SelectionState& state() const { return state_; }

    // Counts the selections made in the window (a program or bank button, a row of the finder)
    // and the device switches, so that whoever keeps a Bank Select for later can tell that the
    // user has chosen since.
    std::uint64_t windowSelections() const { return windowSelections_; }

    // Program buttons, with their program 0 to 127.
    void programMouseDown(std::int32_t program, MouseButton button);
    void programKeyDown(std::int32_t program);

    // Bank buttons, with their bank 0 to 127. Both ways of pressing send the same messages.
    void bankMouseDown(std::int32_t bank, MouseButton button);
    void bankKeyDown(std::int32_t bank);

    // Releases of a program or bank button. A key release also ends a key press that went
    // to another button (the focus moved while the key was down).
    void buttonMouseUp(MouseButton button);
    void buttonKeyUp();

    // Rows of the tone finder's list, each with its program (0 to 127) and bank. A row selects
    // both at once and sends them with the bank's LSB, as a bank button does. A key moves from
    // row to row while it is held, and each row sounds in turn: the row before ends first.
    void toneMouseDown(std::int32_t program, std::int32_t bank, MouseButton button);
    void toneKeyDown(std::int32_t program, std::int32_t bank);
    void toneMouseUp(MouseButton button);
    void toneKeyUp();

    // Keys of the on-screen keyboard, with their offset from middle C. They play the current
    // program and bank and leave the readouts alone; the key pressed last sets the pitch of
    // every preview.
    void keyMouseDown(std::int32_t offset, MouseButton button);
    void keyMouseUp(MouseButton button);

    // The pointer or the keyboard focus reached a program or bank button: the device is told
    // what its press would select (the current bank with that program, or that bank with the
    // current program), so that it can make ready. Nothing is sent and nothing changes.
    void programApproached(std::int32_t program);
    void bankApproached(std::int32_t bank);

    // The octave buttons set the shift; nothing sounds until the next preview.
    void setOctaveShift(std::int32_t shift);

    // A Program Change from the MIDI input, with the bank its Bank Select chose: the same bytes
    // as a press of the program button and then of the bank button, without their notes.
    void selectFromInput(std::int32_t program, std::int32_t bank);

    // Before the device is left (a switch, a close, the program's end): every note a press still
    // holds ends there, on the device that sounds it, and that press's own release later sends
    // nothing.
    void releaseHeld();

    // After a device switch the new device starts at program 0, bank 0. The readouts keep
    // showing the earlier selection until the next button press.
    void selectFirstProgramAndBank();

    // Shows the current program, bank and tone name.
    void refreshReadouts();

private:
    using PressNote = PressNotes::Press;

    void selectBank(std::int32_t bank, PressNote& press);
    void selectTone(std::int32_t program, std::int32_t bank, PressNote& press);
    void sendNoteOn(PressNote& press);
    void sendNoteOff(PressNote& press);
    // A note the MIDI input still holds sounds on; the input's own release ends it.
    void endNote(std::int32_t note);

    midi::MidiOutPort& port_;
    Readouts& readouts_;
    HeldNotes& held_;
    SelectionState state_;
    std::uint64_t windowSelections_ = 0;
    PressNotes presses_;
};

} // namespace tonalyx::selection
