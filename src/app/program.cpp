#include "program.h"

#include "ui/preview_button.h"

namespace tonalyx::app {

Program::Program(midi::MidiOutService& service, Platform& platform)
    : port_(service)
    , lifecycle_(port_, window_, toneNames_, platform)
{
    window_.setCloseHandler([this] { return lifecycle_.FormClose(); });
    bindButtonGrids();
}

void Program::start()
{
    lifecycle_.FormCreate();
}

// One behaviour for each family; each button only brings its program or bank.
void Program::bindButtonGrids()
{
    const auto bind = [this](const ui::ButtonGrid& grid, auto mouseDown, auto keyDown) {
        for (std::size_t i = 0; i < grid.size(); ++i) {
            const auto value = static_cast<std::int32_t>(i);
            auto* button = grid[i];
            QObject::connect(button, &ui::PreviewButton::mouseDown, &window_,
                [this, mouseDown, value] { (previewer_.*mouseDown)(value); });
            QObject::connect(button, &ui::PreviewButton::keyDown, &window_,
                [this, keyDown, value] { (previewer_.*keyDown)(value); });
            QObject::connect(button, &ui::PreviewButton::mouseUp, &window_,
                [this] { previewer_.buttonMouseUp(); });
            QObject::connect(
                button, &ui::PreviewButton::keyUp, &window_, [this] { previewer_.buttonKeyUp(); });
        }
    };
    using selection::Previewer;
    bind(window_.programButtons(), &Previewer::programMouseDown, &Previewer::programKeyDown);
    bind(window_.bankButtons(), &Previewer::bankMouseDown, &Previewer::bankKeyDown);
}

} // namespace tonalyx::app
