// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_output.h"

#include "alsa_backend.h"
#include "midi/midi_vocabulary.h"
#include "sequencer_ports.h"

#include <cerrno>
#include <optional>

namespace tonalyx::midi {

namespace {

// Room for any short message; a longer system exclusive message makes room for itself.
constexpr std::size_t kEncoderBytes = 32;
constexpr unsigned int kMidiTypes
    = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
constexpr unsigned int kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

struct WritablePort {
    snd_seq_addr_t address;
    // "Client:Port 14:0": the port's address keeps two ports of the same names apart.
    std::string identity;
};

std::string identityOf(snd_seq_client_info_t* client, const snd_seq_port_info_t* port)
{
    return std::string(snd_seq_client_info_get_name(client)) + ":"
        + snd_seq_port_info_get_name(port) + " "
        + std::to_string(snd_seq_port_info_get_client(port)) + ":"
        + std::to_string(snd_seq_port_info_get_port(port));
}

// The order is the sequencer's. The system client's ports (the timer, the announcements) are
// never a device.
std::vector<WritablePort> writablePorts(snd_seq_t* seq)
{
    std::vector<WritablePort> found;
    forEachSequencerPort(seq, [&](snd_seq_client_info_t* client, snd_seq_port_info_t* port) {
        if (snd_seq_client_info_get_client(client) == SND_SEQ_CLIENT_SYSTEM
            || (snd_seq_port_info_get_type(port) & kMidiTypes) == 0
            || (snd_seq_port_info_get_capability(port) & kWritable) != kWritable)
            return;
        found.push_back({ *snd_seq_port_info_get_addr(port), identityOf(client, port) });
    });
    return found;
}

} // namespace

class AlsaOutput::Connection final : public MidiConnection {
public:
    Connection(AlsaOutput& output, snd_seq_addr_t target)
        : output_(output)
        , target_(target)
    { }
    ~Connection() override
    {
        // One more chance for what is owed; what still finds no room goes with the connection.
        output_.writeOwed();
        output_.owed_.discard();
        snd_seq_disconnect_to(
            output_.client_.seq, output_.client_.outPort, target_.client, target_.port);
        output_.connected_ = false;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool send(MessageBytes message) override { return output_.send(message); }

private:
    AlsaOutput& output_;
    snd_seq_addr_t target_;
};

AlsaOutput::AlsaOutput(AlsaClient::Opened client, const std::string& ownName)
    : client_(client)
    , ownPrefix_(ownName + ":")
    , encoder_(makeMidiEventCoder(kEncoderBytes))
    , encoderBytes_(kEncoderBytes)
{ }

std::vector<MidiPort> AlsaOutput::ports()
{
    std::vector<MidiPort> ports;
    for (auto& port : writablePorts(client_.seq)) {
        if (port.identity.starts_with(ownPrefix_))
            continue;
        auto name = std::string(withoutAlsaAddress(port.identity));
        ports.push_back({ std::move(port.identity), std::move(name) });
    }
    return ports;
}

std::unique_ptr<MidiConnection> AlsaOutput::open(const std::string& identity)
{
    if (connected_ || !encoder_)
        return nullptr;
    std::optional<snd_seq_addr_t> target;
    for (const auto& port : writablePorts(client_.seq)) {
        if (port.identity == identity) {
            target = port.address;
            break;
        }
    }
    if (!target)
        return nullptr;
    const snd_seq_addr_t sender { static_cast<unsigned char>(client_.client),
        static_cast<unsigned char>(client_.outPort) };
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &*target);
    // Stamped with real time, as the program's connections always were: `aconnect -l` shows it.
    snd_seq_port_subscribe_set_time_update(subscription, 1);
    snd_seq_port_subscribe_set_time_real(subscription, 1);
    if (snd_seq_subscribe_port(client_.seq, subscription) < 0)
        return nullptr;
    connected_ = true;
    owed_.startOver();
    return std::make_unique<Connection>(*this, *target);
}

// Whatever is owed first, then the message, or the message kept to follow it.
bool AlsaOutput::send(MessageBytes message)
{
    writeOwed();
    bool refused = false;
    const bool kept = owed_.send(message, [&](MessageBytes bytes) {
        const auto written = write(bytes);
        refused = written == Written::Refused;
        return written != Written::NoRoom;
    });
    return kept && !refused;
}

void AlsaOutput::writeOwed()
{
    // A message refused for good is not owed any longer.
    owed_.flush([this](MessageBytes message) { return write(message) != Written::NoRoom; });
}

// Each message as the events that carry its bytes, sent to whatever "out" is connected to.
AlsaOutput::Written AlsaOutput::write(MessageBytes message)
{
    // Each message stands alone: the encoder would complete one that begins with data bytes
    // with the status of the message before it.
    if (message.empty() || isDataByte(message.front()))
        return Written::Refused;
    // A system exclusive message goes whole, as one event, as far as it fits the sequencer.
    if (message.size() > encoderBytes_) {
        if (snd_midi_event_resize_buffer(encoder_.get(), message.size()) < 0)
            return Written::Refused;
        encoderBytes_ = message.size();
    }
    snd_midi_event_reset_encode(encoder_.get());
    std::size_t sent = 0;
    while (sent < message.size()) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, client_.outPort);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        const long read = snd_midi_event_encode(encoder_.get(), message.data() + sent,
            static_cast<long>(message.size() - sent), &event);
        // Bytes that end before their event does, or that no event carries, go nowhere.
        if (read <= 0 || event.type == SND_SEQ_EVENT_NONE)
            return Written::Refused;
        sent += static_cast<std::size_t>(read);
        // Written now or not at all: an event kept in alsa-lib's buffer would go out with a later
        // message, to whatever port is connected then. Each message the program sends is one
        // event, so a message without room is never written in part.
        const int result = snd_seq_event_output_direct(client_.seq, &event);
        if (result == -EAGAIN || result == -ENOMEM)
            return Written::NoRoom;
        if (result < 0)
            return Written::Refused;
    }
    return Written::Whole;
}

} // namespace tonalyx::midi
