// Runs inside an emulated machine whose kernel has the ALSA sequencer and its "Midi Through"
// port (snd-seq-dummy): the service must list that port and deliver exactly what the program
// sends, which a reader on the port's other side receives. Prints one line per check and a
// closing "N passed, N failed"; exits non-zero on any failure.
#include "midi/system_midi_out_service.h"

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

std::string nameOf(midi::SystemMidiOutService& service, std::int32_t device)
{
    midi::MidiOutCaps caps;
    service.deviceCaps(device, caps);
    const auto& field = caps.productName;
    return { field.begin(), std::find(field.begin(), field.end(), '\0') };
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

    midi::SystemMidiOutService service;
    const auto count = static_cast<std::int32_t>(service.deviceCount());
    std::int32_t device = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        std::printf("device %d: %s\n", i, nameOf(service, i).c_str());
        if (nameOf(service, i) == "Midi Through:Midi Through Port-0")
            device = i;
        check(nameOf(service, i).rfind("Tonalyx", 0) != 0, "no port of the program's own listed");
    }
    check(nameOf(service, 0) == "Built-in GS Synth (FluidSynth)", "device 0 is the built-in synth");
    check(device > 0, "Midi Through listed without its client:port numbers");
    if (device <= 0)
        return 1;

    midi::MidiOutHandle handle = 0;
    check(service.open(handle, device) == midi::kMidiOk, "Midi Through opens");
    const Bytes gsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
    midi::MidiLongMessageHeader header { gsReset.data(), std::uint32_t(gsReset.size()), 0 };
    Bytes expected;
    service.prepareHeader(handle, header);
    check(service.longMessage(handle, header) == midi::kMidiOk, "GS reset sent");
    expected.insert(expected.end(), gsReset.begin(), gsReset.end());
    const std::vector<std::pair<std::uint32_t, Bytes>> shorts {
        { 0x0800B0, { 0xB0, 0x00, 0x08 } },
        { 0x0020B0, { 0xB0, 0x20, 0x00 } },
        { 0x04C0, { 0xC0, 0x04 } },
        { 0x7F3C90, { 0x90, 0x3C, 0x7F } },
        { 0x003C90, { 0x90, 0x3C, 0x00 } },
        { 0x1040D0, { 0xD0, 0x40 } },
        { 0x4000E0, { 0xE0, 0x00, 0x40 } },
    };
    for (const auto& [packed, bytes] : shorts) {
        check(service.shortMessage(handle, packed) == midi::kMidiOk, "short message " + hex(bytes));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    check(service.reset(handle) == midi::kMidiOk, "reset sent");
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t controller : { 64, 120, 123 })
            expected.insert(expected.end(), { std::uint8_t(0xB0 + channel), controller, 0 });
    }
    check(service.close(handle) == midi::kMidiOk, "closed");
    check(service.shortMessage(handle, 0x7F3E90) != midi::kMidiOk, "send after close refused");
    midi::MidiOutHandle reopened = 0;
    check(service.open(reopened, device) == midi::kMidiOk, "opens again");
    check(service.shortMessage(reopened, 0x7F4090) == midi::kMidiOk, "marker sent");
    expected.insert(expected.end(), { 0x90, 0x40, 0x7F });

    // The sequencer keeps order: bytes kept from the closed time would come before the marker.
    const auto received = readBytes(reader, expected.size());
    check(received == expected, "the reader got exactly what was sent, in order");
    if (received != expected)
        std::printf("expected %s\nreceived %s\n", hex(expected).c_str(), hex(received).c_str());
    service.close(reopened);

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
