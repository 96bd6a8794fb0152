#pragma once

#include "midi/midi_out_service.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::testing {

// A MIDI output service that records every call in order, with its device and bytes, and can be
// told which opens fail. Handles are device number + 1, so a failed open's zero handle is never
// open, and sends on it are refused as the real platform refuses them.
class RecordingMidiOutService final : public midi::MidiOutService {
public:
    enum class CallKind { Count, Caps, Open, Close, Reset, Short, Prepare, Long };

    struct Call {
        CallKind kind;
        std::int32_t device; // the device the call was about; -1 for Count and for dead handles
        std::vector<std::uint8_t> bytes; // the wire bytes of a short or long message
        midi::MidiResult result;
        friend bool operator==(const Call&, const Call&) = default;
    };

    // Names are taken as they are given, cut or zero-padded to the 32-byte field.
    explicit RecordingMidiOutService(std::vector<std::string> deviceNames = {});
    // A device whose 32-byte name field is given raw, without the zero byte a string would add.
    void addDeviceWithRawName(std::string_view field);
    void failOpenOf(std::int32_t device) { failingOpens_.insert(device); }
    void allowOpenOf(std::int32_t device) { failingOpens_.erase(device); }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    // The bytes that actually reached each device, in order, as one stream.
    std::vector<std::uint8_t> deliveredTo(std::int32_t device) const;

    std::uint32_t deviceCount() override;
    midi::MidiResult deviceCaps(std::int32_t device, midi::MidiOutCaps& caps) override;
    midi::MidiResult open(midi::MidiOutHandle& handle, std::int32_t device) override;
    midi::MidiResult close(midi::MidiOutHandle handle) override;
    midi::MidiResult reset(midi::MidiOutHandle handle) override;
    midi::MidiResult shortMessage(midi::MidiOutHandle handle, std::uint32_t packed) override;
    midi::MidiResult prepareHeader(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override;
    midi::MidiResult longMessage(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override;

private:
    bool exists(std::int32_t device) const;
    // The device behind an open handle, or -1.
    std::int32_t openDevice(midi::MidiOutHandle handle) const;
    midi::MidiResult record(
        CallKind kind, std::int32_t device, std::vector<std::uint8_t> bytes, bool accepted);

    std::vector<midi::MidiOutCaps> devices_;
    std::set<std::int32_t> failingOpens_;
    std::set<std::int32_t> openDevices_;
    std::vector<Call> calls_;
};

// The bytes a packed short message puts on the wire: status and one data byte for Program
// Change and Channel Pressure, two for the other channel messages.
std::vector<std::uint8_t> wireBytes(std::uint32_t packed);

} // namespace tonalyx::testing
