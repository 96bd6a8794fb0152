#include "midi_out_port.h"

#include <algorithm>
#include <climits>

namespace tonalyx::midi {

MidiOutPort::MidiOutPort(MidiOutService& service)
    : service_(service)
{ }

std::int32_t MidiOutPort::countDevices()
{
    return static_cast<std::int32_t>(std::min<std::uint32_t>(service_.deviceCount(), INT32_MAX));
}

std::string MidiOutPort::deviceName(std::int32_t device)
{
    MidiOutCaps caps {};
    service_.deviceCaps(device, caps);
    const auto& name = caps.productName;
    return { name.begin(), std::find(name.begin(), name.end(), '\0') };
}

bool MidiOutPort::open(std::int32_t device)
{
    return service_.open(handle_, device) == kMidiOk;
}

void MidiOutPort::close()
{
    service_.close(handle_);
}

void MidiOutPort::reset()
{
    service_.reset(handle_);
}

void MidiOutPort::sendShortMessage(ShortMessage message)
{
    service_.shortMessage(handle_, message.packed);
}

void MidiOutPort::sendGsReset()
{
    header_.data = GsResetMessage.data();
    header_.length = GsResetMessage.size();
    service_.prepareHeader(handle_, header_);
    service_.longMessage(handle_, header_);
}

} // namespace tonalyx::midi
