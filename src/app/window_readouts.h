#pragma once

#include "selection/readouts.h"

namespace tonalyx::ui {
class TForm1;
}

namespace tonalyx::app {

// The selection readouts as the main window's fields show them.
class WindowReadouts final : public selection::Readouts {
public:
    explicit WindowReadouts(ui::TForm1& window)
        : window_(window)
    { }

    void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName) override;

private:
    ui::TForm1& window_;
};

} // namespace tonalyx::app
