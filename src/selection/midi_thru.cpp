// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_thru.h"

#include "held_notes.h"
#include "midi/midi_out_port.h"
#include "midi/midi_stream.h"
#include "previewer.h"

namespace tonalyx::selection {

MidiThru::MidiThru(midi::MidiOutPort& port, Previewer& previewer, HeldNotes& held)
    : port_(port)
    , previewer_(previewer)
    , held_(held)
{ }

void MidiThru::receive(const midi::ShortMessage& message)
{
    const auto read = midi::readChannelMessage(message.bytes());
    if (!read)
        return;
    const std::int32_t first = read->data1;
    const std::int32_t second = read->data2;
    if (bankSelectsSince_ != previewer_.windowSelections()) {
        bankSelects_.fill(std::nullopt);
        bankSelectsSince_ = previewer_.windowSelections();
    }
    if (read->channel == midi::kDrumChannel && playsDrums(read->kind, first, second)) {
        port_.send(message);
        return;
    }
    switch (read->kind) {
    case midi::kProgramChange:
        previewer_.selectFromInput(
            first, bankSelects_[read->channel].value_or(previewer_.state().currentBank));
        return;
    case midi::kControlChange:
        if (first == midi::kBankSelectMsbController) {
            bankSelects_[read->channel] = second;
            return;
        }
        if (first == midi::kBankSelectLsbController)
            return;
        if (first == midi::kSustainController)
            sustainHeld_ = second >= midi::kSwitchOn;
        break;
    case midi::kNoteOn:
        if (second > 0) {
            // One Note On per number on the wire: the one sounding is ended first.
            if (held_.sounding(first))
                port_.send(midi::noteOff(first));
            held_.inputStarted(first);
            break;
        }
        [[fallthrough]];
    case midi::kNoteOff:
        held_.inputEnded(first);
        // A preview still sounds this note; its own release will end it.
        if (held_.previewHolds(first))
            return;
        break;
    default:
        break;
    }
    pass(message);
}

bool MidiThru::playsDrums(std::uint8_t kind, std::int32_t note, std::int32_t velocity)
{
    switch (kind) {
    case midi::kNoteOn:
        drumNotes_.set(static_cast<std::size_t>(note), velocity > 0);
        return true;
    case midi::kNoteOff:
        drumNotes_.reset(static_cast<std::size_t>(note));
        return true;
    case midi::kPolyPressure:
        return true;
    default:
        return false;
    }
}

void MidiThru::pass(midi::ShortMessage message)
{
    message.data[0] = midi::kindOf(message.data[0]); // channel 1
    port_.send(message);
}

void MidiThru::releaseHeld()
{
    // A note a preview holds too ends here all the same: the preview's release will go to the
    // next device, and nothing would end it on this one.
    release(Previews::Leaving);
}

void MidiThru::sourcesGone()
{
    // The device stays: a note a preview holds too sounds on until the preview's own release.
    release(Previews::Staying);
}

void MidiThru::release(Previews previews)
{
    for (std::int32_t note = 0; note < HeldNotes::kNotes; ++note) {
        if (held_.inputHolds(note) && (previews == Previews::Leaving || !held_.previewHolds(note)))
            port_.send(midi::noteOff(note));
    }
    held_.inputReleasedAll();
    for (std::size_t note = 0; note < drumNotes_.size(); ++note) {
        if (drumNotes_.test(note))
            port_.send(midi::drumNoteOff(static_cast<std::int32_t>(note)));
    }
    drumNotes_.reset();
    if (sustainHeld_)
        port_.send(midi::sustainOff());
    sustainHeld_ = false;
}

} // namespace tonalyx::selection
