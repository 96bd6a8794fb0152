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

class Platform;
struct CurrentDevice;

// The program's start-up and shut-down: the device opened and reset, the window placed and filled,
// and the settings carried from one run to the next.
class Lifecycle {
public:
    Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
        selection::Previewer& previewer, selection::Readouts& readouts, Platform& platform);

    // Runs once, before the window is first shown. Every step runs whatever the earlier ones found;
    // problems are reported in boxes and start-up goes on.
    void startUp();
    // The window's close handler: closes the device and writes the settings. False when they
    // could not be written: the close is abandoned and the window stays. Called again, it repeats
    // the whole shut-down.
    bool shutDown();

private:
    void placeWindow();

    midi::MidiOutPort& port_;
    CurrentDevice& device_;
    ui::MainWindow& window_;
    selection::Previewer& previewer_;
    selection::Readouts& readouts_;
    Platform& platform_;
    // Held from start-up until the settings have been written at shut-down.
    std::optional<SettingsFile> settings_;
    // A settings file that is there but could not be read is left as it is rather than replaced by
    // one written from defaults.
    bool keepUnreadableFile_ = false;
};

} // namespace tonalyx::app
