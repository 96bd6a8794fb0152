#pragma once

#include "midi_messages.h"
#include "midi_out_service.h"

#include <cstdint>
#include <string>

namespace tonalyx::midi {

// The program's one MIDI output. Each operation is one call to the service (two for the GS
// reset), without buffering or retry. The port deliberately keeps no "is open" flag: after a
// close or a failed open every operation still goes to the service, which refuses it, and only
// the device count and the open's result are ever examined.
class MidiOutPort {
public:
    explicit MidiOutPort(MidiOutService& service);

    std::int32_t countDevices();
    // The device's product name: the name field up to its first zero byte, all of it if none.
    std::string deviceName(std::int32_t device);
    // True when the service opened the device.
    bool open(std::int32_t device);
    void close();
    void reset();
    void sendShortMessage(ShortMessage message);
    void sendGsReset();

    // The number of devices found at start-up, and the device last opened or tried.
    std::int32_t deviceCount() const { return deviceCount_; }
    void setDeviceCount(std::int32_t count) { deviceCount_ = count; }
    std::int32_t deviceIndex() const { return deviceIndex_; }
    void setDeviceIndex(std::int32_t index) { deviceIndex_ = index; }

private:
    MidiOutService& service_;
    MidiOutHandle handle_ = 0;
    std::int32_t deviceIndex_ = 0;
    std::int32_t deviceCount_ = 0;
    // Reused for every GS reset on every device the port opens.
    MidiLongMessageHeader header_ {};
};

} // namespace tonalyx::midi
