#include "program.h"

#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QPushButton>
#include <array>

namespace tonalyx::app {

Program::Program(midi::MidiOutService& service, Platform& platform)
    : port_(service)
    , lifecycle_(port_, window_, toneNames_, platform)
    , deviceCommands_(port_, previewer_, window_, platform)
{
    window_.setCloseHandler([this] { return lifecycle_.FormClose(); });
    QObject::connect(&window_.deviceSwitchButton(), &QPushButton::clicked, &window_,
        [this] { deviceCommands_.Button257Click(); });
    QObject::connect(&window_.gsResetButton(), &QPushButton::clicked, &window_,
        [this] { deviceCommands_.Button262Click(); });
    bindButtonGrids();
    bindKeyboard();
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

void Program::bindKeyboard()
{
    for (const auto& key : window_.keys()) {
        const std::int32_t offset = key.offset;
        QObject::connect(key.shape, &ui::KeyShape::mouseDown, &window_,
            [this, offset] { previewer_.keyMouseDown(offset); });
        QObject::connect(
            key.shape, &ui::KeyShape::mouseUp, &window_, [this] { previewer_.keyMouseUp(); });
    }
    const std::array<std::pair<QPushButton*, std::int32_t>, 3> octaves { {
        { &window_.octaveDownButton(), -1 },
        { &window_.octaveNoneButton(), 0 },
        { &window_.octaveUpButton(), +1 },
    } };
    for (const auto& [button, shift] : octaves) {
        QObject::connect(button, &QPushButton::clicked, &window_,
            [this, shift = shift] { previewer_.setOctaveShift(shift); });
    }
}

} // namespace tonalyx::app
