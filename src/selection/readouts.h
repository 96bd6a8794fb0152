// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_backend.h"

#include <optional>
#include <string_view>

namespace tonalyx::selection {

// The read-only fields that show what is selected and where it sounds. Everything that shows
// the selection or the device goes through here.
class Readouts {
public:
    virtual ~Readouts() = default;
    // Program number, bank number and tone name, always set together and in that order.
    virtual void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName)
        = 0;
    // The device's name as the system gives it: bytes that need not be clean text.
    virtual void showDeviceName(std::string_view name) = 0;
    // The drum sets the device holds, or nothing when it cannot tell; readouts without a drum
    // page ignore them.
    virtual void showDrumSetsHeld(const std::optional<midi::DrumSetsHeld>& /*held*/) { }
};

} // namespace tonalyx::selection
