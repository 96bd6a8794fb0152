// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_out_port.h"

namespace tonalyx::midi {

MidiOutPort::MidiOutPort(DeviceList& devices)
    : devices_(devices)
{ }

bool MidiOutPort::open(std::int32_t device)
{
    connection_.reset();
    connection_ = devices_.open(device);
    return connection_ != nullptr;
}

void MidiOutPort::close()
{
    connection_.reset();
}

void MidiOutPort::reset()
{
    if (connection_)
        connection_->reset();
}

void MidiOutPort::send(const ShortMessage& message)
{
    send(message.bytes());
}

void MidiOutPort::sendGsReset()
{
    send(MessageBytes(GsResetMessage));
}

void MidiOutPort::prepare(std::int32_t bank, std::int32_t program)
{
    if (connection_)
        connection_->prepare(bank, program);
}

std::optional<DrumSetsHeld> MidiOutPort::drumSetsHeld() const
{
    return connection_ ? connection_->drumSetsHeld() : std::nullopt;
}

void MidiOutPort::send(MessageBytes message)
{
    if (connection_)
        connection_->send(message);
}

} // namespace tonalyx::midi
