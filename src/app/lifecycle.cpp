#include "lifecycle.h"

#include "current_device.h"
#include "messages.h"
#include "midi/midi_out_port.h"
#include "platform.h"
#include "selection/previewer.h"
#include "selection/readouts.h"
#include "ui/main_window.h"
#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace tonalyx::app {

namespace {
constexpr std::chrono::milliseconds kGsResetSettleTime { 100 };

QList<QRect> availableScreenAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}
} // namespace

Lifecycle::Lifecycle(midi::MidiOutPort& port, CurrentDevice& device, ui::MainWindow& window,
    selection::Previewer& previewer, selection::Readouts& readouts, Platform& platform)
    : port_(port)
    , device_(device)
    , window_(window)
    , previewer_(previewer)
    , readouts_(readouts)
    , platform_(platform)
{ }

void Lifecycle::startUp()
{
    device_.count = port_.deviceCount();
    if (device_.count == 0)
        platform_.showMessage(messages::noDevice());

    settings_.emplace(SettingsFile::pathBesideExecutable(platform_.executablePath()));
    if (settings_->load() == SettingsFile::LoadResult::Unreadable) {
        keepUnreadableFile_ = true;
        platform_.showError(messages::cannotReadFile(settings_->path()));
    }
    placeWindow();

    device_.number = settings_->readInteger("Dev", "Dev_num", 0);
    // A negative number is passed on as it is: the open refuses it and says so.
    if (device_.number >= device_.count)
        device_.number = 0;

    if (!port_.open(device_.number))
        platform_.showMessage(messages::cannotOpenDevice());
    port_.sendGsReset();
    platform_.sleep(kGsResetSettleTime);

    readouts_.showDeviceName(port_.deviceName(device_.number));
    previewer_.refreshReadouts();
}

void Lifecycle::placeWindow()
{
    const QRect defaults = kDefaultWindowPlacement;
    QRect saved;
    saved.setHeight(settings_->readInteger("window", "height", defaults.height()));
    saved.setWidth(settings_->readInteger("window", "width", defaults.width()));
    saved.moveTop(settings_->readInteger("window", "top", defaults.top()));
    saved.moveLeft(settings_->readInteger("window", "left", defaults.left()));
    window_.setOuterGeometry(reachablePlacement(saved, availableScreenAreas()));
}

bool Lifecycle::shutDown()
{
    port_.close();
    if (!settings_)
        return true;

    const QRect outer = window_.outerGeometry();
    settings_->writeInteger("window", "Height", outer.height());
    settings_->writeInteger("window", "Width", outer.width());
    settings_->writeInteger("window", "Top", outer.top());
    settings_->writeInteger("window", "Left", outer.left());
    settings_->writeInteger("dev", "dev_num", device_.number);

    if (!keepUnreadableFile_ && !settings_->save()) {
        platform_.showError(messages::cannotWriteFile(settings_->path()));
        return false;
    }
    settings_.reset();
    return true;
}

} // namespace tonalyx::app
