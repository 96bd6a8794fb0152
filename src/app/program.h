#pragma once

#include "device_commands.h"
#include "lifecycle.h"
#include "midi/midi_out_port.h"
#include "selection/previewer.h"
#include "selection/tone_name_table.h"
#include "ui/main_window.h"
#include "window_readouts.h"

namespace tonalyx::app {

class Platform;

// Everything the program holds for its whole run, wired together: the one MIDI port on the
// platform's service, the main window, the selection that its buttons change, and the start-up
// and shut-down around them.
class Program {
public:
    Program(midi::MidiOutService& service, Platform& platform);

    // Runs start-up; the window is ready to be shown afterwards.
    void start();

    ui::TForm1& window() { return window_; }
    midi::MidiOutPort& port() { return port_; }
    const selection::SelectionState& selection() const { return previewer_.state(); }

private:
    void bindButtonGrids();
    void bindKeyboard();

    midi::MidiOutPort port_;
    selection::ToneNameTable toneNames_;
    ui::TForm1 window_;
    WindowReadouts readouts_ { window_ };
    selection::Previewer previewer_ { port_, toneNames_, readouts_ };
    Lifecycle lifecycle_;
    DeviceCommands deviceCommands_;
};

} // namespace tonalyx::app
