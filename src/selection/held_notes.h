// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>

namespace tonalyx::selection {

// Which notes of channel 1 are held, by a preview and by the MIDI input, so that neither ends a
// note the other still holds: the device hears one note per number, whoever started it.
class HeldNotes {
public:
    static constexpr int kNotes = 128;

    void previewStarted(std::int32_t note) { preview_ = note; }
    // A preview ends whatever note its release names; the note it started is no longer its own.
    void previewEnded() { preview_.reset(); }
    bool previewHolds(std::int32_t note) const { return preview_ == note; }

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

    std::optional<std::int32_t> preview_;
    std::bitset<kNotes> input_;
};

} // namespace tonalyx::selection
