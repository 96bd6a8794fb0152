// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/settings_file.h"

#include <QRect>
#include <optional>

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
namespace tonalyx::ui {
class MainWindow;
}

namespace tonalyx::app {

class InputGate;
struct CurrentDevice;

// The settings file where the program keeps it, read. It is read once, before the window exists:
// the device it names starts opening ahead, and start-up then takes it over, saying so if it could
// not be read.
settings::SettingsFile loadSettings(const shell::Platform& platform);
// The device a start-up opens: the one the settings name, or the first when that one is not there.
std::int32_t deviceToOpen(const settings::SavedSettings& saved, std::int32_t count);

// The program's start-up and shut-down: the device opened and reset, the window placed and filled,
// and the settings carried from one run to the next.
class Lifecycle {
public:
    Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
        selection::Previewer& previewer, selection::Readouts& readouts, InputGate& gate,
        shell::Platform& platform);

    // Who ends the program: a person closing the window, who sees a box and may put a problem
    // right, or the system (a logout, a closed terminal), with no one to answer a box.
    enum class Ending { ByWindow, BySignal };

    // Runs once, before the window is first shown, with the settings as loadSettings read them.
    // Every step runs whatever the earlier ones found; problems are reported in boxes and start-up
    // goes on, unless the program was ended while a box was up (a box runs an event loop of its
    // own, in which a signal runs the shut-down). It does nothing once the program has ended.
    void startUp(settings::SettingsFile loaded);
    // Closes the device and writes the settings; true when the program may end. A file whose
    // permissions forbid writing is left as it is, and a line on the standard error says so.
    // When the file cannot be written, a close of the window shows a box and is abandoned the
    // first time, so that the user may put it right and close again; the next such close ends
    // after its box, so that nothing can keep the window open for good. A signal never shows a
    // box: a line on the standard error says the settings were not saved, and the program ends.
    // Called again, it repeats the whole shut-down. Before the settings file has been read there
    // is nothing to write, and the file is left as it is.
    bool shutDown(Ending ending);
    // Whether a shut-down has let the program end.
    bool hasEnded() const { return ended_; }
    // Writes the settings when the program ends without a shut-down, as when the connection to the
    // display breaks, as a signal's shut-down would: the window's outer rectangle as last seen and
    // the device in use. Touches neither the window system nor a widget. Nothing once the program
    // has ended, or before the settings file has been read.
    void saveAtExit();

private:
    void placeWindow(const settings::Rect& saved);
    // Writes the settings file (unless it is one to be kept as it is); false when the program may
    // not end yet, after a box that asks the user to put a failed save right.
    bool saveSettings(const QRect& outer, Ending ending);
    // After a save that failed: whether the program may end anyway.
    bool endAfterFailedSave(Ending ending);

    midi::MidiOutPort& port_;
    CurrentDevice& device_;
    ui::MainWindow& window_;
    selection::Previewer& previewer_;
    selection::Readouts& readouts_;
    InputGate& gate_;
    shell::Platform& platform_;
    // Held from start-up until the settings have been written at shut-down.
    std::optional<settings::SettingsFile> settings_;
    // A settings file that is there but could not be read is left as it is rather than replaced by
    // one written from defaults.
    bool keepUnreadableFile_ = false;
    bool saveFailedBefore_ = false;
    bool ended_ = false;
    // The window's outer rectangle, followed as it moves and changes size, for a save that may
    // not ask the window.
    QRect lastOuter_;
};

} // namespace tonalyx::app
