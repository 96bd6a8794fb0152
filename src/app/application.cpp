#include "application.h"

#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QPushButton>
#include <array>

namespace tonalyx::app {

Application::Application(midi::DeviceList& devices, Platform& platform)
    : port_(devices)
    , lifecycle_(port_, device_, window_, previewer_, readouts_, platform)
    , deviceCommands_(port_, device_, previewer_, readouts_, platform)
{
    window_.setCloseHandler([this] { return lifecycle_.shutDown(Lifecycle::Ending::ByWindow); });
    QObject::connect(&window_.deviceSwitchButton(), &QPushButton::clicked, &window_,
        [this] { deviceCommands_.switchToNextDevice(); });
    QObject::connect(&window_.gsResetButton(), &QPushButton::clicked, &window_,
        [this] { deviceCommands_.sendGsReset(); });
    bindButtonGrids();
    bindKeyboard();
}

void Application::start()
{
    lifecycle_.startUp();
}

void Application::shutDownForSignal()
{
    lifecycle_.shutDown(Lifecycle::Ending::BySignal);
}

// One behaviour for each family; each button only brings its program or bank.
void Application::bindButtonGrids()
{
    const auto bind
        = [this](const ui::ButtonGrid& grid, auto mouseDown, auto keyDown, auto approached) {
              for (std::size_t i = 0; i < grid.size(); ++i) {
                  const auto value = static_cast<std::int32_t>(i);
                  auto* button = grid[i];
                  QObject::connect(button, &ui::PreviewButton::mouseDown, &window_,
                      [this, mouseDown, value] { (previewer_.*mouseDown)(value); });
                  QObject::connect(button, &ui::PreviewButton::keyDown, &window_,
                      [this, keyDown, value] { (previewer_.*keyDown)(value); });
                  QObject::connect(button, &ui::PreviewButton::mouseUp, &window_,
                      [this] { previewer_.buttonMouseUp(); });
                  QObject::connect(button, &ui::PreviewButton::keyUp, &window_,
                      [this] { previewer_.buttonKeyUp(); });
                  // The pointer or the focus arriving: a press may follow.
                  for (const auto arrived :
                      { &ui::PreviewButton::pointerEntered, &ui::PreviewButton::focusArrived }) {
                      QObject::connect(button, arrived, &window_,
                          [this, approached, value] { (previewer_.*approached)(value); });
                  }
              }
          };
    using selection::Previewer;
    bind(window_.programButtons(), &Previewer::programMouseDown, &Previewer::programKeyDown,
        &Previewer::programApproached);
    bind(window_.bankButtons(), &Previewer::bankMouseDown, &Previewer::bankKeyDown,
        &Previewer::bankApproached);
}

void Application::bindKeyboard()
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
