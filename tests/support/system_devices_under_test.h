// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "builtin_synth_peer.h"
#include "midi/system_devices.h"

namespace tonalyx::testing {

// The machine's real devices as the program numbers them, with the built-in synth within reach.
class SystemDevicesUnderTest {
public:
    explicit SystemDevicesUnderTest(midi::SystemDevicesConfig config)
        : SystemDevicesUnderTest(midi::systemBackends(std::move(config)))
    { }

    midi::DeviceList& list() { return list_; }
    // The synth once device 0 has been opened.
    midi::BuiltInSynth* synth() { return BuiltInSynthPeer::synthOf(builtIn_); }

private:
    explicit SystemDevicesUnderTest(std::vector<std::unique_ptr<midi::MidiBackend>> backends)
        : builtIn_(static_cast<midi::BuiltInSynthBackend&>(*backends.front()))
        , list_(std::move(backends))
    { }

    midi::BuiltInSynthBackend& builtIn_;
    midi::DeviceList list_;
};

} // namespace tonalyx::testing
