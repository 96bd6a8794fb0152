#include "device_commands.h"

#include "device_name_text.h"
#include "messages.h"
#include "midi/midi_out_port.h"
#include "platform.h"
#include "selection/previewer.h"
#include "ui/main_window.h"

#include <QLineEdit>
#include <chrono>
#include <cstdint>

namespace tonalyx::app {

namespace {
// Twice the pause of start-up: a device just opened may still be settling.
constexpr std::chrono::milliseconds kSwitchSettleTime { 200 };
} // namespace

DeviceCommands::DeviceCommands(midi::MidiOutPort& port, selection::Previewer& previewer,
    ui::TForm1& window, Platform& platform)
    : port_(port)
    , previewer_(previewer)
    , window_(window)
    , platform_(platform)
{ }

void DeviceCommands::Button257Click()
{
    port_.close();
    // Wraps only on exact equality: with no device the number keeps growing, and every open
    // fails and says so.
    const std::int64_t next = std::int64_t { port_.deviceIndex() } + 1;
    port_.setDeviceIndex(
        next == port_.deviceCount() || next > INT32_MAX ? 0 : static_cast<std::int32_t>(next));

    if (!port_.open(port_.deviceIndex()))
        platform_.showMessage(messages::cannotOpenDevice());
    port_.reset();
    port_.sendGsReset();
    platform_.sleep(kSwitchSettleTime);

    previewer_.selectFirstProgramAndBank();
    window_.deviceReadout().setText(deviceNameForDisplay(port_.deviceName(port_.deviceIndex())));
}

void DeviceCommands::Button262Click()
{
    port_.sendGsReset();
}

} // namespace tonalyx::app
