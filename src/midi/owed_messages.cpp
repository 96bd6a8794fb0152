// SPDX-License-Identifier: GPL-3.0-or-later
#include "owed_messages.h"

#include "midi_stream.h"

#include <algorithm>
#include <bit>

namespace tonalyx::midi {

namespace {

// Controllers 120 to 127 silence or reset a channel rather than set a value: they go first.
constexpr std::size_t kFirstChannelMode = kAllSoundOffController;

bool isRelease(const ChannelMessage& message)
{
    return message.kind == kNoteOff || (message.kind == kNoteOn && message.data2 == 0);
}

bool isGsReset(MessageBytes message)
{
    return std::equal(message.begin(), message.end(), GsResetMessage.begin(), GsResetMessage.end());
}

std::uint64_t noteBit(std::uint8_t note)
{
    return std::uint64_t { 1 } << (note % 64);
}

ShortMessage channelMessage(std::uint8_t kind, std::size_t channel, std::uint8_t data1,
    std::uint8_t data2, std::uint8_t size)
{
    return { { static_cast<std::uint8_t>(kind | channel), data1, data2 }, size };
}

} // namespace

OwedMessages::OwedMessages()
{
    for (auto& channel : values_)
        for (auto& slot : channel)
            slot.store(kNone, std::memory_order_relaxed);
}

void OwedMessages::startOver()
{
    sounding_ = {};
    swallow_ = {};
}

bool OwedMessages::swallowed(const std::optional<ChannelMessage>& channel)
{
    if (!channel || !isRelease(*channel))
        return false;
    auto& word = swallow_[channel->channel][channel->data1 / 64];
    const auto bit = noteBit(channel->data1);
    if ((word & bit) == 0)
        return false;
    word &= ~bit;
    leaveOut();
    return true;
}

void OwedMessages::passed(const std::optional<ChannelMessage>& channel)
{
    if (!channel || (channel->kind != kNoteOn && channel->kind != kNoteOff))
        return;
    const auto bit = noteBit(channel->data1);
    auto& sounding = sounding_[channel->channel][channel->data1 / 64];
    if (isRelease(*channel)) {
        sounding &= ~bit;
    } else {
        sounding |= bit;
        swallow_[channel->channel][channel->data1 / 64] &= ~bit;
    }
}

bool OwedMessages::keep(MessageBytes message, const std::optional<ChannelMessage>& channel)
{
    if (isGsReset(message)) {
        gsReset_.store(true, std::memory_order_relaxed);
        mark();
        return true;
    }
    if (!channel) {
        leaveOut();
        return false;
    }
    const auto number = channel->channel;
    const auto keepValue = [&](std::size_t slot, std::uint16_t value) {
        if (values_[number][slot].exchange(value, std::memory_order_relaxed) != kNone)
            leaveOut();
        mark();
        return true;
    };
    const auto bit = noteBit(channel->data1);
    const auto word = channel->data1 / 64;
    if (isRelease(*channel)) {
        sounding_[number][word] &= ~bit;
        if ((noteOffs_[number][word].fetch_or(bit, std::memory_order_relaxed) & bit) != 0)
            leaveOut();
        mark();
        return true;
    }
    switch (channel->kind) {
    case kNoteOn:
        // Its Note Off must not reach the device alone, unless an earlier Note On of that key
        // still waits for one.
        if ((sounding_[number][word] & bit) == 0)
            swallow_[number][word] |= bit;
        break;
    case kControlChange:
        if (channel->data1 == kSustainController && channel->data2 < kSwitchOn) {
            pedalUps_.fetch_or(1U << number, std::memory_order_relaxed);
            // The pedal let go makes a value held before it redundant.
            if (values_[number][kSustainController].exchange(kNone, std::memory_order_relaxed)
                != kNone)
                leaveOut();
            mark();
            return true;
        }
        return keepValue(channel->data1, channel->data2);
    case kProgramChange:
        return keepValue(kProgramSlot, channel->data1);
    case kChannelPressure:
        return keepValue(kPressureSlot, channel->data1);
    case kPitchBend:
        return keepValue(
            kBendSlot, static_cast<std::uint16_t>(channel->data1 | channel->data2 << 7));
    default:
        break;
    }
    leaveOut();
    return false;
}

void OwedMessages::mark()
{
    // Release: whatever was kept is seen by the reader that sees the mark.
    marks_.fetch_add(1, std::memory_order_release);
}

bool OwedMessages::flushAll(bool (*write)(void*, MessageBytes), void* context)
{
    const auto put = [&](const ShortMessage& message) { return write(context, message.bytes()); };
    if (gsReset_.load(std::memory_order_relaxed)) {
        if (!write(context, MessageBytes(GsResetMessage)))
            return false;
        gsReset_.store(false, std::memory_order_relaxed);
    }
    // A slot's value, taken and written; put back when there is no room, unless a newer one has
    // replaced it meanwhile.
    const auto flushSlot = [&](std::size_t channel, std::size_t slot) {
        auto& owed = values_[channel][slot];
        const auto value = owed.exchange(kNone, std::memory_order_relaxed);
        if (value == kNone)
            return true;
        const auto low = static_cast<std::uint8_t>(value & 0x7F);
        const auto high = static_cast<std::uint8_t>(value >> 7 & 0x7F);
        ShortMessage message;
        if (slot < kProgramSlot)
            message
                = channelMessage(kControlChange, channel, static_cast<std::uint8_t>(slot), low, 3);
        else if (slot == kProgramSlot)
            message = channelMessage(kProgramChange, channel, low, 0, 2);
        else if (slot == kPressureSlot)
            message = channelMessage(kChannelPressure, channel, low, 0, 2);
        else
            message = channelMessage(kPitchBend, channel, low, high, 3);
        if (put(message))
            return true;
        auto none = kNone;
        if (!owed.compare_exchange_strong(none, value, std::memory_order_relaxed))
            leaveOut();
        return false;
    };
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
        for (std::size_t slot = kFirstChannelMode; slot < kProgramSlot; ++slot)
            if (!flushSlot(channel, slot))
                return false;
        const auto pedal = 1U << channel;
        if ((pedalUps_.load(std::memory_order_relaxed) & pedal) != 0) {
            if (!put(channelMessage(kControlChange, channel, kSustainController, 0, 3)))
                return false;
            pedalUps_.fetch_and(~pedal, std::memory_order_relaxed);
        }
        for (std::size_t word = 0; word < 2; ++word) {
            auto notes = noteOffs_[channel][word].exchange(0, std::memory_order_relaxed);
            while (notes != 0) {
                const auto note = static_cast<std::uint8_t>(word * 64 + std::countr_zero(notes));
                if (!put(channelMessage(kNoteOn, channel, note, 0, 3))) {
                    noteOffs_[channel][word].fetch_or(notes, std::memory_order_relaxed);
                    return false;
                }
                notes &= notes - 1;
            }
        }
        for (std::size_t slot = 0; slot < kFirstChannelMode; ++slot)
            if (!flushSlot(channel, slot))
                return false;
        for (const auto slot : { kProgramSlot, kPressureSlot, kBendSlot })
            if (!flushSlot(channel, slot))
                return false;
    }
    return true;
}

std::uint64_t OwedMessages::discard()
{
    if (!owing())
        return 0;
    const auto marked = marks_.load(std::memory_order_acquire);
    std::uint64_t discarded = 0;
    const auto count = [&](std::uint64_t owed) { discarded += owed; };
    count(gsReset_.exchange(false, std::memory_order_relaxed) ? 1 : 0);
    count(static_cast<std::uint64_t>(
        std::popcount(pedalUps_.exchange(0, std::memory_order_relaxed))));
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
        for (auto& word : noteOffs_[channel])
            count(static_cast<std::uint64_t>(
                std::popcount(word.exchange(0, std::memory_order_relaxed))));
        for (auto& slot : values_[channel])
            count(slot.exchange(kNone, std::memory_order_relaxed) != kNone ? 1 : 0);
    }
    flushed_.store(marked, std::memory_order_release);
    leftOut_.fetch_add(discarded, std::memory_order_relaxed);
    return discarded;
}

} // namespace tonalyx::midi
