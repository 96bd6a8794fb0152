// SPDX-License-Identifier: GPL-3.0-or-later
#include "lifecycle.h"

#include "current_device.h"
#include "input_gate.h"
#include "messages.h"
#include "midi/midi_out_port.h"
#include "platform.h"
#include "selection/previewer.h"
#include "selection/readouts.h"
#include "settings_location.h"
#include "ui/main_window.h"
#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <utility>

namespace tonalyx::app {

namespace {
constexpr std::chrono::milliseconds kGsResetSettleTime { 100 };

Screens screens()
{
    Screens found;
    for (const QScreen* screen : QGuiApplication::screens()) {
        found.availableAreas.append(screen->availableGeometry());
        found.desktop |= screen->geometry();
    }
    return found;
}
} // namespace

Lifecycle::Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
    selection::Previewer& previewer, selection::Readouts& readouts, InputGate& gate,
    Platform& platform)
    : port_(port)
    , device_(device)
    , window_(window)
    , previewer_(previewer)
    , readouts_(readouts)
    , gate_(gate)
    , platform_(platform)
{ }

std::int32_t deviceToOpen(const SettingsFile& settings, std::int32_t count)
{
    const auto saved = settings.readInteger(setting::kDeviceNumber, 0);
    // A negative number is passed on as it is: the open refuses it and says so.
    return saved >= count ? 0 : saved;
}

std::int32_t savedDevice(const Platform& platform, std::int32_t count)
{
    const SettingsLocation location
        = locateSettings(platform.executablePath(), platform.configurationHome());
    SettingsFile settings(location.written);
    settings.load(location.read);
    return deviceToOpen(settings, count);
}

void Lifecycle::startUp()
{
    device_.count = port_.deviceCount();
    if (device_.count == 0)
        platform_.showMessage(messages::noDevice());

    const SettingsLocation location
        = locateSettings(platform_.executablePath(), platform_.configurationHome());
    settings_.emplace(location.written);
    if (settings_->load(location.read) == SettingsFile::LoadResult::Unreadable) {
        keepUnreadableFile_ = location.read == location.written;
        platform_.showError(messages::cannotReadFile(location.read));
    }
    placeWindow();

    device_.number = deviceToOpen(*settings_, device_.count);

    if (!port_.open(device_.number))
        platform_.showMessage(messages::cannotOpenDevice());
    port_.sendGsReset();
    // The device settles while the window appears; nothing the user does reaches it until then.
    gate_.closeFor(platform_, kGsResetSettleTime);

    readouts_.showDeviceName(port_.deviceName(device_.number));
    previewer_.refreshReadouts();
}

void Lifecycle::placeWindow()
{
    const QRect defaults = kDefaultWindowPlacement;
    const SavedPlacement saved { settings_->readInteger(setting::kWindowLeft, defaults.left()),
        settings_->readInteger(setting::kWindowTop, defaults.top()),
        settings_->readInteger(setting::kWindowWidth, defaults.width()),
        settings_->readInteger(setting::kWindowHeight, defaults.height()) };
    window_.setOuterGeometry(reachablePlacement(saved, screens(), window_.minimumSizeHint()));
}

bool Lifecycle::shutDown(Ending ending)
{
    port_.close();
    if (!settings_)
        return true;

    const QRect outer = window_.outerGeometry();
    settings_->writeInteger(setting::kWindowHeight, outer.height());
    settings_->writeInteger(setting::kWindowWidth, outer.width());
    settings_->writeInteger(setting::kWindowTop, outer.top());
    settings_->writeInteger(setting::kWindowLeft, outer.left());
    settings_->writeInteger(setting::kDeviceNumber, device_.number);

    if (!keepUnreadableFile_) {
        switch (settings_->save()) {
        case SettingsFile::SaveResult::Written:
            break;
        case SettingsFile::SaveResult::ReadOnly:
            platform_.printNotice(messages::notSavedReadOnly(settings_->path()));
            break;
        case SettingsFile::SaveResult::Failed:
            if (!endAfterFailedSave(ending))
                return false;
            break;
        }
    }
    settings_.reset();
    return true;
}

bool Lifecycle::endAfterFailedSave(Ending ending)
{
    const std::filesystem::path path = settings_->path();
    if (ending == Ending::BySignal) {
        platform_.printNotice(messages::notSavedCannotWrite(path));
        return true;
    }
    const bool firstFailure = !std::exchange(saveFailedBefore_, true);
    // The box runs an event loop of its own, in which a signal may run the whole shut-down.
    platform_.showError(messages::cannotWriteFile(path));
    return !firstFailure || !settings_;
}

} // namespace tonalyx::app
