// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "selection/readouts.h"

namespace tonalyx::ui {
class MainWindow;
}

namespace tonalyx::app {

// The readouts as the main window's fields show them.
class WindowReadouts final : public selection::Readouts {
public:
    explicit WindowReadouts(ui::MainWindow& window)
        : window_(window)
    { }

    void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName) override;
    void showDeviceName(std::string_view name) override;

private:
    ui::MainWindow& window_;
};

} // namespace tonalyx::app
