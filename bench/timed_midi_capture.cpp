// SPDX-License-Identifier: GPL-3.0-or-later
#include "timed_midi_capture.h"

#include <algorithm>
#include <jack/midiport.h>
#include <thread>

namespace tonalyx::bench {

namespace {
constexpr std::size_t kRingEvents = 4096;
}

TimedMidiCapture::TimedMidiCapture(
    const std::string& clientName, std::initializer_list<const char*> ports)
{
    jack_status_t status {};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client_ == nullptr)
        return;
    events_ = jack_ringbuffer_create(kRingEvents * sizeof(Event));
    for (const char* name : ports) {
        if (portCount_ == kMaxPorts)
            break;
        ports_[portCount_]
            = jack_port_register(client_, name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        names_[portCount_] = name;
        ++portCount_;
    }
    jack_set_process_callback(client_, &TimedMidiCapture::process, this);
    jack_set_xrun_callback(client_, &TimedMidiCapture::xrun, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

TimedMidiCapture::~TimedMidiCapture()
{
    if (client_ != nullptr)
        jack_client_close(client_);
    if (events_ != nullptr)
        jack_ringbuffer_free(events_);
}

int TimedMidiCapture::process(jack_nframes_t frames, void* self)
{
    auto& capture = *static_cast<TimedMidiCapture*>(self);
    const auto now = std::chrono::steady_clock::now();
    const auto frame = jack_last_frame_time(capture.client_);
    for (int port = 0; port < capture.portCount_; ++port) {
        if (capture.ports_[port] == nullptr)
            continue;
        void* buffer = jack_port_get_buffer(capture.ports_[port], frames);
        const auto count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t received;
            if (jack_midi_event_get(&received, buffer, i) != 0)
                continue;
            Event event;
            event.port = port;
            event.arrival = now;
            event.frame = frame;
            event.offset = received.time;
            event.size = static_cast<std::uint32_t>(received.size);
            std::copy_n(received.buffer, std::min<std::size_t>(received.size, event.bytes.size()),
                event.bytes.begin());
            if (jack_ringbuffer_write_space(capture.events_) >= sizeof event)
                jack_ringbuffer_write(
                    capture.events_, reinterpret_cast<const char*>(&event), sizeof event);
        }
    }
    capture.cycles_.fetch_add(1);
    return 0;
}

int TimedMidiCapture::xrun(void* self)
{
    static_cast<TimedMidiCapture*>(self)->xruns_.fetch_add(1);
    return 0;
}

void TimedMidiCapture::waitForCycles(std::uint64_t count) const
{
    const auto until = cycles_.load() + count;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (cycles_.load() < until && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

std::string TimedMidiCapture::fullName(int port) const
{
    return std::string(jack_get_client_name(client_)) + ":" + names_.at(port);
}

double TimedMidiCapture::periodMicroseconds() const
{
    return 1e6 * jack_get_buffer_size(client_) / jack_get_sample_rate(client_);
}

std::uint32_t TimedMidiCapture::periodFrames() const
{
    return jack_get_buffer_size(client_);
}

std::optional<TimedMidiCapture::Event> TimedMidiCapture::next(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (jack_ringbuffer_read_space(events_) >= sizeof(Event)) {
            Event event;
            jack_ringbuffer_read(events_, reinterpret_cast<char*>(&event), sizeof event);
            return event;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void TimedMidiCapture::drain()
{
    while (next(std::chrono::milliseconds(0))) { }
}

std::int32_t deviceNamed(midi::DeviceList& devices, const std::string& fullName)
{
    for (std::int32_t device = 0; device < devices.count(); ++device) {
        const auto shown = devices.name(device);
        if (!shown.empty() && fullName.starts_with(shown))
            return device;
    }
    return -1;
}

} // namespace tonalyx::bench
