// SPDX-License-Identifier: GPL-3.0-or-later
#include "lifecycle.h"

#include "current_device.h"
#include "input_gate.h"
#include "midi/midi_out_port.h"
#include "selection/previewer.h"
#include "selection/readouts.h"
#include "settings/settings_location.h"
#include "settings/window_placement.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "ui/main_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <utility>

namespace tonalyx::app {

namespace {
constexpr std::chrono::milliseconds kGsResetSettleTime { 100 };

settings::Rect fromQt(const QRect& rect)
{
    return { rect.left(), rect.top(), rect.width(), rect.height() };
}

QRect toQt(const settings::Rect& rect)
{
    return { rect.left, rect.top, rect.width, rect.height };
}

settings::Screens screens()
{
    settings::Screens found;
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens()) {
        found.availableAreas.push_back(fromQt(screen->availableGeometry()));
        desktop |= screen->geometry();
    }
    found.desktop = fromQt(desktop);
    return found;
}
} // namespace

Lifecycle::Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
    selection::Previewer& previewer, selection::Readouts& readouts, InputGate& gate,
    shell::Platform& platform)
    : port_(port)
    , device_(device)
    , window_(window)
    , previewer_(previewer)
    , readouts_(readouts)
    , gate_(gate)
    , platform_(platform)
    , lastOuter_(window.outerGeometry())
{
    QObject::connect(&window_, &ui::MainWindow::outerGeometryChanged, &window_,
        [this] { lastOuter_ = window_.outerGeometry(); });
}

settings::SettingsFile loadSettings(const shell::Platform& platform)
{
    return settings::SettingsFile(
        settings::locateSettings(platform.executablePath(), platform.configurationHome()));
}

std::int32_t deviceToOpen(const settings::SavedSettings& saved, std::int32_t count)
{
    // A negative number is passed on as it is: the open refuses it and says so.
    return saved.deviceNumber >= count ? 0 : saved.deviceNumber;
}

void Lifecycle::startUp(settings::SettingsFile loaded)
{
    if (ended_)
        return;
    device_.count = port_.deviceCount();
    if (device_.count == 0) {
        platform_.showMessage(shell::messages::noDevice());
        if (ended_)
            return;
    }

    settings_ = std::move(loaded);
    const bool unreadable = settings_->found() == settings::ReadResult::Unreadable;
    keepUnreadableFile_ = unreadable && settings_->readFrom() == settings_->path();
    const settings::SavedSettings saved = settings_->values();
    // Placed before the box, so that a shut-down from inside it writes what a close would.
    placeWindow(saved.window);
    if (unreadable) {
        platform_.showError(shell::messages::cannotReadFile(settings_->readFrom()));
        if (ended_)
            return;
    }

    device_.number = deviceToOpen(saved, device_.count);

    if (!port_.open(device_.number)) {
        platform_.showMessage(shell::messages::cannotOpenDevice());
        if (ended_)
            return;
    }
    port_.sendGsReset();
    // The device settles while the window appears; nothing the user does reaches it until then.
    gate_.closeFor(platform_, kGsResetSettleTime);

    readouts_.showDeviceName(port_.deviceName(device_.number));
    readouts_.showDrumSetsHeld(port_.drumSetsHeld());
    previewer_.refreshReadouts();
}

void Lifecycle::placeWindow(const settings::Rect& saved)
{
    const QSize smallest = window_.minimumSizeHint();
    window_.setOuterGeometry(toQt(
        settings::reachablePlacement(saved, screens(), { smallest.width(), smallest.height() })));
}

bool Lifecycle::shutDown(Ending ending)
{
    port_.close();
    if (settings_) {
        if (!saveSettings(window_.outerGeometry(), ending))
            return false;
        settings_.reset();
    }
    ended_ = true;
    return true;
}

void Lifecycle::saveAtExit()
{
    // No one is there to answer a box, as at a signal.
    if (settings_ && !ended_ && saveSettings(lastOuter_, Ending::BySignal))
        settings_.reset();
}

bool Lifecycle::saveSettings(const QRect& outer, Ending ending)
{
    settings_->store({ fromQt(outer), device_.number });
    if (keepUnreadableFile_)
        return true;
    switch (settings_->save()) {
    case settings::WriteResult::Written:
        return true;
    case settings::WriteResult::ReadOnly:
        platform_.printNotice(shell::messages::notSavedReadOnly(settings_->path()));
        return true;
    case settings::WriteResult::Failed:
        return endAfterFailedSave(ending);
    }
    return true;
}

bool Lifecycle::endAfterFailedSave(Ending ending)
{
    const std::filesystem::path path = settings_->path();
    if (ending == Ending::BySignal) {
        platform_.printNotice(shell::messages::notSavedCannotWrite(path));
        return true;
    }
    const bool firstFailure = !std::exchange(saveFailedBefore_, true);
    // The box runs an event loop of its own, in which a signal may run the whole shut-down.
    platform_.showError(shell::messages::cannotWriteFile(path));
    return !firstFailure || !settings_;
}

} // namespace tonalyx::app
