// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace tonalyx::shell {

// The folder where a user puts SoundFonts of their own for the built-in synth:
// $XDG_DATA_HOME/tonalyx/soundfonts, or ~/.local/share/tonalyx/soundfonts when XDG_DATA_HOME is
// unset, empty or not an absolute path (which the XDG rules say to ignore).
std::filesystem::path userSoundFontFolder();

} // namespace tonalyx::shell
