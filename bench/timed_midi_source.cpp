// SPDX-License-Identifier: GPL-3.0-or-later
#include "timed_midi_source.h"

#include <algorithm>
#include <cerrno>
#include <jack/midiport.h>

namespace tonalyx::bench {

namespace {
constexpr std::size_t kRingMessages = 1024;
}

TimedMidiSource::TimedMidiSource(
    const std::string& clientName, std::initializer_list<const char*> ports)
{
    jack_status_t status {};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client_ == nullptr)
        return;
    queued_ = jack_ringbuffer_create(kRingMessages * sizeof(Message));
    bool registered = queued_ != nullptr;
    for (const char* name : ports) {
        if (portCount_ == kMaxPorts)
            break;
        ports_[portCount_]
            = jack_port_register(client_, name, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        registered = registered && ports_[portCount_] != nullptr;
        ++portCount_;
    }
    if (!registered || jack_set_process_callback(client_, &TimedMidiSource::process, this) != 0
        || jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

TimedMidiSource::~TimedMidiSource()
{
    if (client_ != nullptr)
        jack_client_close(client_);
    if (queued_ != nullptr)
        jack_ringbuffer_free(queued_);
}

int TimedMidiSource::process(jack_nframes_t frames, void* self)
{
    auto& source = *static_cast<TimedMidiSource*>(self);
    std::array<void*, kMaxPorts> buffers {};
    bool linked = true;
    for (int port = 0; port < source.portCount_; ++port) {
        buffers[port] = jack_port_get_buffer(source.ports_[port], frames);
        jack_midi_clear_buffer(buffers[port]);
        linked = linked && jack_port_connected(source.ports_[port]) > 0;
    }
    // Written in a period without every connection, a message would go one way only.
    if (!linked)
        return 0;
    std::uint64_t written = 0;
    // A period's events go in the order of their frames: none before the one written last.
    std::uint32_t offset = 0;
    while (jack_ringbuffer_read_space(source.queued_) >= sizeof(Message)) {
        Message message;
        jack_ringbuffer_peek(source.queued_, reinterpret_cast<char*>(&message), sizeof message);
        bool fits = true;
        for (int port = 0; port < source.portCount_; ++port)
            fits = fits && jack_midi_max_event_size(buffers[port]) >= message.size;
        if (!fits)
            break; // the rest in the next period
        offset = std::clamp(message.offset, offset, frames - 1);
        for (int port = 0; port < source.portCount_; ++port)
            jack_midi_event_write(buffers[port], offset, message.bytes.data(), message.size);
        jack_ringbuffer_read_advance(source.queued_, sizeof message);
        ++written;
    }
    if (written > 0) {
        source.writtenFrame_.store(jack_last_frame_time(source.client_), std::memory_order_relaxed);
        source.writtenTime_.store(
            Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        source.writtenMessages_.fetch_add(written, std::memory_order_release);
    }
    return 0;
}

bool TimedMidiSource::connect(int port, const std::string& target)
{
    if (client_ == nullptr || port < 0 || port >= portCount_)
        return false;
    const int connected = jack_connect(client_, jack_port_name(ports_[port]), target.c_str());
    return connected == 0 || connected == EEXIST;
}

bool TimedMidiSource::play(std::span<const std::uint8_t> message, std::uint32_t offset)
{
    Message queued;
    queued.offset = offset;
    if (message.empty() || message.size() > queued.bytes.size()
        || jack_ringbuffer_write_space(queued_) < sizeof queued)
        return false;
    queued.size = static_cast<std::uint32_t>(message.size());
    std::copy(message.begin(), message.end(), queued.bytes.begin());
    jack_ringbuffer_write(queued_, reinterpret_cast<const char*>(&queued), sizeof queued);
    return true;
}

TimedMidiSource::Written TimedMidiSource::written() const
{
    Written written;
    written.messages = writtenMessages_.load(std::memory_order_acquire);
    written.frame = writtenFrame_.load(std::memory_order_relaxed);
    written.time = Clock::time_point(Clock::duration(writtenTime_.load(std::memory_order_relaxed)));
    return written;
}

} // namespace tonalyx::bench
