#pragma once

#include "lifecycle.h"
#include "midi/midi_out_port.h"
#include "ui/main_window.h"

namespace tonalyx::app {

class Platform;

// Everything the program holds for its whole run, wired together: the one MIDI port on the
// platform's service, the main window, and the start-up and shut-down around them.
class Program {
public:
    Program(midi::MidiOutService& service, Platform& platform);

    // Runs start-up; the window is ready to be shown afterwards.
    void start();

    ui::TForm1& window() { return window_; }
    midi::MidiOutPort& port() { return port_; }

private:
    midi::MidiOutPort port_;
    ui::TForm1 window_;
    Lifecycle lifecycle_;
};

} // namespace tonalyx::app
