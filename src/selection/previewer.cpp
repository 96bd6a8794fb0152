#include "previewer.h"

#include "catalogue/tone_catalogue.h"
#include "midi/midi_out_port.h"
#include "readouts.h"

#include <charconv>

namespace tonalyx::selection {

Previewer::Previewer(midi::MidiOutPort& port, Readouts& readouts)
    : port_(port)
    , readouts_(readouts)
{ }

void Previewer::programMouseDown(std::int32_t program)
{
    port_.send(midi::bankSelectMsb(state_.currentBank));
    port_.send(midi::programChange(program));
    sendNoteOn();
    state_.currentProgram = program;
    refreshReadouts();
}

void Previewer::programKeyDown(std::int32_t program)
{
    // The keyboard repeats a held key; only its first press sounds.
    if (state_.keyHeld)
        return;
    port_.send(midi::programChange(program));
    sendNoteOn();
    state_.currentProgram = program;
    state_.keyHeld = true;
    refreshReadouts();
}

void Previewer::bankMouseDown(std::int32_t bank)
{
    selectBank(bank);
    refreshReadouts();
}

void Previewer::bankKeyDown(std::int32_t bank)
{
    if (state_.keyHeld)
        return;
    selectBank(bank);
    state_.keyHeld = true;
    refreshReadouts();
}

// A bank only takes effect with the next Program Change, so the current program is sent again.
void Previewer::selectBank(std::int32_t bank)
{
    state_.currentBank = bank;
    port_.send(midi::bankSelectMsb(bank));
    port_.send(midi::bankSelectLsb());
    port_.send(midi::programChange(state_.currentProgram));
    sendNoteOn();
}

void Previewer::buttonMouseUp()
{
    sendNoteOff();
}

void Previewer::buttonKeyUp()
{
    sendNoteOff();
    state_.keyHeld = false;
}

void Previewer::keyMouseDown(std::int32_t offset)
{
    port_.send(midi::bankSelectMsb(state_.currentBank));
    port_.send(midi::programChange(state_.currentProgram));
    state_.keyOffset = offset;
    sendNoteOn();
}

void Previewer::keyMouseUp()
{
    sendNoteOff();
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

void Previewer::selectFirstProgramAndBank()
{
    state_.currentProgram = 0;
    state_.currentBank = 0;
}

void Previewer::sendNoteOn()
{
    port_.send(midi::noteOn(previewNote(state_)));
}

void Previewer::sendNoteOff()
{
    port_.send(midi::noteOff(previewNote(state_)));
}

void Previewer::refreshReadouts()
{
    char program[12];
    char bank[12];
    const auto programEnd
        = std::to_chars(std::begin(program), std::end(program), state_.currentProgram + 1).ptr;
    const auto bankEnd = std::to_chars(std::begin(bank), std::end(bank), state_.currentBank).ptr;
    readouts_.showSelection({ program, programEnd }, { bank, bankEnd },
        catalogue::toneName(state_.currentProgram, state_.currentBank));
}

} // namespace tonalyx::selection
