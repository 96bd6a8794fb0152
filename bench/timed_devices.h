// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "heap_counter.h"
#include "midi/device_list.h"
#include "midi/midi_backend.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace tonalyx::bench {

// When the last message left the program for its device, and the main thread's allocation count
// then: where a press has left the program, whatever the device.
struct SendMarks {
    std::chrono::steady_clock::time_point lastReturn {};
    std::uint64_t allocationsAtLastReturn = 0;
    std::uint64_t messages = 0;
};

// Passes everything on to a real backend and notes, as each message's send returns, the time and
// the allocation count in `marks`.
class TimedBackend final : public midi::MidiBackend {
public:
    TimedBackend(std::unique_ptr<midi::MidiBackend> real, SendMarks& marks)
        : real_(std::move(real))
        , marks_(marks)
    { }

    midi::InputRoute* input() override { return real_->input(); }
    std::vector<midi::MidiPort> ports() override { return real_->ports(); }
    std::unique_ptr<midi::MidiConnection> open(const std::string& identity) override
    {
        auto connection = real_->open(identity);
        if (!connection)
            return nullptr;
        return std::make_unique<Connection>(std::move(connection), marks_);
    }

private:
    class Connection final : public midi::MidiConnection {
    public:
        Connection(std::unique_ptr<midi::MidiConnection> real, SendMarks& marks)
            : real_(std::move(real))
            , marks_(marks)
        { }
        bool send(midi::MessageBytes message) override
        {
            const bool sent = real_->send(message);
            marks_.lastReturn = std::chrono::steady_clock::now();
            marks_.allocationsAtLastReturn = allocationsOfThisThread();
            ++marks_.messages;
            return sent;
        }
        void reset() override { real_->reset(); }
        void prepare(std::int32_t bank, std::int32_t program) override
        {
            real_->prepare(bank, program);
        }

    private:
        std::unique_ptr<midi::MidiConnection> real_;
        SendMarks& marks_;
    };

    std::unique_ptr<midi::MidiBackend> real_;
    SendMarks& marks_;
};

// Every backend of `backends`, timed into `marks`.
inline std::vector<std::unique_ptr<midi::MidiBackend>> timed(
    std::vector<std::unique_ptr<midi::MidiBackend>> backends, SendMarks& marks)
{
    for (auto& backend : backends)
        backend = std::make_unique<TimedBackend>(std::move(backend), marks);
    return backends;
}

} // namespace tonalyx::bench
