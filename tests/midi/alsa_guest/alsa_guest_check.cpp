// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside an emulated machine whose kernel has the ALSA sequencer and its "Midi Through"
// port (snd-seq-dummy): the service must list that port and deliver exactly what the program
// sends, which a reader on the port's other side receives; and a keyboard connected to the
// program's input port "Tonalyx:in" must play through the selection logic to Midi Through.
// Prints one line per check and a closing "N passed, N failed"; exits non-zero on any failure.
#include "midi/input/input_queue.h"
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"
#include "selection/held_notes.h"
#include "selection/midi_thru.h"
#include "selection/previewer.h"
#include "selection/readouts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <poll.h>
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

// The tone name the selection logic shows.
struct ShownTone final : selection::Readouts {
    void showSelection(std::string_view, std::string_view, std::string_view toneName) override
    {
        tone = toneName;
    }
    void showDeviceName(std::string_view) override { }
    std::string tone;
};

// The number of the port whose name starts with `prefix`, waiting up to 10 s for it to appear.
int portStartingWith(RtMidi& client, const std::string& prefix)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (unsigned int i = 0; i < client.getPortCount(); ++i) {
            if (client.getPortName(i).rfind(prefix, 0) == 0)
                return static_cast<int>(i);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

// Plays what reaches the input into `thru` as the GUI thread does, until `count` messages have
// or 10 s have passed; the number played.
std::size_t playInto(midi::InputQueue& queue, selection::MidiThru& thru, std::size_t count)
{
    std::size_t played = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (played < count && std::chrono::steady_clock::now() < deadline) {
        pollfd woken { queue.wakeDescriptor(), POLLIN, 0 };
        if (::poll(&woken, 1, 100) != 1)
            continue;
        queue.drain([&](const midi::ShortMessage& message) {
            thru.receive(message);
            ++played;
        });
    }
    return played;
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
    // The program's input port appears beside its output, made by the input's own thread.
    RtMidiOut keyboard(RtMidi::LINUX_ALSA, "tonalyx-keyboard");
    const int programIn = portStartingWith(keyboard, "Tonalyx:in ");
    check(programIn >= 0, "the program's input port Tonalyx:in appears");
    check(devices->inputs().size() == 1, "the ALSA backend offers one input");
    // Only now is the device list taken, with the input port there to be left out.
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
    if (programIn < 0 || devices->inputs().size() != 1)
        return 1;

    // A keyboard connected to the program's input plays on Midi Through, channel 1, through the
    // selection logic as the GUI thread runs it.
    auto& queue = *devices->inputs().front();
    ShownTone shown;
    selection::HeldNotes held;
    selection::Previewer previewer(port, shown, held);
    selection::MidiThru thru(port, previewer, held);
    check(port.open(device), "Midi Through opens for the keyboard");
    keyboard.openPort(static_cast<unsigned int>(programIn), "out");
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
        keyboard.sendMessage(message.data(), message.size());
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
    const auto onThrough = readBytes(reader, heard.size());
    check(onThrough == heard, "the keyboard's messages reach Midi Through on channel 1, and end");
    if (onThrough != heard)
        std::printf("expected %s\nreceived %s\n", hex(heard).c_str(), hex(onThrough).c_str());

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
