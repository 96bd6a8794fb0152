// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_file.h"

#include "whole_file.h"

#include <cerrno>
#include <sys/stat.h>

namespace tonalyx::settings {

namespace {

// Folders made for settings are private, as the XDG Base Directory Specification asks.
void makeMissingFolders(const std::filesystem::path& folder)
{
    struct stat status { };
    if (folder.empty() || ::stat(folder.c_str(), &status) == 0 || errno != ENOENT)
        return;
    makeMissingFolders(folder.parent_path());
    ::mkdir(folder.c_str(), 0700);
}

} // namespace

SettingsFile::SettingsFile(std::filesystem::path path)
    : path_(std::move(path))
{ }

SettingsFile::LoadResult SettingsFile::load(const std::filesystem::path& source)
{
    const auto read = readWholeFile(source, kMaxFileSize);
    if (read.result != LoadResult::Loaded) {
        document_.parse({});
        return read.result;
    }
    if (!document_.parse(read.bytes, kMaxFileSize) || sizeWithLongestSettings() > kMaxFileSize) {
        document_.parse({});
        return LoadResult::Unreadable;
    }
    return LoadResult::Loaded;
}

SettingsFile::SaveResult SettingsFile::save() const
{
    makeMissingFolders(path_.parent_path());
    return replaceWholeFile(path_, document_.serialise());
}

} // namespace tonalyx::settings
