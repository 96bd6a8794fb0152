#pragma once

#include "ini_document.h"
#include "whole_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tonalyx::app {

// The program's settings file: an INI document read once at start-up and written back whole at
// the close.
class SettingsFile {
public:
    using LoadResult = ReadResult;

    // Files larger than this are refused as unreadable, so a corrupt or hostile file cannot
    // exhaust memory; a real settings file is a few hundred bytes.
    static constexpr std::uintmax_t kMaxFileSize = 16 * 1024 * 1024;

    // The executable's path with everything from the last full stop of its file name replaced
    // by ".ini" (appended when the name has no full stop).
    static std::filesystem::path pathBesideExecutable(const std::filesystem::path& executable);

    explicit SettingsFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    // Reads the file at path(). Whatever the result, the object is usable afterwards; when the
    // file is missing or unreadable it starts empty.
    LoadResult load();
    void parse(std::string_view bytes) { document_.parse(bytes); }

    std::int32_t readInteger(
        std::string_view section, std::string_view key, std::int32_t fallback) const
    {
        return document_.readInteger(section, key, fallback);
    }
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value)
    {
        document_.writeInteger(section, key, value);
    }
    std::string serialise() const { return document_.serialise(); }

    // Replaces the file at path() atomically. False when it could not be written; the old file
    // is then intact.
    bool save() const;

private:
    std::filesystem::path path_;
    IniDocument document_;
};

} // namespace tonalyx::app
