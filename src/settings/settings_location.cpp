// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_location.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tonalyx::settings {

namespace {

bool canWriteInto(const std::filesystem::path& folder)
{
    const std::filesystem::path named = folder.empty() ? std::filesystem::path(".") : folder;
    return ::faccessat(AT_FDCWD, named.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Anything in the file's place counts, even what cannot be read: that is said at start-up rather
// than passed over for another file.
bool somethingAt(const std::filesystem::path& file)
{
    struct stat status { };
    return ::stat(file.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

} // namespace

std::filesystem::path pathBesideExecutable(const std::filesystem::path& executable)
{
    const std::string& name = executable.native();
    const auto slash = name.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = name.rfind('.');
    std::string text = name;
    if (dot != std::string::npos && dot >= nameStart)
        text.erase(dot);
    text += ".ini";
    // An executable called "tonalyx.ini" keeps its own name, and its settings go beside it.
    if (text == name)
        text += ".ini";
    return std::filesystem::path(std::move(text));
}

SettingsLocation locateSettings(
    const std::filesystem::path& executable, const std::filesystem::path& configurationHome)
{
    const std::filesystem::path beside = pathBesideExecutable(executable);
    if (configurationHome.empty() || canWriteInto(beside.parent_path()))
        return { beside, beside };
    const std::filesystem::path own = configurationHome / "tonalyx" / "tonalyx.ini";
    return { somethingAt(own) ? own : beside, own };
}

std::filesystem::path configurationHomeFrom(const char* xdgConfigHome, const char* home)
{
    if (xdgConfigHome && std::filesystem::path(xdgConfigHome).is_absolute())
        return xdgConfigHome;
    if (home && std::filesystem::path(home).is_absolute())
        return std::filesystem::path(home) / ".config";
    return {};
}

} // namespace tonalyx::settings
