#include "jack_backend.h"

#include "jack_server.h"
#include "midi/rtmidi/rtmidi_backend.h"

namespace tonalyx::midi {

std::unique_ptr<MidiBackend> makeJackBackend(const std::string& clientName)
{
    if (!jackServerRunning())
        return nullptr;
    std::shared_ptr<JackServerWatch> watch = JackServerWatch::start(clientName + " watch");
    if (!watch)
        return nullptr;
    return RtMidiBackend::connect({ RtMidi::UNIX_JACK, clientName,
        [](const std::string& name) { return name; }, [watch] { return watch->serverGone(); } });
}

} // namespace tonalyx::midi
