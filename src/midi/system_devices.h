// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "builtin/builtin_synth_backend.h"
#include "device_list.h"

#include <memory>
#include <string>

namespace tonalyx::midi {

// What the machine's devices are made of. The defaults are the program's; tests change them to
// reach the failures a user's machine can have.
struct SystemDevicesConfig {
    BuiltInSynthConfig builtInSynth;
    // The client name under which the program appears to ALSA and JACK.
    std::string clientName = "Tonalyx";
};

// The backends of this machine in the order their ports are numbered: the built-in GS synth
// first, then the ALSA sequencer's writable ports and a running JACK server's MIDI inputs,
// where the machine has them.
std::vector<std::unique_ptr<MidiBackend>> systemBackends(SystemDevicesConfig config = {});

// The devices this machine offers: 0 is the built-in GS synth, then every writable ALSA
// sequencer port, then every MIDI input port of a running JACK server.
std::unique_ptr<DeviceList> makeSystemDeviceList(SystemDevicesConfig config = {});

} // namespace tonalyx::midi
