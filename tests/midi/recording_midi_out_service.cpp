#include "recording_midi_out_service.h"

#include <algorithm>

namespace tonalyx::testing {

using midi::kMidiError;
using midi::kMidiOk;
using midi::MidiResult;

std::vector<std::uint8_t> wireBytes(std::uint32_t packed)
{
    const auto status = static_cast<std::uint8_t>(packed & 0xFF);
    const auto data1 = static_cast<std::uint8_t>((packed >> 8) & 0xFF);
    const auto data2 = static_cast<std::uint8_t>((packed >> 16) & 0xFF);
    const auto kind = status & 0xF0;
    if (kind == 0xC0 || kind == 0xD0)
        return { status, data1 };
    return { status, data1, data2 };
}

RecordingMidiOutService::RecordingMidiOutService(std::vector<std::string> deviceNames)
{
    for (const auto& name : deviceNames) {
        midi::MidiOutCaps caps {};
        std::copy_n(
            name.begin(), std::min(name.size(), caps.productName.size()), caps.productName.begin());
        devices_.push_back(caps);
    }
}

void RecordingMidiOutService::addDeviceWithRawName(std::string_view field)
{
    midi::MidiOutCaps caps {};
    std::copy_n(
        field.begin(), std::min(field.size(), caps.productName.size()), caps.productName.begin());
    devices_.push_back(caps);
}

std::vector<std::uint8_t> RecordingMidiOutService::deliveredTo(std::int32_t device) const
{
    std::vector<std::uint8_t> stream;
    for (const auto& call : calls_) {
        if (call.device == device && call.result == kMidiOk)
            stream.insert(stream.end(), call.bytes.begin(), call.bytes.end());
    }
    return stream;
}

bool RecordingMidiOutService::exists(std::int32_t device) const
{
    return device >= 0 && static_cast<std::size_t>(device) < devices_.size();
}

std::int32_t RecordingMidiOutService::openDevice(midi::MidiOutHandle handle) const
{
    const auto device = static_cast<std::int32_t>(handle) - 1;
    return handle != 0 && openDevices_.contains(device) ? device : -1;
}

MidiResult RecordingMidiOutService::record(
    CallKind kind, std::int32_t device, std::vector<std::uint8_t> bytes, bool accepted)
{
    const MidiResult result = accepted ? kMidiOk : kMidiError;
    calls_.push_back({ kind, device, std::move(bytes), result });
    return result;
}

std::uint32_t RecordingMidiOutService::deviceCount()
{
    record(CallKind::Count, -1, {}, true);
    return static_cast<std::uint32_t>(devices_.size());
}

MidiResult RecordingMidiOutService::deviceCaps(std::int32_t device, midi::MidiOutCaps& caps)
{
    if (exists(device))
        caps = devices_[static_cast<std::size_t>(device)];
    return record(CallKind::Caps, device, {}, exists(device));
}

MidiResult RecordingMidiOutService::open(midi::MidiOutHandle& handle, std::int32_t device)
{
    const bool accepted
        = exists(device) && !failingOpens_.contains(device) && !openDevices_.contains(device);
    if (accepted) {
        openDevices_.insert(device);
        handle = static_cast<midi::MidiOutHandle>(device) + 1;
    } else {
        handle = 0;
    }
    return record(CallKind::Open, device, {}, accepted);
}

MidiResult RecordingMidiOutService::close(midi::MidiOutHandle handle)
{
    const auto device = openDevice(handle);
    openDevices_.erase(device);
    return record(CallKind::Close, device, {}, device >= 0);
}

MidiResult RecordingMidiOutService::reset(midi::MidiOutHandle handle)
{
    const auto device = openDevice(handle);
    return record(CallKind::Reset, device, {}, device >= 0);
}

MidiResult RecordingMidiOutService::shortMessage(midi::MidiOutHandle handle, std::uint32_t packed)
{
    const auto device = openDevice(handle);
    return record(CallKind::Short, device, wireBytes(packed), device >= 0);
}

MidiResult RecordingMidiOutService::prepareHeader(
    midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header)
{
    const auto device = openDevice(handle);
    if (device >= 0)
        header.flags = 1;
    return record(CallKind::Prepare, device, {}, device >= 0);
}

MidiResult RecordingMidiOutService::longMessage(
    midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header)
{
    const auto device = openDevice(handle);
    // Like the real platform, refuse a header that was not prepared for a live port.
    const bool accepted = device >= 0 && header.flags != 0 && header.data != nullptr;
    std::vector<std::uint8_t> bytes;
    if (header.data != nullptr)
        bytes.assign(header.data, header.data + header.length);
    return record(CallKind::Long, device, std::move(bytes), accepted);
}

} // namespace tonalyx::testing
