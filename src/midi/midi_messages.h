#pragma once

#include <array>
#include <cstdint>

// Every message the program sends, and the one place where messages are packed. All channel
// messages go out on MIDI channel 1.
namespace tonalyx::midi {

struct ShortMessage {
    std::uint32_t packed = 0;

    constexpr std::uint8_t status() const { return packed & 0xFF; }
    constexpr std::uint8_t data1() const { return (packed >> 8) & 0xFF; }
    constexpr std::uint8_t data2() const { return (packed >> 16) & 0xFF; }
    friend constexpr bool operator==(ShortMessage, ShortMessage) = default;
};

namespace detail {
// A data byte with its top bit set would read as a status byte on the wire, so only the low
// seven bits of a value are ever packed; in-range values pass unchanged.
constexpr std::uint32_t dataByte(std::int32_t value)
{
    return static_cast<std::uint32_t>(value) & 0x7F;
}

constexpr ShortMessage pack(std::uint8_t status, std::int32_t data1, std::int32_t data2 = 0)
{
    return { status + 256 * dataByte(data1) + 65536 * dataByte(data2) };
}

inline constexpr std::uint8_t kControlChange = 0xB0;
inline constexpr std::uint8_t kProgramChange = 0xC0;
inline constexpr std::uint8_t kNoteOn = 0x90;
inline constexpr std::int32_t kBankSelectMsbController = 0;
inline constexpr std::int32_t kBankSelectLsbController = 32;
inline constexpr std::int32_t kPreviewVelocity = 127;
} // namespace detail

constexpr ShortMessage bankSelectMsb(std::int32_t bank)
{
    return detail::pack(detail::kControlChange, detail::kBankSelectMsbController, bank);
}

// The program only uses banks 0 to 127, so the LSB is always 0.
constexpr ShortMessage bankSelectLsb()
{
    return detail::pack(detail::kControlChange, detail::kBankSelectLsbController, 0);
}

constexpr ShortMessage programChange(std::int32_t program)
{
    return detail::pack(detail::kProgramChange, program);
}

constexpr ShortMessage noteOn(std::int32_t note)
{
    return detail::pack(detail::kNoteOn, note, detail::kPreviewVelocity);
}

// Notes are ended with a velocity-0 Note On, never with the Note Off status.
constexpr ShortMessage noteOff(std::int32_t note)
{
    return detail::pack(detail::kNoteOn, note, 0);
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

} // namespace tonalyx::midi
