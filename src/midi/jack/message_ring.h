// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace tonalyx::midi {

// Whole messages from one thread to one other, without a lock and without waiting: the way from
// the thread that sends to JACK's process thread, which writes them into a port. Each message
// carries a tag, the number of the connection it was sent on, so that the reader can tell those
// of a connection that has ended. Its storage is taken, touched and locked in memory when it is
// made (a page fault would make the process thread miss its period); nothing allocates after.
class MessageRing {
public:
    explicit MessageRing(std::size_t capacity);
    MessageRing(const MessageRing&) = delete;
    MessageRing& operator=(const MessageRing&) = delete;

    // The largest message that fits when the ring is empty.
    std::size_t largestMessage() const { return capacity_ - kHeaderSize; }

    // The writer's side. False, and nothing written, when the whole message does not fit now.
    // `frame` is where in its period the message is due, for one pushed by the reader's own
    // thread during the period; 0 is the period's start.
    bool push(std::uint32_t tag, std::span<const std::uint8_t> message, std::uint32_t frame = 0);

    // The reader's side: the oldest message, its bytes copied out, and taking it away.
    struct Front {
        std::uint32_t tag;
        std::size_t size;
        std::uint32_t frame;
    };
    std::optional<Front> front() const;
    void copyFront(std::span<std::uint8_t> to) const;
    void pop();

    bool empty() const;

private:
    struct Header {
        std::uint32_t tag;
        std::uint32_t size;
        std::uint32_t frame;
    };
    static constexpr std::size_t kHeaderSize = sizeof(Header);

    void copyIn(std::size_t at, const void* from, std::size_t size);
    void copyOut(std::size_t at, void* to, std::size_t size) const;

    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    // Bytes written and bytes read since the start; their difference is what is queued.
    alignas(64) std::atomic<std::size_t> written_ { 0 };
    alignas(64) std::atomic<std::size_t> read_ { 0 };
};

} // namespace tonalyx::midi
