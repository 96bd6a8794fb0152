#include "lifecycle.h"

#include "catalogue/tone_catalogue.h"
#include "device_name_text.h"
#include "messages.h"
#include "midi/midi_out_port.h"
#include "platform.h"
#include "ui/main_window.h"
#include "window_placement.h"

#include <QGuiApplication>
#include <QLineEdit>
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

Lifecycle::Lifecycle(midi::MidiOutPort& port, ui::TForm1& window,
    selection::ToneNameTable& toneNames, Platform& platform)
    : port_(port)
    , window_(window)
    , toneNames_(toneNames)
    , platform_(platform)
{ }

void Lifecycle::FormCreate()
{
    if (port_.countDevices() == 0)
        platform_.showMessage(messages::noDevice());
    port_.setDeviceCount(port_.countDevices());

    settings_.emplace(SettingsFile::pathBesideExecutable(platform_.executablePath()));
    if (settings_->load() == SettingsFile::LoadResult::Unreadable) {
        keepUnreadableFile_ = true;
        platform_.showError(messages::cannotReadFile(settings_->path()));
    }

    const QRect defaults = kDefaultWindowPlacement;
    QRect saved;
    saved.setHeight(settings_->readInteger("window", "height", defaults.height()));
    saved.setWidth(settings_->readInteger("window", "width", defaults.width()));
    saved.moveTop(settings_->readInteger("window", "top", defaults.top()));
    saved.moveLeft(settings_->readInteger("window", "left", defaults.left()));
    window_.setOuterGeometry(reachablePlacement(saved, availableScreenAreas()));

    std::int32_t device = settings_->readInteger("Dev", "Dev_num", 0);
    // A negative number is passed on as it is: the open refuses it and says so.
    if (device >= port_.deviceCount())
        device = 0;
    port_.setDeviceIndex(device);

    if (!port_.open(port_.deviceIndex()))
        platform_.showMessage(messages::cannotOpenDevice());
    port_.sendGsReset();
    platform_.sleep(kGsResetSettleTime);

    window_.deviceReadout().setText(deviceNameForDisplay(port_.deviceName(port_.deviceIndex())));
    window_.programReadout().setText(QStringLiteral("1"));
    window_.bankReadout().setText(QStringLiteral("0"));
    window_.toneReadout().setText(QStringLiteral("piano 1"));

    catalogue::fillToneNameTable(toneNames_);
}

bool Lifecycle::FormClose()
{
    port_.close();
    if (!settings_)
        return true;

    const QRect outer = window_.outerGeometry();
    settings_->writeInteger("window", "Height", outer.height());
    settings_->writeInteger("window", "Width", outer.width());
    settings_->writeInteger("window", "Top", outer.top());
    settings_->writeInteger("window", "Left", outer.left());
    settings_->writeInteger("dev", "dev_num", port_.deviceIndex());

    if (!keepUnreadableFile_ && !settings_->save()) {
        platform_.showError(messages::cannotWriteFile(settings_->path()));
        return false;
    }
    settings_.reset();
    return true;
}

} // namespace tonalyx::app
