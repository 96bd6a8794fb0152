// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_source.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <jack/midiport.h>
#include <thread>

namespace tonalyx::testing {

namespace {
constexpr std::size_t kRingBytes = 1 << 16;
}

JackSource::JackSource(const std::string& clientName)
    : queued_(kRingBytes)
{
    jack_status_t status {};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client_ == nullptr)
        return;
    port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port_ == nullptr || jack_set_process_callback(client_, &JackSource::process, this) != 0
        || jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackSource::~JackSource()
{
    if (client_ != nullptr)
        jack_client_close(client_);
}

int JackSource::process(jack_nframes_t frames, void* self)
{
    auto& source = *static_cast<JackSource*>(self);
    void* buffer = jack_port_get_buffer(source.port_, frames);
    jack_midi_clear_buffer(buffer);
    // Written in a period without the connection, the events would go nowhere.
    const bool linked = jack_port_connected(source.port_) > 0;
    source.linked_.store(linked);
    if (!linked)
        return 0;
    // A period's events go in the order of their frames: none before the one written last.
    std::uint32_t frame = 0;
    bool written = false;
    while (const auto front = source.queued_.front()) {
        frame = std::clamp(front->frame, frame, frames - 1);
        // Asked for when it cannot fit, an event makes libjack complain on the terminal.
        auto* event = front->size <= jack_midi_max_event_size(buffer)
            ? jack_midi_event_reserve(buffer, frame, front->size)
            : nullptr;
        if (event == nullptr)
            break; // the rest in the next period
        source.queued_.copyFront({ event, front->size });
        source.queued_.pop();
        written = true;
    }
    if (written)
        source.lastWrittenPeriod_.store(jack_last_frame_time(source.client_));
    return 0;
}

bool JackSource::connectTo(const std::string& target)
{
    if (client_ == nullptr)
        return false;
    const int connected = jack_connect(client_, jack_port_name(port_), target.c_str());
    if (connected != 0 && connected != EEXIST)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!linked_.load()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool JackSource::disconnectFrom(const std::string& target)
{
    return client_ != nullptr
        && jack_disconnect(client_, jack_port_name(port_), target.c_str()) == 0;
}

bool JackSource::connectPorts(const std::string& from, const std::string& to)
{
    return client_ != nullptr && jack_connect(client_, from.c_str(), to.c_str()) == 0;
}

bool JackSource::portsConnected(const std::string& from, const std::string& to) const
{
    const auto* port = client_ != nullptr ? jack_port_by_name(client_, from.c_str()) : nullptr;
    return port != nullptr && jack_port_connected_to(port, to.c_str()) != 0;
}

bool JackSource::play(const std::vector<std::uint8_t>& message, std::uint32_t frame)
{
    return queued_.push(0, message, frame);
}

} // namespace tonalyx::testing
