// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The SoundFonts in `folder`, in the byte order of their names: every entry named *.sf2 or
// *.sf3 (in any letter case) that is not a folder. Whether each one loads is for the synth to
// find out. None when the folder does not exist or cannot be read.
std::vector<std::string> soundFontsIn(const std::filesystem::path& folder);

} // namespace tonalyx::midi
