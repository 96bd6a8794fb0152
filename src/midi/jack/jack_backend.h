#pragma once

#include "midi/midi_backend.h"

#include <memory>
#include <string>

namespace tonalyx::midi {

// Every MIDI input port of the running JACK server, by its full name "client:port". Nothing when
// no server runs; a server is never started for it.
std::unique_ptr<MidiBackend> makeJackBackend(const std::string& clientName);

} // namespace tonalyx::midi
