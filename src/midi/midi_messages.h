// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi_vocabulary.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Every message the program makes, as the bytes that go on the wire. Channel messages all go out
// on MIDI channel 1, except the drum previews, on the drum channel.
namespace tonalyx::midi {

// One whole message: a status byte and its data bytes, or a system exclusive from F0 to F7.
using MessageBytes = std::span<const std::uint8_t>;

// A channel message held by value: every press sends several, and none should wait for the heap.
struct ShortMessage {
    std::array<std::uint8_t, 3> data {};
    std::uint8_t size = 0;

    constexpr MessageBytes bytes() const { return { data.data(), size }; }
    friend constexpr bool operator==(const ShortMessage&, const ShortMessage&) = default;
};

// The first three bytes of `bytes`, as one message: a whole channel message is never longer.
constexpr ShortMessage shortMessageOf(MessageBytes bytes)
{
    ShortMessage message;
    message.size = static_cast<std::uint8_t>(std::min<std::size_t>(bytes.size(), 3));
    for (std::size_t i = 0; i < message.size; ++i)
        message.data[i] = bytes[i];
    return message;
}

namespace detail {
// A data byte with its top bit set would read as a status byte on the wire, so only the low
// seven bits of a value are ever sent; in-range values pass unchanged.
constexpr std::uint8_t dataByte(std::int32_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0x7F);
}

constexpr ShortMessage message(std::uint8_t status, std::int32_t data1, std::int32_t data2)
{
    return { { status, dataByte(data1), dataByte(data2) }, 3 };
}

inline constexpr std::int32_t kPreviewVelocity = 127;
} // namespace detail

constexpr ShortMessage bankSelectMsb(std::int32_t bank)
{
    return detail::message(kControlChange, kBankSelectMsbController, bank);
}

// The program only uses banks 0 to 127, so the LSB is always 0.
constexpr ShortMessage bankSelectLsb()
{
    return detail::message(kControlChange, kBankSelectLsbController, 0);
}

constexpr ShortMessage programChange(std::int32_t program)
{
    return { { kProgramChange, detail::dataByte(program), 0 }, 2 };
}

constexpr ShortMessage noteOn(std::int32_t note)
{
    return detail::message(kNoteOn, note, detail::kPreviewVelocity);
}

// Notes are ended with a velocity-0 Note On, never with the Note Off status.
constexpr ShortMessage noteOff(std::int32_t note)
{
    return detail::message(kNoteOn, note, 0);
}

// The drum channel's own: a drum set is selected by its program alone, never with a Bank
// Select, and its keys sound at the previews' velocity and end as they do.
constexpr ShortMessage drumSetChange(std::int32_t program)
{
    return { { kProgramChange | kDrumChannel, detail::dataByte(program), 0 }, 2 };
}

constexpr ShortMessage drumNoteOn(std::int32_t note)
{
    return detail::message(kNoteOn | kDrumChannel, note, detail::kPreviewVelocity);
}

constexpr ShortMessage drumNoteOff(std::int32_t note)
{
    return detail::message(kNoteOn | kDrumChannel, note, 0);
}

// Releases a held sustain pedal.
constexpr ShortMessage sustainOff()
{
    return detail::message(kControlChange, kSustainController, 0);
}

// Roland GS reset: data set to address 40 00 7F, value 00, checksum 41.
inline constexpr std::array<std::uint8_t, 11> GsResetMessage {
    0xF0,
    0x41,
    0x10,
    0x42,
    0x12,
    0x40,
    0x00,
    0x7F,
    0x00,
    0x41,
    0xF7,
};

// What a reset sends to a device that has no reset of its own: on each of the 16 channels, the
// sustain pedal up first (a held pedal would keep notes sounding through the rest), then All
// Sound Off and All Notes Off.
inline constexpr std::array<ShortMessage, 3 * kChannels> kSilenceAllChannels = [] {
    std::array<ShortMessage, 3 * kChannels> messages {};
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
        const auto status = static_cast<std::uint8_t>(kControlChange | channel);
        messages[3 * channel] = detail::message(status, kSustainController, 0);
        messages[3 * channel + 1] = detail::message(status, kAllSoundOffController, 0);
        messages[3 * channel + 2] = detail::message(status, kAllNotesOffController, 0);
    }
    return messages;
}();

} // namespace tonalyx::midi
