// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

namespace tonalyx::selection {

// Which notes of channel 1 are held, by the previews and by the MIDI input, so that neither ends a
// note the other still holds: the device hears one note per number, whoever started it. A note
// one of them starts while the other holds it is ended first, so that the wire never has two of
// their Note Ons of one number outstanding; a synthesiser that stacks a voice per Note On would
// keep the extra one sounding.
class HeldNotes {
public:
    static constexpr int kNotes = 128;

    // Several previews may hold notes at once, the same note too: a key held on a focused button
    // while a mouse button holds a key of the on-screen keyboard, say.
    void previewStarted(std::int32_t note)
    {
        if (inRange(note))
            ++previews_[index(note)];
    }
    void previewEnded(std::int32_t note)
    {
        if (previewHolds(note))
            --previews_[index(note)];
    }
    bool previewHolds(std::int32_t note) const
    {
        return inRange(note) && previews_[index(note)] > 0;
    }

    // Held by anyone, and so sounding on the device.
    bool sounding(std::int32_t note) const { return previewHolds(note) || inputHolds(note); }

    void inputStarted(std::int32_t note) { set(note, true); }
    void inputEnded(std::int32_t note) { set(note, false); }
    bool inputHolds(std::int32_t note) const { return inRange(note) && input_.test(index(note)); }
    bool inputHoldsAny() const { return input_.any(); }
    void inputReleasedAll() { input_.reset(); }

private:
    static bool inRange(std::int32_t note) { return note >= 0 && note < kNotes; }
    static std::size_t index(std::int32_t note) { return static_cast<std::size_t>(note); }
    void set(std::int32_t note, bool held)
    {
        if (inRange(note))
            input_.set(index(note), held);
    }

    std::array<int, kNotes> previews_ {}; // how many previews hold each note
    std::bitset<kNotes> input_;
};

} // namespace tonalyx::selection
