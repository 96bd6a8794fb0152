// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace tonalyx::settings {

// Where the settings file is read at start-up and written at the close.
struct SettingsLocation {
    std::filesystem::path read;
    std::filesystem::path written;
};

// The executable's path with everything from the last full stop of its file name replaced by
// ".ini" (appended when the name has no full stop, or when replacing would name the executable
// itself).
std::filesystem::path pathBesideExecutable(const std::filesystem::path& executable);

// Beside the executable (pathBesideExecutable) while its folder can be written, so
// that a per-user or portable install keeps its settings with it. Otherwise, as for a system-wide
// install, tonalyx/tonalyx.ini in the user's configuration folder, which is read once it is
// there; until then the file beside the executable is read, as before. Without a configuration
// folder, beside the executable.
SettingsLocation locateSettings(
    const std::filesystem::path& executable, const std::filesystem::path& configurationHome);

// The user's configuration folder as the XDG Base Directory Specification has it, from the values
// of XDG_CONFIG_HOME and HOME (null when unset): the first when it is an absolute path, otherwise
// .config in the home folder; empty when neither tells.
std::filesystem::path configurationHomeFrom(const char* xdgConfigHome, const char* home);

} // namespace tonalyx::settings
