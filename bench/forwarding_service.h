#pragma once

#include "heap_counter.h"
#include "midi/midi_out_service.h"

#include <chrono>

namespace tonalyx::bench {

// Passes every call on to the real service and notes, when a short message returns, the time and
// the main thread's allocation count: where a press has left the program, whatever the device.
class ForwardingService final : public midi::MidiOutService {
public:
    explicit ForwardingService(midi::MidiOutService& real)
        : real_(real)
    { }

    std::uint32_t deviceCount() override { return real_.deviceCount(); }
    midi::MidiResult deviceCaps(std::int32_t device, midi::MidiOutCaps& caps) override
    {
        return real_.deviceCaps(device, caps);
    }
    midi::MidiResult open(midi::MidiOutHandle& handle, std::int32_t device) override
    {
        return real_.open(handle, device);
    }
    midi::MidiResult close(midi::MidiOutHandle handle) override { return real_.close(handle); }
    midi::MidiResult reset(midi::MidiOutHandle handle) override { return real_.reset(handle); }
    midi::MidiResult shortMessage(midi::MidiOutHandle handle, std::uint32_t packed) override
    {
        const auto result = real_.shortMessage(handle, packed);
        lastReturn_ = std::chrono::steady_clock::now();
        allocationsAtLastReturn_ = allocationsOfThisThread();
        ++shortMessages_;
        return result;
    }
    midi::MidiResult prepareHeader(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override
    {
        return real_.prepareHeader(handle, header);
    }
    midi::MidiResult longMessage(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override
    {
        return real_.longMessage(handle, header);
    }

    std::chrono::steady_clock::time_point lastReturn() const { return lastReturn_; }
    std::uint64_t allocationsAtLastReturn() const { return allocationsAtLastReturn_; }
    std::uint64_t shortMessages() const { return shortMessages_; }

private:
    midi::MidiOutService& real_;
    std::chrono::steady_clock::time_point lastReturn_ {};
    std::uint64_t allocationsAtLastReturn_ = 0;
    std::uint64_t shortMessages_ = 0;
};

} // namespace tonalyx::bench
