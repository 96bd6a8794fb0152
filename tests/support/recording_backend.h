// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/device_list.h"
#include "midi/input/input_route.h"
#include "midi/midi_backend.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tonalyx::testing {

using Bytes = std::vector<std::uint8_t>;

// A backend whose ports record every open, message and close in order, with the device's number
// and the bytes, and can be told which opens fail. Its input is played into by the test, on the
// test's thread or on one of its own, as a real input's thread would: the record is then written
// from two threads, in the order the calls happened, and read as a copy taken at one moment.
class RecordingBackend final : public midi::MidiBackend {
public:
    enum class CallKind { Open, Send, Close };

    struct Call {
        CallKind kind;
        std::int32_t device;
        Bytes bytes; // of a message sent
        bool accepted; // false for an open that failed
        friend bool operator==(const Call&, const Call&) = default;
    };

    // Names are taken as they are given, zero bytes and all.
    explicit RecordingBackend(std::vector<std::string> portNames = {});

    void failOpenOf(std::int32_t device) { failingOpens_.insert(device); }
    void allowOpenOf(std::int32_t device) { failingOpens_.erase(device); }

    // A hint that a press may come, kept apart from the calls: it is no message, and it comes
    // with every move of the pointer and the focus.
    struct Preparation {
        std::int32_t device;
        std::int32_t bank;
        std::int32_t program;
        friend bool operator==(const Preparation&, const Preparation&) = default;
    };

    std::vector<Call> calls() const
    {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    // The calls so far, cleared from the record in the same moment: none made meanwhile is lost.
    std::vector<Call> takeCalls()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }
    void clearCalls()
    {
        const std::lock_guard lock(mutex_);
        calls_.clear();
        preparations_.clear();
    }
    std::vector<Preparation> preparations() const
    {
        const std::lock_guard lock(mutex_);
        return preparations_;
    }
    std::vector<CallKind> callKinds() const;
    // The bytes that reached a device, in order, as one stream.
    Bytes deliveredTo(std::int32_t device) const;
    // Every message sent to any device, in order.
    std::vector<Bytes> sentMessages() const;

    // What a MIDI keyboard connected to the program's input would send, from one thread at a time.
    void play(const Bytes& message) { input_.push(message); }
    void sourcesGone() { input_.pushSourcesGone(); }
    midi::InputRoute* input() override { return &input_; }

    std::vector<midi::MidiPort> ports() override;
    std::unique_ptr<midi::MidiConnection> open(const std::string& identity) override;

private:
    class Connection;
    void record(Call call);

    std::vector<std::string> names_;
    std::set<std::int32_t> failingOpens_;
    midi::InputRoute input_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<Preparation> preparations_;
};

// The program's devices, all on one recording backend.
class RecordedDevices {
public:
    explicit RecordedDevices(std::vector<std::string> names = {})
        : RecordedDevices(std::make_unique<RecordingBackend>(std::move(names)))
    { }

    RecordingBackend& recorder() { return recorder_; }
    const RecordingBackend& recorder() const { return recorder_; }
    midi::DeviceList& list() { return list_; }

private:
    explicit RecordedDevices(std::unique_ptr<RecordingBackend> backend)
        : recorder_(*backend)
        , list_(only(std::move(backend)))
    { }
    static std::vector<std::unique_ptr<midi::MidiBackend>> only(
        std::unique_ptr<RecordingBackend> backend)
    {
        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        backends.push_back(std::move(backend));
        return backends;
    }

    RecordingBackend& recorder_;
    midi::DeviceList list_;
};

} // namespace tonalyx::testing
