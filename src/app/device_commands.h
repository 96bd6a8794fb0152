#pragma once

namespace tonalyx::midi {
class MidiOutPort;
}
namespace tonalyx::selection {
class Previewer;
}
namespace tonalyx::ui {
class TForm1;
}

namespace tonalyx::app {

class Platform;

// The two buttons that act on the MIDI output as a whole.
class DeviceCommands {
public:
    DeviceCommands(midi::MidiOutPort& port, selection::Previewer& previewer, ui::TForm1& window,
        Platform& platform);

    // Moves on to the next output device, coming back to the first after the last, and brings
    // it to a known state: all notes off, GS defaults, program 0 in bank 0.
    void Button257Click();
    // Sends the GS reset again, for instance after another program changed the synthesiser.
    void Button262Click();

private:
    midi::MidiOutPort& port_;
    selection::Previewer& previewer_;
    ui::TForm1& window_;
    Platform& platform_;
};

} // namespace tonalyx::app
