#include "port_client.h"

#include <algorithm>

namespace tonalyx::midi {

namespace {

// With a callback RtMidi neither prints nor throws after construction; every failure it could
// report shows in the results this class checks (the port list, isPortOpen).
void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) { }

} // namespace

PortClient::PortClient(std::unique_ptr<RtMidiOut> out, std::string clientName)
    : out_(std::move(out))
    , clientName_(std::move(clientName))
{ }

std::unique_ptr<PortClient> PortClient::connect(RtMidi::Api api, const std::string& clientName)
{
    try {
        auto out = std::make_unique<RtMidiOut>(api, clientName);
        out->setErrorCallback(ignoreRtMidiError, nullptr);
        return std::unique_ptr<PortClient>(new PortClient(std::move(out), clientName));
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
    if (out_->isPortOpen())
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
    return out_->isPortOpen();
}

void PortClient::send(MessageBytes message)
{
    if (out_->isPortOpen())
        out_->sendMessage(message.data(), message.size());
}

} // namespace tonalyx::midi
