// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device_list.h"
#include "midi_messages.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tonalyx::midi {

// The program's one MIDI output. Each operation goes straight to the device, without buffering
// or retry. Only the device count and whether an open worked are ever examined: a send, a
// reset or a close on a port that is closed or failed to open does nothing, silently.
class MidiOutPort {
public:
    explicit MidiOutPort(DeviceList& devices);

    std::int32_t deviceCount() { return devices_.count(); }
    std::string deviceName(std::int32_t device) { return devices_.name(device); }
    // Closes whatever was open, then opens the device; true when it opened.
    bool open(std::int32_t device);
    void close();
    // Silences every note on every channel of the open device.
    void reset();
    void send(const ShortMessage& message);
    void sendGsReset();
    // Tells the open device that a press may soon select this bank and program; sends nothing.
    void prepare(std::int32_t bank, std::int32_t program);
    // The drum sets the open device holds; nothing when none is open or it cannot tell.
    std::optional<DrumSetsHeld> drumSetsHeld() const;

private:
    void send(MessageBytes message);

    DeviceList& devices_;
    std::unique_ptr<MidiConnection> connection_;
};

} // namespace tonalyx::midi
