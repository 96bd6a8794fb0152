// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings_file.h"

#include <optional>

namespace tonalyx::midi {
class MidiOutPort;
}
namespace tonalyx::selection {
class Previewer;
class Readouts;
} // namespace tonalyx::selection
namespace tonalyx::ui {
class MainWindow;
}

namespace tonalyx::app {

class InputGate;
class Platform;
struct CurrentDevice;

// The device a start-up opens: the one the settings name, or the first when that one is not there.
std::int32_t deviceToOpen(const SettingsFile& settings, std::int32_t count);
// The same, read from the settings file where start-up will read it, without a word if it cannot
// be read (start-up says so): for opening the device ahead, before the window exists.
std::int32_t savedDevice(const Platform& platform, std::int32_t count);

// The program's start-up and shut-down: the device opened and reset, the window placed and filled,
// and the settings carried from one run to the next.
class Lifecycle {
public:
    Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
        selection::Previewer& previewer, selection::Readouts& readouts, InputGate& gate,
        Platform& platform);

    // Who ends the program: a person closing the window, who sees a box and may put a problem
    // right, or the system (a logout, a closed terminal), with no one to answer a box.
    enum class Ending { ByWindow, BySignal };

    // Runs once, before the window is first shown. Every step runs whatever the earlier ones found;
    // problems are reported in boxes and start-up goes on.
    void startUp();
    // Closes the device and writes the settings; true when the program may end. A file whose
    // permissions forbid writing is left as it is, and a line on the standard error says so.
    // When the file cannot be written, a close of the window shows a box and is abandoned the
    // first time, so that the user may put it right and close again; the next such close ends
    // after its box, so that nothing can keep the window open for good. A signal never shows a
    // box: a line on the standard error says the settings were not saved, and the program ends.
    // Called again, it repeats the whole shut-down.
    bool shutDown(Ending ending);

private:
    void placeWindow();
    // After a save that failed: whether the program may end anyway.
    bool endAfterFailedSave(Ending ending);

    midi::MidiOutPort& port_;
    CurrentDevice& device_;
    ui::MainWindow& window_;
    selection::Previewer& previewer_;
    selection::Readouts& readouts_;
    InputGate& gate_;
    Platform& platform_;
    // Held from start-up until the settings have been written at shut-down.
    std::optional<SettingsFile> settings_;
    // A settings file that is there but could not be read is left as it is rather than replaced by
    // one written from defaults.
    bool keepUnreadableFile_ = false;
    bool saveFailedBefore_ = false;
};

} // namespace tonalyx::app
