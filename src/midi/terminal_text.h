// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tonalyx::midi {

// Bytes as they may be written to a terminal within one line: a file name, say, that holds
// control characters must neither end the line nor move the cursor, change the colours or
// retitle the window. Every control character is written as an escape of its bytes, \xNN: the C0
// controls and DEL, the C1 controls (U+0080 to U+009F, each byte of their UTF-8 form) and a byte
// 0x80 to 0x9F that is no part of valid UTF-8, which 8-bit terminals take for a C1 control. A
// backslash becomes \\, so that an escape made here cannot be mistaken for one in the name. All
// else, other UTF-8 and stray bytes of names in other encodings, is kept as it is.
std::string escapedForTerminal(std::string_view bytes);

} // namespace tonalyx::midi
