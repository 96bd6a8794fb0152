// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside an emulated machine whose kernel has the ALSA sequencer and its "Midi Through"
// port (snd-seq-dummy): the program must be one client "Tonalyx" with the ports "in" (0) and
// "out" (1); the service must list the writable MIDI ports of other clients, in the sequencer's
// order, and deliver exactly what the program sends, which a reader on Midi Through's other side
// receives; and a keyboard connected by name to 'Tonalyx':0, as `aconnect` connects it, must
// play through the selection logic to Midi Through.
// Prints one line per check and a closing "N passed, N failed"; exits non-zero on any failure.
#include "midi/alsa/alsa_handles.h"
#include "midi/alsa/sequencer_ports.h"
#include "midi/input/input_queue.h"
#include "midi/input/input_route.h"
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"
#include "selection/held_notes.h"
#include "selection/midi_thru.h"
#include "selection/previewer.h"
#include "selection/readouts.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <numeric>
#include <poll.h>
#include <string>
#include <vector>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    ++(ok ? passed : failed);
}

std::string hex(const Bytes& bytes)
{
    std::string text;
    char byte[4];
    for (const auto value : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", value);
        text += byte;
    }
    return text;
}

Bytes joined(const std::vector<Bytes>& events)
{
    return std::accumulate(events.begin(), events.end(), Bytes {}, [](Bytes all, const Bytes& b) {
        all.insert(all.end(), b.begin(), b.end());
        return all;
    });
}

// A client of the check's own on alsa-lib, as another program on the machine would be.
class Peer {
public:
    explicit Peer(const char* name)
    {
        snd_seq_t* opened = nullptr;
        if (snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) == 0)
            seq_.reset(opened);
        if (seq_)
            snd_seq_set_client_name(seq_.get(), name);
        if (coder_)
            snd_midi_event_no_status(coder_.get(), 1);
    }
    snd_seq_t* seq() const { return seq_.get(); }
    int addPort(const char* name, unsigned int caps, unsigned int type)
    {
        return seq_ ? snd_seq_create_simple_port(seq_.get(), name, caps, type) : -1;
    }
    // Connects as `aconnect` does, naming the other port "client:port" by name or number.
    bool connectTo(int port, const char* other)
    {
        snd_seq_addr_t address {};
        return seq_ && snd_seq_parse_address(seq_.get(), &address, other) == 0
            && snd_seq_connect_to(seq_.get(), port, address.client, address.port) == 0;
    }
    bool disconnectTo(int port, const char* other)
    {
        snd_seq_addr_t address {};
        return seq_ && snd_seq_parse_address(seq_.get(), &address, other) == 0
            && snd_seq_disconnect_to(seq_.get(), port, address.client, address.port) == 0;
    }
    // As a patchbay does, between ports of other clients.
    bool connectPorts(const char* from, const char* to)
    {
        return onSubscription(from, to, snd_seq_subscribe_port);
    }
    bool portsConnected(const char* from, const char* to)
    {
        return onSubscription(from, to, snd_seq_get_port_subscription);
    }
    bool connectFrom(int port, const char* other)
    {
        snd_seq_addr_t address {};
        return seq_ && snd_seq_parse_address(seq_.get(), &address, other) == 0
            && snd_seq_connect_from(seq_.get(), port, address.client, address.port) == 0;
    }
    void send(int port, const Bytes& message)
    {
        snd_midi_event_reset_encode(coder_.get());
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        if (snd_midi_event_encode(coder_.get(), message.data(), long(message.size()), &event) > 0
            && event.type != SND_SEQ_EVENT_NONE)
            snd_seq_event_output_direct(seq_.get(), &event);
    }
    // The bytes of each event that arrives until there are `size` bytes, or 10 s have passed.
    std::vector<Bytes> read(std::size_t size)
    {
        std::vector<Bytes> events;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::array<pollfd, 4> watched {};
        const int count = snd_seq_poll_descriptors(seq_.get(), watched.data(), 4, POLLIN);
        while (joined(events).size() < size && std::chrono::steady_clock::now() < deadline) {
            ::poll(watched.data(), nfds_t(count), 100);
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(seq_.get(), &event) >= 0 && event != nullptr) {
                Bytes bytes(1024);
                const long got = snd_midi_event_decode(coder_.get(), bytes.data(), 1024, event);
                if (got > 0)
                    events.emplace_back(bytes.begin(), bytes.begin() + got);
            }
        }
        return events;
    }

private:
    // `call` on the subscription from `from` to `to`, each "client:port"; whether it succeeded.
    bool onSubscription(
        const char* from, const char* to, int (*call)(snd_seq_t*, snd_seq_port_subscribe_t*))
    {
        snd_seq_addr_t sender {};
        snd_seq_addr_t dest {};
        snd_seq_port_subscribe_t* subscription = nullptr;
        snd_seq_port_subscribe_alloca(&subscription);
        if (!seq_ || snd_seq_parse_address(seq_.get(), &sender, from) != 0
            || snd_seq_parse_address(seq_.get(), &dest, to) != 0)
            return false;
        snd_seq_port_subscribe_set_sender(subscription, &sender);
        snd_seq_port_subscribe_set_dest(subscription, &dest);
        return call(seq_.get(), subscription) == 0;
    }

    midi::Sequencer seq_;
    midi::MidiEventCoder coder_ = midi::makeMidiEventCoder(1024);
};

// "0:in 1:out": the ports of every client named `name`, one entry per client.
std::vector<std::string> portsOfClientsNamed(snd_seq_t* seq, const std::string& name)
{
    // A client without ports counts too.
    std::map<int, std::string> clients;
    snd_seq_client_info_t* client = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        if (snd_seq_client_info_get_name(client) == name)
            clients[snd_seq_client_info_get_client(client)];
    }
    midi::forEachSequencerPort(seq, [&](snd_seq_client_info_t* owner, snd_seq_port_info_t* port) {
        if (snd_seq_client_info_get_name(owner) != name)
            return;
        auto& ports = clients[snd_seq_client_info_get_client(owner)];
        ports += (ports.empty() ? "" : " ") + std::to_string(snd_seq_port_info_get_port(port)) + ":"
            + snd_seq_port_info_get_name(port);
    });
    std::vector<std::string> named;
    for (const auto& [number, ports] : clients)
        named.push_back(ports);
    return named;
}

// Ports of every kind another program may offer, and whether the program lists them as devices:
// those that can be written to and connected to, and that say they take MIDI.
struct OfferedPort {
    const char* name;
    unsigned int caps;
    unsigned int type;
    bool listed;
};
constexpr unsigned int kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr std::array<OfferedPort, 7> kOffered { {
    { "generic", kWritable, SND_SEQ_PORT_TYPE_MIDI_GENERIC, true },
    { "synth", kWritable, SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_HARDWARE, true },
    { "application", kWritable, SND_SEQ_PORT_TYPE_APPLICATION, true },
    { "gm only", kWritable, SND_SEQ_PORT_TYPE_MIDI_GM, false },
    { "hardware only", kWritable, SND_SEQ_PORT_TYPE_HARDWARE, false },
    { "unconnectable", SND_SEQ_PORT_CAP_WRITE, SND_SEQ_PORT_TYPE_MIDI_GENERIC, false },
    { "read only", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC, false },
} };

// The tone name the selection logic shows.
struct ShownTone final : selection::Readouts {
    void showSelection(std::string_view, std::string_view, std::string_view toneName) override
    {
        tone = toneName;
    }
    void showDeviceName(std::string_view) override { }
    std::string tone;
};

// What reaches the input, kept for the test's thread to play.
struct KeptInput final : midi::InputSink {
    void receive(midi::MessageBytes message) override { queue.push(message); }
    void sourcesGone() override { queue.pushSourcesGone(); }
    midi::InputQueue queue;
};

// Plays what reaches the input into `thru`, until `count` messages (the
// sources going away counting as one) have or `wait` has passed; the number played.
std::size_t playInto(midi::InputQueue& queue, selection::MidiThru& thru, std::size_t count,
    std::chrono::milliseconds wait = std::chrono::seconds(10))
{
    std::size_t played = 0;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (played < count && std::chrono::steady_clock::now() < deadline) {
        pollfd woken { queue.wakeDescriptor(), POLLIN, 0 };
        if (::poll(&woken, 1, 100) != 1)
            continue;
        queue.drain(
            [&](const midi::ShortMessage& message) {
                thru.receive(message);
                ++played;
            },
            [&] {
                thru.sourcesGone();
                ++played;
            });
    }
    return played;
}

} // namespace

int main()
{
    // Made before the program, so that their clients come first in the sequencer's order.
    Peer offering("tonalyx-offers");
    std::vector<std::string> expectedDevices { "Midi Through:Midi Through Port-0" };
    for (const auto& offered : kOffered) {
        offering.addPort(offered.name, offered.caps, offered.type);
        if (offered.listed)
            expectedDevices.push_back(std::string("tonalyx-offers:") + offered.name);
    }
    Peer reader("tonalyx-reader");
    const int readerIn = reader.addPort("in", kWritable, SND_SEQ_PORT_TYPE_APPLICATION);
    check(reader.connectFrom(readerIn, "Midi Through:0"), "the reader listens to Midi Through");
    expectedDevices.push_back("tonalyx-reader:in");

    const auto devices = midi::makeSystemDeviceList();
    check(devices->inputs().size() == 1, "the ALSA backend offers one input");
    const auto clients = portsOfClientsNamed(reader.seq(), "Tonalyx");
    const bool oneClient = clients == std::vector<std::string> { "0:in 1:out" };
    check(oneClient, "one client Tonalyx, with the ports 0 'in' and 1 'out'");
    for (const auto& ports : oneClient ? std::vector<std::string> {} : clients)
        std::printf("received client Tonalyx: %s\n", ports.c_str());
    // The program's own ports are left out, and every other port it can play is listed.
    std::vector<std::string> listed;
    for (std::int32_t i = 1; i < devices->count(); ++i)
        listed.push_back(devices->name(i));
    for (const auto& name : listed)
        std::printf("device: %s\n", name.c_str());
    check(devices->name(0) == "Built-in GS Synth (FluidSynth)", "device 0 is the built-in synth");
    check(listed == expectedDevices,
        "the writable MIDI ports of other clients, in order, without their numbers");
    // Midi Through, client 14, comes before every client of a program.
    constexpr std::int32_t through = 1;
    if (listed.empty() || listed.front() != expectedDevices.front())
        return 1;

    midi::MidiOutPort port(*devices);
    check(port.open(through), "Midi Through opens");
    Bytes expected(midi::GsResetMessage.begin(), midi::GsResetMessage.end());
    port.sendGsReset();
    const std::vector<std::pair<midi::ShortMessage, Bytes>> shorts {
        { midi::bankSelectMsb(8), { 0xB0, 0x00, 0x08 } },
        { midi::bankSelectLsb(), { 0xB0, 0x20, 0x00 } },
        { midi::programChange(4), { 0xC0, 0x04 } },
        { midi::noteOn(60), { 0x90, 0x3C, 0x7F } },
        { midi::noteOff(60), { 0x90, 0x3C, 0x00 } },
    };
    for (const auto& [message, bytes] : shorts) {
        port.send(message);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    // One open at a time, as the program has one output.
    check(devices->open(through) == nullptr, "a second open of the same port is refused");
    port.reset();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t controller : { 64, 120, 123 })
            expected.insert(expected.end(), { std::uint8_t(0xB0 + channel), controller, 0 });
    }
    port.close();
    port.send(midi::noteOn(62)); // nowhere: the port is closed
    // Any whole message reaches the port as it was given, not only the program's own; a system
    // exclusive message longer than the encoder's first buffer as one event. Data bytes without
    // their status byte go nowhere, rather than take the status of the message before them.
    Bytes longSysex(300, 0x11);
    longSysex.front() = 0xF0;
    longSysex.back() = 0xF7;
    const std::vector<std::pair<Bytes, bool>> given {
        { { 0xD0, 0x40 }, true },
        { { 0xE0, 0x00, 0x40 }, true },
        { { 0x3C, 0x7F }, false },
        { longSysex, true },
    };
    if (const auto connection = devices->open(through)) {
        for (const auto& [bytes, whole] : given) {
            check(connection->send(bytes) == whole,
                "message " + hex(Bytes(bytes.begin(), bytes.begin() + 2))
                    + (whole ? "sent" : "refused"));
            if (whole)
                expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
    }
    check(port.open(through), "opens again");
    port.send(midi::noteOn(64));
    expected.insert(expected.end(), { 0x90, 0x40, 0x7F });

    // The sequencer keeps order: bytes kept from the closed time would come before the marker.
    const auto events = reader.read(expected.size());
    const auto received = joined(events);
    check(received == expected, "the reader got exactly what was sent, in order");
    if (received != expected)
        std::printf("expected %s\nreceived %s\n", hex(expected).c_str(), hex(received).c_str());
    check(std::all_of(events.begin(), events.end(),
              [](const Bytes& event) { return event.front() != 0xF0 || event.back() == 0xF7; }),
        "each system exclusive message arrives as one event");
    port.close();
    if (devices->inputs().size() != 1)
        return 1;

    // A keyboard connected by name to the program's input plays on Midi Through, channel 1,
    // through the selection logic as the GUI thread runs it.
    KeptInput kept;
    devices->inputs().front()->listen(kept);
    auto& queue = kept.queue;
    ShownTone shown;
    selection::HeldNotes held;
    selection::Previewer previewer(port, shown, held);
    selection::MidiThru thru(port, previewer, held);
    check(port.open(through), "Midi Through opens for the keyboard");
    Peer keyboard("tonalyx-keyboard");
    const int keyboardOut = keyboard.addPort(
        "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, SND_SEQ_PORT_TYPE_APPLICATION);
    check(keyboard.connectTo(keyboardOut, "Tonalyx:0"), "a keyboard connects to 'Tonalyx':0");
    const std::vector<std::pair<Bytes, Bytes>> played {
        { { 0x93, 60, 33 }, { 0x90, 60, 33 } },
        { { 0x83, 60, 64 }, { 0x80, 60, 64 } },
        { { 0xA5, 61, 10 }, { 0xA0, 61, 10 } },
        { { 0xD5, 20 }, { 0xD0, 20 } },
        { { 0xE5, 0, 80 }, { 0xE0, 0, 80 } },
        { { 0xB5, 7, 100 }, { 0xB0, 7, 100 } },
        { { 0xB2, 0, 8 }, {} },
        { { 0xC2, 4 }, { 0xB0, 0, 0, 0xC0, 4, 0xB0, 0, 8, 0xB0, 32, 0, 0xC0, 4 } },
        { { 0x9F, 64, 90 }, { 0x90, 64, 90 } },
        { { 0xB0, 64, 127 }, { 0xB0, 64, 127 } },
    };
    Bytes heard;
    for (const auto& [message, arrives] : played) {
        keyboard.send(keyboardOut, message);
        heard.insert(heard.end(), arrives.begin(), arrives.end());
    }
    check(playInto(queue, thru, played.size()) == played.size(),
        "every message reaches the program's input");
    check(shown.tone == "Detuned EP 1",
        "Bank Select and Program Change show the tone: " + shown.tone);
    // Before a switch or the close, what the keyboard holds ends on the device being left.
    thru.releaseHeld();
    heard.insert(heard.end(), { 0x90, 64, 0, 0xB0, 64, 0 });
    port.close();
    const auto onThrough = joined(reader.read(heard.size()));
    check(onThrough == heard, "the keyboard's messages reach Midi Through on channel 1, and end");
    if (onThrough != heard)
        std::printf("expected %s\nreceived %s\n", hex(heard).c_str(), hex(onThrough).c_str());

    // The keyboard disconnected while a key and the pedal are held: they are released on the
    // device still open.
    check(port.open(through), "Midi Through opens again for the keyboard");
    keyboard.send(keyboardOut, { 0x90, 62, 50 });
    keyboard.send(keyboardOut, { 0xB0, 64, 127 });
    check(keyboard.disconnectTo(keyboardOut, "Tonalyx:0"), "the keyboard disconnects");
    check(playInto(queue, thru, 3) == 3, "the keyboard's last messages and its going away arrive");
    const Bytes released { 0x90, 62, 50, 0xB0, 64, 127, 0x90, 62, 0, 0xB0, 64, 0 };
    const auto releasedOnThrough = joined(reader.read(released.size()));
    check(releasedOnThrough == released, "what the keyboard held is released when it goes");
    if (releasedOnThrough != released)
        std::printf(
            "expected %s\nreceived %s\n", hex(released).c_str(), hex(releasedOnThrough).c_str());

    // The program's own output connected to its input is undone, and a note sent goes out once.
    check(keyboard.connectPorts("Tonalyx:1", "Tonalyx:0"), "a patchbay connects out to in");
    const auto undoneBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (keyboard.portsConnected("Tonalyx:1", "Tonalyx:0")
        && std::chrono::steady_clock::now() < undoneBy)
        ::poll(nullptr, 0, 10);
    check(!keyboard.portsConnected("Tonalyx:1", "Tonalyx:0"), "the program undoes out to in");
    port.send(midi::noteOn(65));
    port.send(midi::noteOff(65));
    const Bytes once { 0x90, 65, 127, 0x90, 65, 0 };
    check(playInto(queue, thru, 1, std::chrono::milliseconds(500)) == 0,
        "nothing comes back into the input");
    const auto sentOnce = joined(reader.read(once.size()));
    check(sentOnce == once, "the note goes out once");
    if (sentOnce != once)
        std::printf("expected %s\nreceived %s\n", hex(once).c_str(), hex(sentOnce).c_str());
    port.close();
    devices->inputs().front()->stopListening();

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
