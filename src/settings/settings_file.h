// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ini_document.h"
#include "whole_file.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tonalyx::settings {

// Where the program keeps each of its settings, by the names it writes them under (it finds them
// by any letter case).
namespace setting {
inline constexpr IniKey kWindowHeight { "window", "Height" };
inline constexpr IniKey kWindowWidth { "window", "Width" };
inline constexpr IniKey kWindowTop { "window", "Top" };
inline constexpr IniKey kWindowLeft { "window", "Left" };
inline constexpr IniKey kDeviceNumber { "dev", "dev_num" };
inline constexpr std::array<IniKey, 5> kAll { kWindowHeight, kWindowWidth, kWindowTop, kWindowLeft,
    kDeviceNumber };
} // namespace setting

// The program's settings file: an INI document read once at start-up and written back whole at
// the close.
class SettingsFile {
public:
    using LoadResult = ReadResult;
    using SaveResult = WriteResult;

    // Every file up to this size is read, whatever it holds. A real settings file is a few
    // hundred bytes; the bound keeps a corrupt or hostile one from exhausting memory.
    static constexpr std::uintmax_t kAlwaysReadSize = 16 * 1024 * 1024;
    // The largest file read, and so the largest the program may write. A file is read when its
    // written form, with every setting of the program at its longest, stays within this, so the
    // program never writes a file that the next start refuses. The written form of any file up
    // to kAlwaysReadSize does: it is at most twice as long plus two ("[]\n" becomes
    // "[]\r\n\r\n"), and the program's settings add at most 116 bytes.
    static constexpr std::uintmax_t kMaxFileSize = 2 * kAlwaysReadSize + 1024;

    // A file written at `path`.
    explicit SettingsFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    // Reads the file at path(), or at `source`. Whatever the result, the object is usable
    // afterwards; when the file is missing or unreadable it starts empty.
    LoadResult load() { return load(path_); }
    LoadResult load(const std::filesystem::path& source);
    void parse(std::string_view bytes) { document_.parse(bytes); }

    std::int32_t readInteger(
        std::string_view section, std::string_view key, std::int32_t fallback) const
    {
        return document_.readInteger(section, key, fallback);
    }
    std::int32_t readInteger(IniKey key, std::int32_t fallback) const
    {
        return document_.readInteger(key.section, key.key, fallback);
    }
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value)
    {
        document_.writeInteger(section, key, value);
    }
    void writeInteger(IniKey key, std::int32_t value)
    {
        document_.writeInteger(key.section, key.key, value);
    }
    const std::string& serialise() const { return document_.serialise(); }
    // The length of the written form with every setting of the program at its longest: what a
    // file must fit kMaxFileSize by. Writing the program's settings never changes it.
    std::size_t sizeWithLongestSettings() const { return document_.sizeWithLongest(setting::kAll); }

    // Gives the file at path() the document, whole (see replaceWholeFile), first making the
    // folders it goes in when they are missing.
    SaveResult save() const;

private:
    std::filesystem::path path_;
    IniDocument document_;
};

} // namespace tonalyx::settings
