// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// The words of MIDI the program writes and reads: status bytes, the channel inside them, the
// controllers and the note it knows by number. Everything else decodes bytes through these.
namespace tonalyx::midi {

// Channel messages: the high four bits of the status byte, the channel in the low four.
inline constexpr std::uint8_t kNoteOff = 0x80;
inline constexpr std::uint8_t kNoteOn = 0x90;
inline constexpr std::uint8_t kPolyPressure = 0xA0;
inline constexpr std::uint8_t kControlChange = 0xB0;
inline constexpr std::uint8_t kProgramChange = 0xC0;
inline constexpr std::uint8_t kChannelPressure = 0xD0;
inline constexpr std::uint8_t kPitchBend = 0xE0;

// System messages, which carry no channel.
inline constexpr std::uint8_t kSystemExclusive = 0xF0;
inline constexpr std::uint8_t kTimeCodeQuarterFrame = 0xF1;
inline constexpr std::uint8_t kSongPosition = 0xF2;
inline constexpr std::uint8_t kSongSelect = 0xF3;
inline constexpr std::uint8_t kTuneRequest = 0xF6;
inline constexpr std::uint8_t kEndOfExclusive = 0xF7;
inline constexpr std::uint8_t kTimingClock = 0xF8;
inline constexpr std::uint8_t kStart = 0xFA;
inline constexpr std::uint8_t kContinue = 0xFB;
inline constexpr std::uint8_t kStop = 0xFC;
inline constexpr std::uint8_t kActiveSensing = 0xFE;
inline constexpr std::uint8_t kSystemReset = 0xFF;

inline constexpr std::uint8_t kChannelMask = 0x0F;
inline constexpr std::size_t kChannels = 16;
// Channel 10 as it is counted on the wire, from 0: where GS plays its drum sets.
inline constexpr std::uint8_t kDrumChannel = 9;

constexpr bool isDataByte(std::uint8_t byte)
{
    return byte < kNoteOff;
}

constexpr bool isChannelStatus(std::uint8_t byte)
{
    return byte >= kNoteOff && byte < kSystemExclusive;
}

// What a status byte says without its channel: kNoteOn for any of 0x90 to 0x9F; a system status
// is its own kind.
constexpr std::uint8_t kindOf(std::uint8_t status)
{
    return isChannelStatus(status) ? static_cast<std::uint8_t>(status & ~kChannelMask) : status;
}

// Controllers, the first data byte of a Control Change.
inline constexpr std::uint8_t kBankSelectMsbController = 0;
inline constexpr std::uint8_t kBankSelectLsbController = 32;
inline constexpr std::uint8_t kSustainController = 64;
inline constexpr std::uint8_t kAllSoundOffController = 120;
inline constexpr std::uint8_t kAllNotesOffController = 123;

// A switch controller such as the sustain pedal is on from this value up.
inline constexpr std::uint8_t kSwitchOn = 64;

inline constexpr std::int32_t kMiddleC = 60;

} // namespace tonalyx::midi
