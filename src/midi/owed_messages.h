// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_messages.h"
#include "midi_stream.h"
#include "midi_vocabulary.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace tonalyx::midi {

// What a bounded queue between two threads still owes its reader when the writer outruns it.
// A full queue must never lose what ends a sound: a Note Off (or a Note On of velocity 0), a
// sustain pedal let go, a controller that silences a channel, the GS reset. Those are kept here,
// in a record of fixed size, with the latest value of each controller, program, channel pressure
// and pitch bend of each channel, which make every earlier value redundant. What nothing later
// replaces is left out and counted: a Note On (and then, so that each key stays balanced, its
// own Note Off), key pressure, any other system exclusive message.
//
// Once anything is owed, everything newer is owed too (or left out) until the reader has taken
// it all, so nothing overtakes a release of its note. The reader takes the record after the
// queue's older contents, and the writer resumes the queue only after that.
//
// Neither side locks, allocates or waits: the writer may be JACK's process thread, the reader
// too.
class OwedMessages {
public:
    OwedMessages();
    OwedMessages(const OwedMessages&) = delete;
    OwedMessages& operator=(const OwedMessages&) = delete;

    // --- The writer's thread.
    // Hands `message` to `push` (which tries to queue it and says whether it could), or keeps it
    // here when nothing owed may be overtaken or `push` has no room. False when the message is
    // left out for good.
    template <typename Push> bool send(MessageBytes message, Push&& push)
    {
        // Read once: the writer may be JACK's process thread, with a flood to get through.
        const auto channel = readChannelMessage(message);
        if (swallowed(channel))
            return false;
        if (!owing() && push(message)) {
            passed(channel);
            return true;
        }
        return keep(message, channel);
    }
    // A new stream begins on the writer's side: no note sent before is remembered as sounding.
    void startOver();

    // --- The reader's thread.
    // Hands `write` what is owed, in the order that keeps each sound ended: the GS reset, then for
    // each channel its silencing controllers, its pedal let go, its Note Offs (as Note On
    // velocity 0), its other controllers, its program, its pressure and its pitch bend. Stops
    // where `write` returns false (no room), leaving the rest owed. True when nothing is owed.
    template <typename Write> bool flush(Write&& write)
    {
        const auto marked = marks_.load(std::memory_order_acquire);
        if (marked == flushed_.load(std::memory_order_relaxed))
            return true;
        const auto each = [](void* context, MessageBytes message) {
            return (*static_cast<std::remove_reference_t<Write>*>(context))(message);
        };
        if (!flushAll(each, &write))
            return false;
        flushed_.store(marked, std::memory_order_release);
        return true;
    }
    // Forgets what is owed, counting it left out: the stream it was for has ended. How many.
    std::uint64_t discard();

    // Either side.
    bool owing() const
    {
        return marks_.load(std::memory_order_acquire) != flushed_.load(std::memory_order_acquire);
    }
    // Messages left out so far.
    std::uint64_t leftOut() const { return leftOut_.load(std::memory_order_relaxed); }

private:
    // One slot per controller, then the program, the channel pressure and the pitch bend.
    static constexpr std::size_t kProgramSlot = 128;
    static constexpr std::size_t kPressureSlot = 129;
    static constexpr std::size_t kBendSlot = 130;
    static constexpr std::size_t kSlots = 131;
    static constexpr std::uint16_t kNone = 0xFFFF;

    // `channel` is the message taken apart, when it is a channel message.
    bool swallowed(const std::optional<ChannelMessage>& channel);
    void passed(const std::optional<ChannelMessage>& channel);
    bool keep(MessageBytes message, const std::optional<ChannelMessage>& channel);
    void mark();
    void leaveOut() { leftOut_.fetch_add(1, std::memory_order_relaxed); }

    // Every owed message in order, through a plain function, so that the order is written once.
    bool flushAll(bool (*write)(void*, MessageBytes), void* context);

    // Shared: set by the writer, taken by the reader.
    std::atomic<bool> gsReset_ { false };
    std::atomic<std::uint32_t> pedalUps_ { 0 }; // one bit per channel
    std::array<std::array<std::atomic<std::uint64_t>, 2>, kChannels> noteOffs_ {};
    std::array<std::array<std::atomic<std::uint16_t>, kSlots>, kChannels> values_;
    // Each keep adds a mark; the reader notes the marks it has flushed entirely.
    std::atomic<std::uint64_t> marks_ { 0 };
    std::atomic<std::uint64_t> flushed_ { 0 };
    std::atomic<std::uint64_t> leftOut_ { 0 };

    // The writer's own: which notes it let through unended, and whose Note Off to leave out for
    // the Note On it left out.
    using NoteSet = std::array<std::array<std::uint64_t, 2>, kChannels>;
    NoteSet sounding_ {};
    NoteSet swallow_ {};
};

} // namespace tonalyx::midi
