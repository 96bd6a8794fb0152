// Runs inside an emulated machine whose kernel has the ALSA sequencer and its "Midi Through"
// port (snd-seq-dummy): the service must list that port and deliver exactly what the program
// sends, which a reader on the port's other side receives. Prints one line per check and a
// closing "N passed, N failed"; exits non-zero on any failure.
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <rtmidi/RtMidi.h>
#include <string>
#include <thread>
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

// Everything the reader gets until it has `size` bytes or 10 s have passed.
Bytes readBytes(RtMidiIn& reader, std::size_t size)
{
    Bytes all;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<unsigned char> message;
    while (all.size() < size && std::chrono::steady_clock::now() < deadline) {
        reader.getMessage(&message);
        if (message.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        all.insert(all.end(), message.begin(), message.end());
    }
    return all;
}

} // namespace

int main()
{
    RtMidiIn reader(RtMidi::LINUX_ALSA, "tonalyx-reader");
    reader.ignoreTypes(false, true, true);
    int through = -1;
    for (unsigned int i = 0; i < reader.getPortCount(); ++i) {
        if (reader.getPortName(i).rfind("Midi Through:", 0) == 0)
            through = static_cast<int>(i);
    }
    check(through >= 0, "the reader finds Midi Through");
    if (through < 0)
        return 1;
    reader.openPort(static_cast<unsigned int>(through), "in");

    const auto devices = midi::makeSystemDeviceList();
    std::int32_t device = -1;
    for (std::int32_t i = 0; i < devices->count(); ++i) {
        const auto name = devices->name(i);
        std::printf("device %d: %s\n", i, name.c_str());
        if (name == "Midi Through:Midi Through Port-0")
            device = i;
        check(name.rfind("Tonalyx", 0) != 0, "no port of the program's own listed");
    }
    check(devices->name(0) == "Built-in GS Synth (FluidSynth)", "device 0 is the built-in synth");
    check(device > 0, "Midi Through listed without its client:port numbers");
    if (device <= 0)
        return 1;

    midi::MidiOutPort port(*devices);
    check(port.open(device), "Midi Through opens");
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
    check(devices->open(device) == nullptr, "a second open of the same port is refused");
    port.reset();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t controller : { 64, 120, 123 })
            expected.insert(expected.end(), { std::uint8_t(0xB0 + channel), controller, 0 });
    }
    port.close();
    port.send(midi::noteOn(62)); // nowhere: the port is closed
    // Any whole message reaches the port as it was given, not only the program's own.
    if (const auto connection = devices->open(device)) {
        for (const Bytes& bytes : { Bytes { 0xD0, 0x40 }, Bytes { 0xE0, 0x00, 0x40 } }) {
            check(connection->send(bytes), "message " + hex(bytes));
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
    }
    check(port.open(device), "opens again");
    port.send(midi::noteOn(64));
    expected.insert(expected.end(), { 0x90, 0x40, 0x7F });

    // The sequencer keeps order: bytes kept from the closed time would come before the marker.
    const auto received = readBytes(reader, expected.size());
    check(received == expected, "the reader got exactly what was sent, in order");
    if (received != expected)
        std::printf("expected %s\nreceived %s\n", hex(expected).c_str(), hex(received).c_str());
    port.close();

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
