// SPDX-License-Identifier: GPL-3.0-or-later
#include "application.h"

#include "catalogue/drum_sets.h"
#include "midi/input/input_route.h"
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
        leaveDevice();
        const bool ended = lifecycle_.shutDown(Lifecycle::Ending::ByWindow);
        resumeAfterLeaving();
        return ended;
    });
    QObject::connect(&window_.deviceSwitchButton(), &QPushButton::clicked, &window_, [this] {
        gate_.pass([this] {
            leaveDevice();
            deviceCommands_.switchToNextDevice();
            drums_.followReset();
            resumeAfterLeaving();
        });
    });
    QObject::connect(&window_.gsResetButton(), &QPushButton::clicked, &window_, [this] {
        pass([this] {
            deviceCommands_.sendGsReset();
            drums_.followReset();
        });
    });
    bindButtonGrids();
    bindToneList();
    bindKeyboard();
    bindDrumPage();
    listenToInputs(devices);
}

void Application::start(settings::SettingsFile loaded)
{
    lifecycle_.startUp(std::move(loaded));
}

Application::~Application()
{
    for (auto* input : inputs_)
        input->stopListening();
}

// Notes still held, by a preview (a key held on a button while the switch is pressed by another
// key, say) or on a MIDI keyboard, end on the device being left, before it is closed.
void Application::leaveDevice()
{
    live_.hold();
    previewer_.releaseHeld();
    drums_.releaseHeld();
    thru_.releaseHeld();
}

// A close the user abandoned leaves the program running, and a switch ends on the next device.
void Application::resumeAfterLeaving()
{
    if (!hasEnded() && gate_.isOpen())
        live_.letThrough();
}

void Application::shutDownForSignal()
{
    leaveDevice();
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
            // A key held on a drum button may end here, the focus moved on.
            QObject::connect(button, &ui::PreviewButton::keyUp, &window_, [this] {
                pass([this] {
                    previewer_.buttonKeyUp();
                    drums_.buttonKeyUp();
                });
            });
            // The pointer or the focus arriving: a press may follow. Only a hint, which
            // sends nothing, so it need not wait for the settle time.
            for (const auto arrived :
                { &ui::PreviewButton::pointerEntered, &ui::PreviewButton::focusArrived }) {
                QObject::connect(button, arrived, &window_, [this, approached, value] {
                    live_.exclusive([=, this] { (previewer_.*approached)(value); });
                });
            }
        }
    };
    using selection::Previewer;
    bind(window_.programButtons(), &Previewer::programMouseDown, &Previewer::programKeyDown,
        &Previewer::programApproached);
    bind(window_.bankButtons(), &Previewer::bankMouseDown, &Previewer::bankKeyDown,
        &Previewer::bankApproached);
}

// A drum set's row selects the set as its button on the drum page does. The keyboard has one press
// that sounds at a time: a key moving between a tone's row and a set's ends the row before on its
// own channel, and each release goes where its press went.
void Application::bindToneList()
{
    auto* list = &window_.toneList();
    QObject::connect(list, &ui::ToneListView::mouseDown, &window_,
        [this](int program, int bank, Qt::MouseButton mouse) {
            pass([=, this] { previewer_.toneMouseDown(program, bank, pressedWith(mouse)); });
        });
    QObject::connect(list, &ui::ToneListView::keyDown, &window_, [this](int program, int bank) {
        pass([=, this] {
            if (drums_.awaitsKeyRelease())
                drums_.buttonKeyUp();
            previewer_.toneKeyDown(program, bank);
        });
    });
    QObject::connect(list, &ui::ToneListView::drumSetMouseDown, &window_,
        [this](int program, Qt::MouseButton mouse) {
            pass([=, this] { drums_.setMouseDown(program, pressedWith(mouse)); });
        });
    QObject::connect(list, &ui::ToneListView::drumSetKeyDown, &window_, [this](int program) {
        pass([=, this] {
            if (previewer_.state().keyHeld)
                previewer_.toneKeyUp();
            drums_.buttonKeyUp();
            drums_.setKeyDown(program);
        });
    });
    QObject::connect(list, &ui::ToneListView::mouseUp, &window_, [this](Qt::MouseButton mouse) {
        pass([=, this] {
            if (drums_.awaitsRelease(pressedWith(mouse)))
                drums_.buttonMouseUp(pressedWith(mouse));
            else
                previewer_.toneMouseUp(pressedWith(mouse));
        });
    });
    QObject::connect(list, &ui::ToneListView::keyUp, &window_, [this] {
        pass([this] {
            if (!drums_.awaitsKeyRelease())
                previewer_.toneKeyUp();
            drums_.buttonKeyUp();
        });
    });
}

// The keys play the drum set while the drum page is shown, in the octave the buttons chose, and
// the melody's tone elsewhere; each release goes where its press went.
void Application::bindKeyboard()
{
    for (const auto& key : window_.keys()) {
        const std::int32_t offset = key.offset;
        QObject::connect(
            key.shape, &ui::KeyShape::mouseDown, &window_, [this, offset](Qt::MouseButton mouse) {
                pass([=, this] {
                    if (window_.drumPageShown()) {
                        drums_.keyMouseDown(
                            selection::keyNote(offset, previewer_.state().octaveShift),
                            pressedWith(mouse));
                    } else {
                        previewer_.keyMouseDown(offset, pressedWith(mouse));
                    }
                });
            });
        QObject::connect(
            key.shape, &ui::KeyShape::mouseUp, &window_, [this](Qt::MouseButton mouse) {
                pass([=, this] {
                    if (drums_.awaitsRelease(pressedWith(mouse)))
                        drums_.buttonMouseUp(pressedWith(mouse));
                    else
                        previewer_.keyMouseUp(pressedWith(mouse));
                });
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

// The drum page previews on the drum channel, with a selection of its own: set buttons bring their
// program, sound buttons their key.
void Application::bindDrumPage()
{
    using Press
        = void (selection::DrumPreviewer::*)(std::int32_t, selection::DrumPreviewer::MouseButton);
    using KeyPress = void (selection::DrumPreviewer::*)(std::int32_t);
    const auto bind = [this](ui::PreviewButton* button, std::int32_t value, Press mouseDown,
                          KeyPress keyDown) {
        QObject::connect(button, &ui::PreviewButton::mouseDown, &window_,
            [this, mouseDown, value](Qt::MouseButton mouse) {
                pass([=, this] { (drums_.*mouseDown)(value, pressedWith(mouse)); });
            });
        // The keyboard has one press that sounds at a time, whichever page it is on: a key held
        // on a program or bank button sounds alone, and its release may come here.
        QObject::connect(button, &ui::PreviewButton::keyDown, &window_, [this, keyDown, value] {
            pass([=, this] {
                if (!previewer_.state().keyHeld)
                    (drums_.*keyDown)(value);
            });
        });
        QObject::connect(
            button, &ui::PreviewButton::mouseUp, &window_, [this](Qt::MouseButton mouse) {
                pass([=, this] { drums_.buttonMouseUp(pressedWith(mouse)); });
            });
        QObject::connect(button, &ui::PreviewButton::keyUp, &window_, [this] {
            pass([this] {
                drums_.buttonKeyUp();
                if (previewer_.state().keyHeld)
                    previewer_.buttonKeyUp();
            });
        });
    };
    const auto& page = window_.drumPage();
    const auto sets = catalogue::drumSets();
    for (std::size_t i = 0; i < sets.size(); ++i) {
        bind(page.setButtons[i], sets[i].program, &selection::DrumPreviewer::setMouseDown,
            &selection::DrumPreviewer::setKeyDown);
    }
    for (std::size_t i = 0; i < page.soundButtons.size(); ++i) {
        bind(page.soundButtons[i], catalogue::kFirstDrumNote + static_cast<std::int32_t>(i),
            &selection::DrumPreviewer::soundMouseDown, &selection::DrumPreviewer::soundKeyDown);
    }
}

// The MIDI keyboards play on their inputs' own threads; the GUI thread only follows, showing a
// selection their Program Changes made.
void Application::listenToInputs(midi::DeviceList& devices)
{
    inputs_ = devices.inputs();
    for (auto* input : inputs_)
        input->listen(live_);
    auto* notifier
        = new QSocketNotifier(readouts_.dueDescriptor(), QSocketNotifier::Read, &window_);
    QObject::connect(notifier, &QSocketNotifier::activated, &window_, [this] {
        if (readouts_.takeDue())
            live_.exclusive([this] { previewer_.refreshReadouts(); });
    });
}

} // namespace tonalyx::app
