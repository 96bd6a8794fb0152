// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tonalyx::midi {
class MidiOutPort;
}
namespace tonalyx::selection {
class Previewer;
class Readouts;
} // namespace tonalyx::selection
namespace tonalyx::shell {
class Platform;
}

namespace tonalyx::app {

class Lifecycle;
struct CurrentDevice;

// The two buttons that act on the MIDI output as a whole.
class DeviceCommands {
public:
    DeviceCommands(midi::MidiOutPort& port, CurrentDevice& device, selection::Previewer& previewer,
        selection::Readouts& readouts, shell::Platform& platform, const Lifecycle& lifecycle);

    // Moves on to the next output device and brings it to a known state: all notes off, GS
    // defaults, program 0 in bank 0. When the next device cannot be opened, a box says so; if the
    // program is ended while it is up, nothing more is done.
    void switchToNextDevice();
    // Sends the GS reset again, for instance after another program changed the synthesiser.
    void sendGsReset();

private:
    midi::MidiOutPort& port_;
    CurrentDevice& device_;
    selection::Previewer& previewer_;
    selection::Readouts& readouts_;
    shell::Platform& platform_;
    const Lifecycle& lifecycle_;
};

} // namespace tonalyx::app
