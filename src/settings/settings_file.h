// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ini_document.h"
#include "settings_location.h"
#include "whole_file.h"
#include "window_placement.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tonalyx::settings {

// Every file up to this size is read, whatever it holds. A real settings file is a few hundred
// bytes; the bound keeps a corrupt or hostile one from exhausting memory.
inline constexpr std::uintmax_t kAlwaysReadSize = 16 * 1024 * 1024;
// The largest file read, and so the largest the program may write. A file is read when its
// written form, with every setting of the program at its longest, stays within this, so the
// program never writes a file that the next start refuses. The written form of any file up to
// kAlwaysReadSize does: it is at most twice as long plus two ("[]\n" becomes "[]\r\n\r\n"), and
// the program's settings add at most 116 bytes.
inline constexpr std::uintmax_t kMaxFileSize = 2 * kAlwaysReadSize + 1024;

// What the program carries from one run to the next, each value as any 32-bit integer.
struct SavedSettings {
    // The window's outer rectangle.
    Rect window = kDefaultWindowPlacement;
    std::int32_t deviceNumber = 0;
    friend bool operator==(const SavedSettings&, const SavedSettings&) = default;
};

// Reads the settings file at `source` into `document`, replacing what it held. Whatever the
// result the document is usable; when the file is missing or unreadable it is empty.
ReadResult readSettings(const std::filesystem::path& source, IniDocument& document);
// The length of the document's written form with every setting of the program at its longest:
// what a file must fit kMaxFileSize by. Writing the program's settings never changes it.
std::size_t sizeWithLongestSettings(const IniDocument& document);
// Gives the file at `target` the document, whole (see replaceWholeFile), first making the folders
// it goes in when they are missing.
WriteResult writeSettings(const std::filesystem::path& target, const IniDocument& document);

// The program's settings file: an INI document read once at start-up and written back whole at
// the close. Whatever else the file holds is kept.
class SettingsFile {
public:
    // Reads the file where `location` says it is read, to be written where it says it is written.
    explicit SettingsFile(SettingsLocation location);

    // Where the file is written.
    const std::filesystem::path& path() const { return location_.written; }
    // Where the file was read, and what was found there.
    const std::filesystem::path& readFrom() const { return location_.read; }
    ReadResult found() const { return found_; }

    // The values the file holds; those it lacks or holds no valid integer for are the defaults.
    SavedSettings values() const;
    void store(SavedSettings values);

    WriteResult save() const { return writeSettings(location_.written, document_); }

private:
    SettingsLocation location_;
    IniDocument document_;
    ReadResult found_;
};

} // namespace tonalyx::settings
