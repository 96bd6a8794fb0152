// SPDX-License-Identifier: GPL-3.0-or-later
#include "previewer.h"

#include "catalogue/tone_catalogue.h"
#include "held_notes.h"
#include "midi/midi_out_port.h"
#include "readouts.h"

#include <charconv>
#include <utility>

namespace tonalyx::selection {

Previewer::Previewer(midi::MidiOutPort& port, Readouts& readouts, HeldNotes& held)
    : port_(port)
    , readouts_(readouts)
    , held_(held)
{ }

void Previewer::programMouseDown(std::int32_t program, MouseButton button)
{
    port_.send(midi::bankSelectMsb(state_.currentBank));
    port_.send(midi::programChange(program));
    sendNoteOn(presses_.mouse(button));
    state_.currentProgram = program;
    ++windowSelections_;
    refreshReadouts();
}

void Previewer::programKeyDown(std::int32_t program)
{
    // The keyboard repeats a held key; only its first press sounds.
    if (state_.keyHeld)
        return;
    port_.send(midi::programChange(program));
    sendNoteOn(presses_.key());
    state_.currentProgram = program;
    state_.keyHeld = true;
    ++windowSelections_;
    refreshReadouts();
}

void Previewer::bankMouseDown(std::int32_t bank, MouseButton button)
{
    selectBank(bank, presses_.mouse(button));
    refreshReadouts();
}

void Previewer::bankKeyDown(std::int32_t bank)
{
    if (state_.keyHeld)
        return;
    selectBank(bank, presses_.key());
    state_.keyHeld = true;
    refreshReadouts();
}

// A bank only takes effect with the next Program Change, so the current program is sent again.
void Previewer::selectBank(std::int32_t bank, PressNote& press)
{
    state_.currentBank = bank;
    port_.send(midi::bankSelectMsb(bank));
    port_.send(midi::bankSelectLsb());
    port_.send(midi::programChange(state_.currentProgram));
    sendNoteOn(press);
    ++windowSelections_;
}

void Previewer::buttonMouseUp(MouseButton button)
{
    sendNoteOff(presses_.mouse(button));
}

void Previewer::buttonKeyUp()
{
    sendNoteOff(presses_.key());
    state_.keyHeld = false;
}

void Previewer::toneMouseDown(std::int32_t program, std::int32_t bank, MouseButton button)
{
    selectTone(program, bank, presses_.mouse(button));
    refreshReadouts();
}

void Previewer::toneKeyDown(std::int32_t program, std::int32_t bank)
{
    // Unlike a button, a held key on the list moves on to the next row, and every row sounds;
    // ending the row before first leaves one note sounding, never a pile of them.
    if (state_.keyHeld)
        sendNoteOff(presses_.key());
    selectTone(program, bank, presses_.key());
    state_.keyHeld = true;
    refreshReadouts();
}

void Previewer::selectTone(std::int32_t program, std::int32_t bank, PressNote& press)
{
    state_.currentProgram = program;
    selectBank(bank, press);
}

void Previewer::toneMouseUp(MouseButton button)
{
    sendNoteOff(presses_.mouse(button));
}

void Previewer::toneKeyUp()
{
    sendNoteOff(presses_.key());
    state_.keyHeld = false;
}

void Previewer::keyMouseDown(std::int32_t offset, MouseButton button)
{
    port_.send(midi::bankSelectMsb(state_.currentBank));
    port_.send(midi::programChange(state_.currentProgram));
    state_.keyOffset = offset;
    sendNoteOn(presses_.mouse(button));
}

void Previewer::keyMouseUp(MouseButton button)
{
    sendNoteOff(presses_.mouse(button));
}

void Previewer::programApproached(std::int32_t program)
{
    port_.prepare(state_.currentBank, program);
}

void Previewer::bankApproached(std::int32_t bank)
{
    port_.prepare(bank, state_.currentProgram);
}

void Previewer::setOctaveShift(std::int32_t shift)
{
    state_.octaveShift = shift;
}

void Previewer::selectFromInput(std::int32_t program, std::int32_t bank)
{
    port_.send(midi::bankSelectMsb(state_.currentBank));
    port_.send(midi::programChange(program));
    state_.currentProgram = program;
    state_.currentBank = bank;
    port_.send(midi::bankSelectMsb(bank));
    port_.send(midi::bankSelectLsb());
    port_.send(midi::programChange(program));
    refreshReadouts();
}

void Previewer::selectFirstProgramAndBank()
{
    state_.currentProgram = 0;
    state_.currentBank = 0;
    ++windowSelections_;
}

void Previewer::sendNoteOn(PressNote& press)
{
    // Pressed again before its release: the note before is no longer held by this press.
    if (press.note)
        held_.previewEnded(*press.note);
    const auto note = previewNote(state_);
    held_.previewStarted(note);
    // The MIDI input's note of that number is ended first, so that the device never has two
    // Note Ons of one number from the two of them; the last to let go still ends it.
    if (held_.inputHolds(note))
        port_.send(midi::noteOff(note));
    port_.send(midi::noteOn(note));
    press = { note, false };
}

void Previewer::sendNoteOff(PressNote& press)
{
    const PressNote ending = std::exchange(press, {});
    // Its note was ended for it already, before the device was left.
    if (ending.endedEarly)
        return;
    // A release without a press of its own ends the note of the moment.
    const auto note = ending.note.value_or(previewNote(state_));
    if (ending.note)
        held_.previewEnded(note);
    endNote(note);
}

void Previewer::endNote(std::int32_t note)
{
    if (!held_.inputHolds(note))
        port_.send(midi::noteOff(note));
}

void Previewer::releaseHeld()
{
    presses_.endAll([this](std::int32_t note) {
        held_.previewEnded(note);
        endNote(note);
    });
}

void Previewer::refreshReadouts()
{
    char program[12];
    char bank[12];
    const auto shown = catalogue::shownProgramNumber(state_.currentProgram);
    const auto programEnd = std::to_chars(std::begin(program), std::end(program), shown).ptr;
    const auto bankEnd = std::to_chars(std::begin(bank), std::end(bank), state_.currentBank).ptr;
    readouts_.showSelection({ program, programEnd }, { bank, bankEnd },
        catalogue::toneName(state_.currentProgram, state_.currentBank));
}

} // namespace tonalyx::selection
