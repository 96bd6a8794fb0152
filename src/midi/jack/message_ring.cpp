// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_ring.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace tonalyx::midi {

MessageRing::MessageRing(std::size_t capacity)
    : capacity_(std::max(capacity, kHeaderSize + 1))
    // Value-initialised, so every page is touched now.
    , bytes_(std::make_unique<std::uint8_t[]>(capacity_))
{
    // Best effort: without the right to lock memory the ring still works, at the risk of a page
    // fault on the process thread.
    mlock(bytes_.get(), capacity_);
}

void MessageRing::copyIn(std::size_t at, const void* from, std::size_t size)
{
    const auto start = at % capacity_;
    const auto first = std::min(size, capacity_ - start);
    std::memcpy(bytes_.get() + start, from, first);
    std::memcpy(bytes_.get(), static_cast<const std::uint8_t*>(from) + first, size - first);
}

void MessageRing::copyOut(std::size_t at, void* to, std::size_t size) const
{
    const auto start = at % capacity_;
    const auto first = std::min(size, capacity_ - start);
    std::memcpy(to, bytes_.get() + start, first);
    std::memcpy(static_cast<std::uint8_t*>(to) + first, bytes_.get(), size - first);
}

bool MessageRing::push(
    std::uint32_t tag, std::span<const std::uint8_t> message, std::uint32_t frame)
{
    const auto written = written_.load(std::memory_order_relaxed);
    // Acquire: the reader's copying out of the space it freed is over.
    const auto queued = written - read_.load(std::memory_order_acquire);
    if (message.size() > largestMessage() || kHeaderSize + message.size() > capacity_ - queued)
        return false;
    const Header header { tag, static_cast<std::uint32_t>(message.size()), frame };
    copyIn(written, &header, kHeaderSize);
    copyIn(written + kHeaderSize, message.data(), message.size());
    // Release: header and bytes become visible to the reader together.
    written_.store(written + kHeaderSize + message.size(), std::memory_order_release);
    return true;
}

std::optional<MessageRing::Front> MessageRing::front() const
{
    const auto read = read_.load(std::memory_order_relaxed);
    if (written_.load(std::memory_order_acquire) == read)
        return std::nullopt;
    Header header {};
    copyOut(read, &header, kHeaderSize);
    return Front { header.tag, header.size, header.frame };
}

void MessageRing::copyFront(std::span<std::uint8_t> to) const
{
    copyOut(read_.load(std::memory_order_relaxed) + kHeaderSize, to.data(), to.size());
}

void MessageRing::pop()
{
    const auto read = read_.load(std::memory_order_relaxed);
    Header header {};
    copyOut(read, &header, kHeaderSize);
    read_.store(read + kHeaderSize + header.size, std::memory_order_release);
}

bool MessageRing::empty() const
{
    return written_.load(std::memory_order_acquire) == read_.load(std::memory_order_acquire);
}

} // namespace tonalyx::midi
