// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_commands.h"

#include "current_device.h"
#include "lifecycle.h"
#include "midi/midi_out_port.h"
#include "selection/previewer.h"
#include "selection/readouts.h"
#include "shell/messages.h"
#include "shell/platform.h"

#include <chrono>

namespace tonalyx::app {

namespace {
// Twice the pause of start-up: a device just opened may still be settling.
constexpr std::chrono::milliseconds kSwitchSettleTime { 200 };
} // namespace

DeviceCommands::DeviceCommands(midi::MidiOutPort& port, CurrentDevice& device,
    selection::Previewer& previewer, selection::Readouts& readouts, shell::Platform& platform,
    const Lifecycle& lifecycle)
    : port_(port)
    , device_(device)
    , previewer_(previewer)
    , readouts_(readouts)
    , platform_(platform)
    , lifecycle_(lifecycle)
{ }

void DeviceCommands::switchToNextDevice()
{
    port_.close();
    device_.moveToNext();
    if (!port_.open(device_.number)) {
        // The box runs an event loop of its own, in which a signal may end the program.
        platform_.showMessage(shell::messages::cannotOpenDevice());
        if (lifecycle_.hasEnded())
            return;
    }
    port_.reset();
    port_.sendGsReset();
    platform_.sleep(kSwitchSettleTime);

    previewer_.selectFirstProgramAndBank();
    readouts_.showDeviceName(port_.deviceName(device_.number));
    readouts_.showDrumSetsHeld(port_.drumSetsHeld());
}

void DeviceCommands::sendGsReset()
{
    port_.sendGsReset();
}

} // namespace tonalyx::app
