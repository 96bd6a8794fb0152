// SPDX-License-Identifier: GPL-3.0-or-later
#include "application.h"

#include "midi/input/input_queue.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"
#include "ui/tone_list_view.h"

#include <QPushButton>
#include <QSocketNotifier>
#include <array>

namespace tonalyx::app {

namespace {
selection::Previewer::MouseButton pressedWith(Qt::MouseButton button)
{
    return static_cast<selection::Previewer::MouseButton>(button);
}
} // namespace

Application::Application(midi::DeviceList& devices, shell::Platform& platform)
    : port_(devices)
    , lifecycle_(port_, device_, window_, previewer_, readouts_, gate_, platform)
    , deviceCommands_(port_, device_, previewer_, readouts_, platform, lifecycle_)
{
    window_.setCloseHandler([this] {
        releaseHeldNotes();
        return lifecycle_.shutDown(Lifecycle::Ending::ByWindow);
    });
    QObject::connect(&window_.deviceSwitchButton(), &QPushButton::clicked, &window_, [this] {
        pass([this] {
            releaseHeldNotes();
            deviceCommands_.switchToNextDevice();
        });
    });
    QObject::connect(&window_.gsResetButton(), &QPushButton::clicked, &window_,
        [this] { pass([this] { deviceCommands_.sendGsReset(); }); });
    bindButtonGrids();
    bindToneList();
    bindKeyboard();
    listenToInputs(devices);
}

void Application::start(settings::SettingsFile loaded)
{
    lifecycle_.startUp(std::move(loaded));
}

// Notes still held, by a preview (a key held on a button while the switch is pressed by another
// key, say) or on a MIDI keyboard, end on the device being left, before it is closed.
void Application::releaseHeldNotes()
{
    previewer_.releaseHeld();
    thru_.releaseHeld();
}

void Application::shutDownForSignal()
{
    releaseHeldNotes();
    lifecycle_.shutDown(Lifecycle::Ending::BySignal);
}

// One behaviour for each family; each button only brings its program or bank.
void Application::bindButtonGrids()
{
    const auto bind = [this](const ui::ButtonGrid& grid, auto mouseDown, auto keyDown,
                          auto approached) {
        for (std::size_t i = 0; i < grid.size(); ++i) {
            const auto value = static_cast<std::int32_t>(i);
            auto* button = grid[i];
            QObject::connect(button, &ui::PreviewButton::mouseDown, &window_,
                [this, mouseDown, value](Qt::MouseButton mouse) {
                    pass([=, this] { (previewer_.*mouseDown)(value, pressedWith(mouse)); });
                });
            QObject::connect(button, &ui::PreviewButton::keyDown, &window_,
                [this, keyDown, value] { pass([=, this] { (previewer_.*keyDown)(value); }); });
            QObject::connect(
                button, &ui::PreviewButton::mouseUp, &window_, [this](Qt::MouseButton mouse) {
                    pass([=, this] { previewer_.buttonMouseUp(pressedWith(mouse)); });
                });
            QObject::connect(button, &ui::PreviewButton::keyUp, &window_,
                [this] { pass([this] { previewer_.buttonKeyUp(); }); });
            // The pointer or the focus arriving: a press may follow. Only a hint, which
            // sends nothing, so it need not wait for the settle time.
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

void Application::bindToneList()
{
    auto* list = &window_.toneList();
    QObject::connect(list, &ui::ToneListView::mouseDown, &window_,
        [this](int program, int bank, Qt::MouseButton mouse) {
            pass([=, this] { previewer_.toneMouseDown(program, bank, pressedWith(mouse)); });
        });
    QObject::connect(list, &ui::ToneListView::keyDown, &window_, [this](int program, int bank) {
        pass([=, this] { previewer_.toneKeyDown(program, bank); });
    });
    QObject::connect(list, &ui::ToneListView::mouseUp, &window_, [this](Qt::MouseButton mouse) {
        pass([=, this] { previewer_.toneMouseUp(pressedWith(mouse)); });
    });
    QObject::connect(list, &ui::ToneListView::keyUp, &window_,
        [this] { pass([this] { previewer_.toneKeyUp(); }); });
}

void Application::bindKeyboard()
{
    for (const auto& key : window_.keys()) {
        const std::int32_t offset = key.offset;
        QObject::connect(
            key.shape, &ui::KeyShape::mouseDown, &window_, [this, offset](Qt::MouseButton mouse) {
                pass([=, this] { previewer_.keyMouseDown(offset, pressedWith(mouse)); });
            });
        QObject::connect(
            key.shape, &ui::KeyShape::mouseUp, &window_, [this](Qt::MouseButton mouse) {
                pass([=, this] { previewer_.keyMouseUp(pressedWith(mouse)); });
            });
    }
    const std::array<std::pair<QPushButton*, std::int32_t>, 3> octaves { {
        { &window_.octaveDownButton(), -1 },
        { &window_.octaveNoneButton(), 0 },
        { &window_.octaveUpButton(), +1 },
    } };
    for (const auto& [button, shift] : octaves) {
        QObject::connect(button, &QPushButton::clicked, &window_,
            [this, shift = shift] { pass([=, this] { previewer_.setOctaveShift(shift); }); });
    }
}

// Messages from the MIDI keyboards wake the GUI thread, which plays them in the order they came,
// held back like any press while the device settles; so does the last keyboard going away, after
// its last message.
void Application::listenToInputs(midi::DeviceList& devices)
{
    for (auto* queue : devices.inputs()) {
        auto* notifier
            = new QSocketNotifier(queue->wakeDescriptor(), QSocketNotifier::Read, &window_);
        QObject::connect(notifier, &QSocketNotifier::activated, &window_, [this, queue] {
            queue->drain(
                [this](const midi::ShortMessage& message) {
                    pass([this, message] { thru_.receive(message); });
                },
                [this] { pass([this] { thru_.sourcesGone(); }); });
        });
    }
}

} // namespace tonalyx::app
