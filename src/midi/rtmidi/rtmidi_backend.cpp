// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtmidi_backend.h"

namespace tonalyx::midi {

namespace {

// With a callback RtMidi neither prints nor throws after construction; every failure it could
// report shows in the results this class checks (the port list, isPortOpen).
void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) { }

} // namespace

class RtMidiBackend::Connection final : public MidiConnection {
public:
    explicit Connection(RtMidiBackend& backend)
        : backend_(backend)
    { }
    ~Connection() override
    {
        if (backend_.out_->isPortOpen())
            backend_.out_->closePort();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Never sent once the port is not open: RtMidi may keep the bytes and deliver them on the
    // next open, to whatever port that is.
    bool send(MessageBytes message) override
    {
        if (!backend_.out_->isPortOpen())
            return false;
        backend_.out_->sendMessage(message.data(), message.size());
        return true;
    }

private:
    RtMidiBackend& backend_;
};

RtMidiBackend::RtMidiBackend(std::unique_ptr<RtMidiOut> out, Options options)
    : out_(std::move(out))
    , options_(std::move(options))
{ }

std::unique_ptr<RtMidiBackend> RtMidiBackend::connect(Options options)
{
    try {
        auto out = std::make_unique<RtMidiOut>(options.api, options.clientName);
        out->setErrorCallback(ignoreRtMidiError, nullptr);
        return std::unique_ptr<RtMidiBackend>(
            new RtMidiBackend(std::move(out), std::move(options)));
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

std::vector<MidiPort> RtMidiBackend::ports()
{
    std::vector<MidiPort> ports;
    const auto ownPrefix = options_.clientName + ":";
    const auto count = out_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        auto name = out_->getPortName(i);
        if (name.empty() || name.starts_with(ownPrefix))
            continue;
        auto shown = options_.shownName(name);
        ports.push_back({ std::move(name), std::move(shown) });
    }
    return ports;
}

std::unique_ptr<MidiConnection> RtMidiBackend::open(const std::string& identity)
{
    if (out_->isPortOpen())
        return nullptr;
    const auto count = out_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        if (out_->getPortName(i) != identity)
            continue;
        out_->openPort(i, "out");
        // RtMidi connects by number; if the list moved meanwhile the number may now name another
        // port, which must not get our bytes.
        if (out_->isPortOpen() && out_->getPortName(i) != identity)
            out_->closePort();
        if (!out_->isPortOpen())
            return nullptr;
        return std::make_unique<Connection>(*this);
    }
    return nullptr;
}

} // namespace tonalyx::midi
