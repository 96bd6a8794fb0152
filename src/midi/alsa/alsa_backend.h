// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midi_backend.h"

#include <memory>
#include <string>
#include <string_view>

namespace tonalyx::midi {

// Every writable port of the ALSA sequencer: hardware MIDI interfaces, "Midi Through", software
// synthesisers; and the program's own input port "in", which keyboards are connected to, beside
// its output port "out", both of one client named `clientName`. Nothing on a machine whose
// kernel has no sequencer, or whose sequencer does not open within half a second.
std::unique_ptr<MidiBackend> makeAlsaBackend(const std::string& clientName);

// An ALSA sequencer port's identity, "Client:Port 14:0", without the client and port numbers,
// which change from run to run and mean nothing to a user.
std::string_view withoutAlsaAddress(std::string_view portName);

} // namespace tonalyx::midi
