#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tonalyx::app {

// The INI-style settings file beside the executable. It is read once into memory, looked up and
// changed there, and written back whole. Texts are 8-bit bytes, carried through unchanged.
class SettingsFile {
public:
    enum class LoadResult {
        Loaded, // the file was read
        Missing, // there is no file: every read gives its default
        Unreadable, // something is there but cannot be read (permission, a folder, too large)
    };

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
    // Parses the bytes of a file, replacing what was held.
    void parse(std::string_view bytes);

    // The integer of the last `key` in the last `section` of that name (both without regard to
    // letter case), or `fallback` when either is missing or the value is not a valid integer.
    std::int32_t readInteger(
        std::string_view section, std::string_view key, std::int32_t fallback) const;
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

    // The whole file as it is written: CR LF line ends, an empty line after each section.
    std::string serialise() const;
    // Replaces the file at path() atomically (temporary file in the same folder, flushed, then
    // renamed over the old one). False when it could not be written; the old file is then intact
    // and no temporary file is left behind.
    bool save() const;

private:
    struct Section {
        std::string name;
        std::vector<std::string> entries; // "key=value", or a line without "=" as it stood
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);

    std::filesystem::path path_;
    std::vector<Section> sections_;
};

} // namespace tonalyx::app
