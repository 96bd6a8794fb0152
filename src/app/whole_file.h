#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Files read and written whole, as small documents are: never half a file, never without bound.
namespace tonalyx::app {

enum class ReadResult {
    Loaded,
    Missing, // nothing is there
    Unreadable, // something is there but cannot be read: permission, a folder, a FIFO, too large
};

struct WholeFile {
    ReadResult result;
    std::string bytes; // empty unless read
};

// Reads a regular file of at most `maxBytes` bytes. Never waits for a writer (a FIFO in the
// file's place is refused), and never holds more than `maxBytes` + 1 bytes of it.
WholeFile readWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

// Replaces the file atomically: a temporary file in the same folder, flushed to the disk, then
// renamed over the old one, with the old one's permissions. False when it could not be written;
// the old file is then intact and no temporary file is left behind.
bool replaceWholeFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace tonalyx::app
