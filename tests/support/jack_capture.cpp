// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_capture.h"

#include <chrono>
#include <cstdio>
#include <jack/midiport.h>
#include <thread>

namespace tonalyx::testing {

namespace {

// Room for a flood's worth of events between two collections on a busy machine: a thru writes as
// many into a period as JACK's buffer holds.
constexpr std::size_t kRingBytes = 1 << 20;
// How long a delivery waits for its bytes: long enough for a sender starved by a busy machine.
constexpr double kDeliveryWait = 3;

} // namespace

JackCapture::JackCapture(const std::string& clientName)
{
    jack_status_t status {};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client_ == nullptr)
        return;
    for (auto& slot : slots_)
        slot.events = std::make_unique<midi::MessageRing>(kRingBytes);
    jack_set_process_callback(client_, &JackCapture::process, this);
    jack_set_xrun_callback(client_, &JackCapture::xrun, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackCapture::~JackCapture()
{
    if (client_ != nullptr)
        jack_client_close(client_);
}

int JackCapture::process(jack_nframes_t frames, void* self)
{
    auto& capture = *static_cast<JackCapture*>(self);
    const auto period = jack_last_frame_time(capture.client_);
    for (auto& slot : capture.slots_) {
        auto* port = slot.port.load();
        if (port == nullptr)
            continue;
        void* buffer = jack_port_get_buffer(port, frames);
        const auto count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            // Events the capture itself could not keep are lost to the test's platform, as
            // those of an xrun are, and count as one.
            if (!slot.events->push(0, { event.buffer, event.size }, period + event.time))
                ++capture.xruns_;
        }
    }
    ++capture.cycles_;
    return 0;
}

int JackCapture::xrun(void* self)
{
    ++static_cast<JackCapture*>(self)->xruns_;
    return 0;
}

std::string JackCapture::fullName(const std::string& port) const
{
    return std::string(jack_get_client_name(client_)) + ":" + port;
}

bool JackCapture::serverHasPort(const std::string& fullName) const
{
    return client_ != nullptr && jack_port_by_name(client_, fullName.c_str()) != nullptr;
}

JackCapture::Slot* JackCapture::slotNamed(const std::string& port)
{
    for (auto& slot : slots_) {
        if (slot.port.load() != nullptr && slot.name == port)
            return &slot;
    }
    return nullptr;
}

bool JackCapture::addInput(const std::string& port)
{
    if (client_ == nullptr || slotNamed(port) != nullptr)
        return false;
    for (auto& slot : slots_) {
        if (slot.port.load() != nullptr)
            continue;
        auto* registered
            = jack_port_register(client_, port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (registered == nullptr)
            return false;
        slot.name = port;
        while (slot.events->front())
            slot.events->pop();
        slot.taken.clear();
        slot.takenFrames.clear();
        slot.port = registered;
        return true;
    }
    return false;
}

void JackCapture::waitForCycle()
{
    const auto start = cycles_.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (cycles_.load() < start + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool JackCapture::removeInput(const std::string& port)
{
    auto* slot = slotNamed(port);
    if (slot == nullptr)
        return false;
    auto* registered = slot->port.exchange(nullptr);
    // The process thread may still hold the port for the cycle under way.
    waitForCycle();
    return jack_port_unregister(client_, registered) == 0;
}

const std::vector<std::vector<std::uint8_t>>& JackCapture::collect(const std::string& port)
{
    static const std::vector<std::vector<std::uint8_t>> none;
    auto* slot = slotNamed(port);
    if (slot == nullptr)
        return none;
    while (const auto front = slot->events->front()) {
        std::vector<std::uint8_t> event(front->size);
        slot->events->copyFront(event);
        slot->takenFrames.push_back(front->frame);
        slot->events->pop();
        slot->taken.push_back(std::move(event));
    }
    return slot->taken;
}

std::vector<std::vector<std::uint8_t>> JackCapture::takeEvents(const std::string& port)
{
    return collect(port);
}

void JackCapture::clear(const std::string& port)
{
    takeEvents(port);
    if (auto* slot = slotNamed(port)) {
        slot->taken.clear();
        slot->takenFrames.clear();
    }
}

const std::vector<std::uint32_t>& JackCapture::framesOf(const std::string& port)
{
    static const std::vector<std::uint32_t> none;
    collect(port);
    auto* slot = slotNamed(port);
    return slot == nullptr ? none : slot->takenFrames;
}

std::vector<std::vector<std::uint8_t>> JackCapture::waitForBytes(
    const std::string& port, std::size_t bytes, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    auto events = takeEvents(port);
    while (joined(events).size() < bytes && std::chrono::steady_clock::now() < deadline) {
        if (pause_)
            pause_();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        events = takeEvents(port);
    }
    return events;
}

std::vector<std::vector<std::uint8_t>> JackCapture::deliver(
    const std::string& port, std::size_t bytes, const std::function<void()>& send, int attempts)
{
    std::vector<std::vector<std::uint8_t>> events;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        clear(port);
        const auto xrunsBefore = xruns_.load();
        send();
        events = waitForBytes(port, bytes, kDeliveryWait);
        // The server reports an xrun on another thread, after the period: let it.
        waitForCycle();
        const auto xruns = xruns_.load() - xrunsBefore;
        const auto received = joined(events).size();
        deliveryLost_ = received < bytes && xruns > 0;
        if (!deliveryLost_)
            break;
        std::fprintf(stderr,
            "JackCapture: %s received %zu of %zu bytes in a time with %llu xrun(s): attempt %d "
            "of %d lost to the platform%s\n",
            fullName(port).c_str(), received, bytes, static_cast<unsigned long long>(xruns),
            attempt, attempts, attempt < attempts ? ", trying again" : "");
    }
    return events;
}

std::vector<std::uint8_t> joined(const std::vector<std::vector<std::uint8_t>>& events)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& event : events)
        bytes.insert(bytes.end(), event.begin(), event.end());
    return bytes;
}

} // namespace tonalyx::testing
