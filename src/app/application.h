// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "current_device.h"
#include "device_commands.h"
#include "input_gate.h"
#include "lifecycle.h"
#include "live_input.h"
#include "midi/midi_out_port.h"
#include "selection/drum_previewer.h"
#include "selection/held_notes.h"
#include "selection/midi_thru.h"
#include "selection/previewer.h"
#include "ui/main_window.h"
#include "window_readouts.h"

#include <vector>

namespace tonalyx::testing {
struct ApplicationPeer;
}

namespace tonalyx::shell {
class Platform;
}
namespace tonalyx::midi {
class InputRoute;
}

namespace tonalyx::app {

// Everything the program holds for its whole run, wired together: the one MIDI port on the
// machine's devices, the main window, the selection that its buttons change, and the start-up
// and shut-down around them.
class Application {
public:
    Application(midi::DeviceList& devices, shell::Platform& platform);
    // Stops listening to the MIDI keyboards before anything they reach goes.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

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
    // What the MIDI keyboards played while the device settled that was left out for want of
    // room; see midi::OwedMessages.
    std::uint64_t inputLeftOut() const { return live_.leftOut(); }

private:
    friend struct testing::ApplicationPeer;

    void bindButtonGrids();
    void bindToneList();
    void bindKeyboard();
    void bindDrumPage();
    void listenToInputs(midi::DeviceList& devices);
    // What the window's controls ask for: through the gate, and then with the keyboards' threads
    // kept out of the selection and the device for as long as it takes.
    template <typename Action> void pass(Action&& action)
    {
        gate_.pass(
            [this, action = std::forward<Action>(action)]() mutable { live_.exclusive(action); });
    }
    // Around what leaves the device (a switch, a close): the keyboards are held throughout, as
    // the device is closed, opened anew and waited for, and follow once it is ready.
    void leaveDevice();
    void resumeAfterLeaving();

    midi::MidiOutPort port_;
    CurrentDevice device_;
    ui::MainWindow window_;
    WindowReadouts readouts_ { window_ };
    selection::HeldNotes heldNotes_;
    selection::Previewer previewer_ { port_, readouts_, heldNotes_ };
    selection::MidiThru thru_ { port_, previewer_, heldNotes_ };
    selection::DrumPreviewer drums_ { port_, [this](const selection::DrumSelection& shown) {
                                         ui::showDrumSelection(
                                             window_.drumPage(), shown.set, shown.lastNote);
                                     } };
    LiveInput live_ { thru_ };
    // Everything the window's controls and the MIDI keyboards ask for goes through here.
    InputGate gate_ { live_ };
    Lifecycle lifecycle_;
    DeviceCommands deviceCommands_;
    std::vector<midi::InputRoute*> inputs_;
};

} // namespace tonalyx::app
