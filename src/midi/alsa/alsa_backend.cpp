// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_backend.h"

#include "alsa_input.h"
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

// The output through RtMidi, one port open at a time, and the program's input port beside it.
// Both are clients named as the program, so the output leaves out the input's port with its own.
class AlsaBackend final : public MidiBackend {
public:
    AlsaBackend(std::unique_ptr<RtMidiBackend> output, const std::string& clientName)
        : output_(std::move(output))
        , input_(clientName)
    { }

    InputQueue* input() override { return &input_.queue(); }
    std::vector<MidiPort> ports() override { return output_->ports(); }
    std::unique_ptr<MidiConnection> open(const std::string& identity) override
    {
        return output_->open(identity);
    }

private:
    std::unique_ptr<RtMidiBackend> output_;
    AlsaInput input_;
};

} // namespace

std::unique_ptr<MidiBackend> makeAlsaBackend(const std::string& clientName)
{
    std::error_code error;
    if (!std::filesystem::exists(kAlsaSequencerDevice, error))
        return nullptr;
    auto output = RtMidiBackend::connect({ RtMidi::LINUX_ALSA, clientName,
        [](const std::string& name) { return std::string(withoutAlsaAddress(name)); } });
    if (!output)
        return nullptr;
    return std::make_unique<AlsaBackend>(std::move(output), clientName);
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
