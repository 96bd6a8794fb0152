// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_input.h"

#include "jack_output.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace tonalyx::midi {

void JackInput::process(std::uint32_t frames)
{
    auto* port = port_.load(std::memory_order_acquire);
    if (port == nullptr)
        return;
    // Read from the graph the server runs, in shared memory: no request to the server.
    const bool connected = jack_port_connected(port) > 0;
    void* buffer = jack_port_get_buffer(port, frames);
    const auto count = jack_midi_get_event_count(buffer);
    // What the program's own output plays into its input would come back out, for ever.
    const bool fedBack = fedBack_.load(std::memory_order_acquire);
    for (std::uint32_t i = 0; i < count && !fedBack; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0)
            continue;
        // One message per event, as JACK carries MIDI; the route passes on channel messages.
        const JackOutput::SentAtFrame at(event.time);
        route_->push({ event.buffer, event.size });
    }
    // Disconnected, or its client gone: no source is left to release what it holds.
    if (wasConnected_ && !connected)
        route_->pushSourcesGone();
    wasConnected_ = connected;
}

void JackInput::clientClosed()
{
    if (wasConnected_)
        route_->pushSourcesGone();
    wasConnected_ = false;
}

} // namespace tonalyx::midi
