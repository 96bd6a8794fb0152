// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_thru.h"

#include "held_notes.h"
#include "midi/midi_out_port.h"
#include "previewer.h"

namespace tonalyx::selection {

namespace {
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kBankSelectMsb = 0;
constexpr std::uint8_t kBankSelectLsb = 32;
constexpr std::uint8_t kSustain = 64;
} // namespace

MidiThru::MidiThru(midi::MidiOutPort& port, Previewer& previewer, HeldNotes& held)
    : port_(port)
    , previewer_(previewer)
    , held_(held)
{ }

void MidiThru::receive(const midi::ShortMessage& message)
{
    if (message.size == 0)
        return;
    const auto kind = static_cast<std::uint8_t>(message.data[0] & 0xF0);
    const std::int32_t first = message.data[1];
    const std::int32_t second = message.data[2];
    switch (kind) {
    case kProgramChange:
        previewer_.selectFromInput(first, pendingBank_.value_or(previewer_.state().currentBank));
        pendingBank_.reset();
        return;
    case kControlChange:
        if (first == kBankSelectMsb) {
            pendingBank_ = second;
            return;
        }
        if (first == kBankSelectLsb)
            return;
        if (first == kSustain)
            sustainHeld_ = second >= 64;
        break;
    case kNoteOn:
        if (second > 0) {
            held_.inputStarted(first);
            break;
        }
        [[fallthrough]];
    case kNoteOff:
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

void MidiThru::pass(midi::ShortMessage message)
{
    message.data[0] &= 0xF0; // channel 1
    port_.send(message);
}

void MidiThru::releaseHeld()
{
    // A note a preview holds too ends here all the same: the preview's release will go to the
    // next device, and nothing would end it on this one.
    for (std::int32_t note = 0; note < HeldNotes::kNotes; ++note) {
        if (held_.inputHolds(note))
            port_.send(midi::noteOff(note));
    }
    held_.inputReleasedAll();
    if (sustainHeld_)
        port_.send(midi::sustainOff());
    sustainHeld_ = false;
}

} // namespace tonalyx::selection
