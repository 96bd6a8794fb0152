// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string_view>

namespace tonalyx::app {

// A device name as the readout shows it. Names come from the system as bytes; they are read as
// UTF-8 (invalid sequences become replacement characters) and control characters, line breaks
// and bidirectional overrides, which would garble a one-line field or reorder it, are shown as
// replacement characters too.
QString deviceNameForDisplay(std::string_view name);

} // namespace tonalyx::app
