#include "port_client.h"

#include <algorithm>

namespace tonalyx::midi {

namespace {

// With a callback RtMidi neither prints nor throws after construction; every failure it could
// report shows in the results this class checks (the port list, isPortOpen).
void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) { }

} // namespace

PortClient::PortClient(std::unique_ptr<RtMidiOut> out, std::string clientName,
    std::unique_ptr<JackServerWatch> jackWatch)
    : out_(std::move(out))
    , clientName_(std::move(clientName))
    , jackWatch_(std::move(jackWatch))
{ }

std::unique_ptr<PortClient> PortClient::connect(RtMidi::Api api, const std::string& clientName)
{
    try {
        auto out = std::make_unique<RtMidiOut>(api, clientName);
        out->setErrorCallback(ignoreRtMidiError, nullptr);
        std::unique_ptr<JackServerWatch> jackWatch;
        if (api == RtMidi::UNIX_JACK) {
            jackWatch = JackServerWatch::start(clientName + " watch");
            if (!jackWatch)
                return nullptr;
        }
        return std::unique_ptr<PortClient>(
            new PortClient(std::move(out), clientName, std::move(jackWatch)));
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

std::vector<std::string> PortClient::portNames()
{
    std::vector<std::string> names;
    const auto ownPrefix = clientName_ + ":";
    const auto count = out_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        auto name = out_->getPortName(i);
        if (!name.empty() && !name.starts_with(ownPrefix))
            names.push_back(std::move(name));
    }
    return names;
}

bool PortClient::open(const std::string& portName)
{
    if (systemGone() || out_->isPortOpen())
        return false;
    const auto count = out_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        if (out_->getPortName(i) != portName)
            continue;
        out_->openPort(i, "out");
        // RtMidi's JACK output connects by number without saying whether it worked; if the list
        // moved meanwhile the number may now name another port, which must not get our bytes.
        if (out_->isPortOpen() && out_->getPortName(i) != portName)
            out_->closePort();
        return out_->isPortOpen();
    }
    return false;
}

void PortClient::close()
{
    if (out_->isPortOpen())
        out_->closePort();
}

bool PortClient::isOpen() const
{
    return !systemGone() && out_->isPortOpen();
}

void PortClient::send(MessageBytes message)
{
    if (isOpen())
        out_->sendMessage(message.data(), message.size());
}

bool PortClient::systemGone() const
{
    return jackWatch_ && jackWatch_->serverGone();
}

} // namespace tonalyx::midi
