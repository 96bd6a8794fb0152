// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string_view>

namespace tonalyx::midi {

// A device name is at most 32 bytes of text, as the readout and the settings of other tools
// expect it; longer port names are cut.
inline constexpr std::size_t kMaxDeviceNameBytes = 32;

// The first `maxBytes` bytes of UTF-8 text, shortened further so that no character is cut in
// two. Text that is not valid UTF-8 is cut at the byte limit as it is.
std::string_view cutUtf8(std::string_view text, std::size_t maxBytes);

} // namespace tonalyx::midi
