// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_file.h"

#include <array>
#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace tonalyx::settings {

namespace {

// Each integer the program keeps, by the names it writes it under (it finds them by any letter
// case) and in the order it writes them: the window group, then the device group. Reading and
// writing both go through this one table.
struct Setting {
    IniKey key;
    std::int32_t& (*in)(SavedSettings&);
};

constexpr std::array<Setting, 5> kSettings { {
    { { "window", "Height" }, [](SavedSettings& s) -> std::int32_t& { return s.window.height; } },
    { { "window", "Width" }, [](SavedSettings& s) -> std::int32_t& { return s.window.width; } },
    { { "window", "Top" }, [](SavedSettings& s) -> std::int32_t& { return s.window.top; } },
    { { "window", "Left" }, [](SavedSettings& s) -> std::int32_t& { return s.window.left; } },
    { { "dev", "dev_num" }, [](SavedSettings& s) -> std::int32_t& { return s.deviceNumber; } },
} };

constexpr auto kKeys = [] {
    std::array<IniKey, kSettings.size()> keys {};
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        keys[i] = kSettings[i].key;
    return keys;
}();

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

ReadResult readSettings(const std::filesystem::path& source, IniDocument& document)
{
    const auto read = readWholeFile(source, kMaxFileSize);
    if (read.result != ReadResult::Loaded) {
        document.parse({});
        return read.result;
    }
    if (!document.parse(read.bytes, kMaxFileSize)
        || sizeWithLongestSettings(document) > kMaxFileSize) {
        document.parse({});
        return ReadResult::Unreadable;
    }
    return ReadResult::Loaded;
}

std::size_t sizeWithLongestSettings(const IniDocument& document)
{
    return document.sizeWithLongest(kKeys);
}

WriteResult writeSettings(const std::filesystem::path& target, const IniDocument& document)
{
    makeMissingFolders(target.parent_path());
    return replaceWholeFile(target, document.serialise());
}

SettingsFile::SettingsFile(SettingsLocation location)
    : location_(std::move(location))
    , found_(readSettings(location_.read, document_))
{ }

SavedSettings SettingsFile::values() const
{
    SavedSettings values;
    for (const auto& [key, in] : kSettings) {
        std::int32_t& value = in(values);
        value = document_.readInteger(key.section, key.key, value);
    }
    return values;
}

void SettingsFile::store(SavedSettings values)
{
    for (const auto& [key, in] : kSettings)
        document_.writeInteger(key.section, key.key, in(values));
}

} // namespace tonalyx::settings
