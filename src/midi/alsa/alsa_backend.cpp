// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_backend.h"

#include "alsa_client.h"
#include "alsa_output.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tonalyx::midi {

namespace {

// The device that every ALSA sequencer client opens. Without it (a kernel without the sequencer)
// there is no client to wait for.
constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";
// How long the thread that makes the backend waits for the client, which opens in a moment on a
// sequencer that works.
constexpr std::chrono::milliseconds kOpenWait { 500 };

bool isDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// The program's one client: its input "in" read by the client's thread, its output "out".
class AlsaBackend final : public MidiBackend {
public:
    AlsaBackend(std::unique_ptr<AlsaClient> client, AlsaClient::Opened opened,
        const std::string& clientName)
        : client_(std::move(client))
        , output_(opened, clientName)
    { }

    InputRoute* input() override { return &client_->route(); }
    std::vector<MidiPort> ports() override { return output_.ports(); }
    std::uint64_t leftOut() const override { return output_.leftOut(); }
    std::unique_ptr<MidiConnection> open(const std::string& identity) override
    {
        return output_.open(identity);
    }

private:
    // The output goes first: the client stays open until it has.
    std::unique_ptr<AlsaClient> client_;
    AlsaOutput output_;
};

} // namespace

std::unique_ptr<MidiBackend> makeAlsaBackend(const std::string& clientName)
{
    std::error_code error;
    if (!std::filesystem::exists(kAlsaSequencerDevice, error))
        return nullptr;
    auto client = std::make_unique<AlsaClient>(clientName);
    const auto opened = client->waitUntilOpen(kOpenWait);
    if (!opened)
        return nullptr;
    return std::make_unique<AlsaBackend>(std::move(client), *opened, clientName);
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
