#pragma once

#include "settings_file.h"

#include <optional>

namespace tonalyx::midi {
class MidiOutPort;
}
namespace tonalyx::selection {
class ToneNameTable;
}
namespace tonalyx::ui {
class TForm1;
}

namespace tonalyx::app {

class Platform;

// The program's start-up and shut-down: the device opened and reset, the window placed and filled,
// and the settings carried from one run to the next.
class Lifecycle {
public:
    Lifecycle(midi::MidiOutPort& port, ui::TForm1& window, selection::ToneNameTable& toneNames,
        Platform& platform);

    // Runs once, before the window is first shown. Every step runs whatever the earlier ones found;
    // problems are reported in boxes and start-up goes on.
    void FormCreate();
    // False when the settings could not be written: the close is abandoned and the window stays.
    // Called again, it repeats the whole shut-down.
    bool FormClose();

private:
    midi::MidiOutPort& port_;
    ui::TForm1& window_;
    selection::ToneNameTable& toneNames_;
    Platform& platform_;
    // Held from start-up until the settings have been written at shut-down.
    std::optional<SettingsFile> settings_;
    // A settings file that is there but could not be read is left as it is rather than replaced by
    // one written from defaults.
    bool keepUnreadableFile_ = false;
};

} // namespace tonalyx::app
