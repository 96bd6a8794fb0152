#include "alsa_backend.h"

#include "midi/rtmidi/rtmidi_backend.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tonalyx::midi {

namespace {

// The device that every ALSA sequencer client opens. Without it (a kernel without the sequencer)
// RtMidi would only print its failure to the terminal.
constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

bool isDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

std::unique_ptr<MidiBackend> makeAlsaBackend(const std::string& clientName)
{
    std::error_code error;
    if (!std::filesystem::exists(kAlsaSequencerDevice, error))
        return nullptr;
    return RtMidiBackend::connect({ RtMidi::LINUX_ALSA, clientName,
        [](const std::string& name) { return std::string(withoutAlsaAddress(name)); } });
}

std::string_view withoutAlsaAddress(std::string_view portName)
{
    const auto space = portName.rfind(' ');
    if (space == std::string_view::npos)
        return portName;
    const auto address = portName.substr(space + 1);
    const auto colon = address.find(':');
    if (colon == std::string_view::npos || !isDigits(address.substr(0, colon))
        || !isDigits(address.substr(colon + 1)))
        return portName;
    return portName.substr(0, space);
}

} // namespace tonalyx::midi
