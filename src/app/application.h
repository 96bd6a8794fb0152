// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "current_device.h"
#include "device_commands.h"
#include "input_gate.h"
#include "lifecycle.h"
#include "midi/midi_out_port.h"
#include "selection/held_notes.h"
#include "selection/midi_thru.h"
#include "selection/previewer.h"
#include "ui/main_window.h"
#include "window_readouts.h"

namespace tonalyx::testing {
struct ApplicationPeer;
}

namespace tonalyx::shell {
class Platform;
}

namespace tonalyx::app {

// Everything the program holds for its whole run, wired together: the one MIDI port on the
// machine's devices, the main window, the selection that its buttons change, and the start-up
// and shut-down around them.
class Application {
public:
    Application(midi::DeviceList& devices, shell::Platform& platform);

    // Runs start-up with the settings as loadSettings read them; the window is ready to be shown
    // afterwards.
    void start(settings::SettingsFile loaded);
    // Runs the shut-down of a close without a box, for a program the system is ending; the event
    // loop is left to the caller.
    void shutDownForSignal();
    // Whether the program may end: a shut-down has run.
    bool hasEnded() const { return lifecycle_.hasEnded(); }
    // For a program that ends without a shut-down; see Lifecycle::saveAtExit.
    void saveAtExit() { lifecycle_.saveAtExit(); }

    ui::MainWindow& window() { return window_; }

private:
    friend struct testing::ApplicationPeer;

    void releaseHeldNotes();
    void bindButtonGrids();
    void bindToneList();
    void bindKeyboard();
    void listenToInputs(midi::DeviceList& devices);
    template <typename Action> void pass(Action&& action)
    {
        gate_.pass(std::forward<Action>(action));
    }

    midi::MidiOutPort port_;
    CurrentDevice device_;
    ui::MainWindow window_;
    WindowReadouts readouts_ { window_ };
    selection::HeldNotes heldNotes_;
    selection::Previewer previewer_ { port_, readouts_, heldNotes_ };
    selection::MidiThru thru_ { port_, previewer_, heldNotes_ };
    // Everything the window's controls and the MIDI keyboards ask for goes through here.
    InputGate gate_;
    Lifecycle lifecycle_;
    DeviceCommands deviceCommands_;
};

} // namespace tonalyx::app
