#pragma once

#include "midi_out_service.h"

#include <cstddef>
#include <string>
#include <string_view>

// How a port's name becomes the name of a device in the program's list.
namespace tonalyx::midi {

// A device name fills at most the whole 32-byte product-name field; the program reads the field
// up to its first zero byte or to its end.
inline constexpr std::size_t kMaxDeviceNameBytes = kProductNameSize;

// The first `maxBytes` bytes of UTF-8 text, shortened further so that no character is cut in
// two. Text that is not valid UTF-8 is cut at the byte limit as it is.
std::string_view cutUtf8(std::string_view text, std::size_t maxBytes);

// An ALSA sequencer port as RtMidi names it, "Client:Port 14:0", without the client and port
// numbers, which change from run to run and mean nothing to a user.
std::string_view withoutAlsaAddress(std::string_view portName);

// The name field of a device: the name cut to fit, then zero bytes.
MidiOutCaps capsNamed(std::string_view name);

} // namespace tonalyx::midi
