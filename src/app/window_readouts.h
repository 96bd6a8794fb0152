// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/input/wakeup.h"
#include "selection/readouts.h"

#include <atomic>
#include <thread>

namespace tonalyx::ui {
class MainWindow;
}

namespace tonalyx::app {

// The readouts as the main window's fields show them. Only the GUI thread touches the window:
// a selection made on another thread (a keyboard's Program Change, played on its input's own
// thread) is shown when the GUI thread next asks for it, woken through dueDescriptor().
class WindowReadouts final : public selection::Readouts {
public:
    explicit WindowReadouts(ui::MainWindow& window)
        : window_(window)
    { }

    void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName) override;
    void showDeviceName(std::string_view name) override;
    void showDrumSetsHeld(const std::optional<midi::DrumSetsHeld>& held) override;

    // --- The GUI thread: whether a selection made elsewhere waits to be shown.
    bool takeDue();
    int dueDescriptor() const { return wakeup_.descriptor(); }

private:
    ui::MainWindow& window_;
    const std::thread::id guiThread_ = std::this_thread::get_id();
    std::atomic<bool> due_ { false };
    midi::Wakeup wakeup_;
};

} // namespace tonalyx::app
