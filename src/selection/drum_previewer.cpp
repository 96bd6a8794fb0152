// SPDX-License-Identifier: GPL-3.0-or-later
#include "drum_previewer.h"

#include "midi/midi_out_port.h"

#include <utility>

namespace tonalyx::selection {

namespace {
// What a set button plays to let the set be heard: the first kick, which every set has.
constexpr std::int32_t kSetPreviewNote = 36;
} // namespace

DrumPreviewer::DrumPreviewer(midi::MidiOutPort& port, Show show)
    : port_(port)
    , show_(std::move(show))
{ }

void DrumPreviewer::setMouseDown(std::int32_t program, MouseButton button)
{
    selectSet(program);
    startNote(kSetPreviewNote, presses_.mouse(button));
}

void DrumPreviewer::setKeyDown(std::int32_t program)
{
    // The keyboard repeats a held key; only its first press sounds.
    if (std::exchange(keyHeld_, true))
        return;
    selectSet(program);
    startNote(kSetPreviewNote, presses_.key());
}

void DrumPreviewer::soundMouseDown(std::int32_t note, MouseButton button)
{
    startNote(note, presses_.mouse(button));
}

void DrumPreviewer::soundKeyDown(std::int32_t note)
{
    if (std::exchange(keyHeld_, true))
        return;
    startNote(note, presses_.key());
}

void DrumPreviewer::keyMouseDown(std::int32_t note, MouseButton button)
{
    port_.send(midi::drumSetChange(selection_.set));
    startNote(note, presses_.mouse(button));
}

void DrumPreviewer::buttonMouseUp(MouseButton button)
{
    endNote(presses_.mouse(button));
}

void DrumPreviewer::buttonKeyUp()
{
    endNote(presses_.key());
    keyHeld_ = false;
}

void DrumPreviewer::releaseHeld()
{
    presses_.endAll([this](std::int32_t note) { port_.send(midi::drumNoteOff(note)); });
}

void DrumPreviewer::followReset()
{
    selection_ = {};
    show_(selection_);
}

void DrumPreviewer::selectSet(std::int32_t program)
{
    port_.send(midi::drumSetChange(program));
    selection_.set = program;
}

// Sends first, then shows: the page follows what the device was told.
void DrumPreviewer::startNote(std::int32_t note, PressNotes::Press& press)
{
    // Pressed again before its release came (the release was lost on the way): the note before
    // ends first, so that no Note On is left without its own Note Off.
    if (press.note)
        port_.send(midi::drumNoteOff(*press.note));
    port_.send(midi::drumNoteOn(note));
    press = { note, false };
    selection_.lastNote = note;
    show_(selection_);
}

void DrumPreviewer::endNote(PressNotes::Press& press)
{
    // A press whose note was ended early, before the device was left, has none left here.
    if (const auto ending = std::exchange(press, {}); ending.note)
        port_.send(midi::drumNoteOff(*ending.note));
}

} // namespace tonalyx::selection
