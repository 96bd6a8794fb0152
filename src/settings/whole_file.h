// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Files read and written whole, as small documents are: never half a file, never without bound.
namespace tonalyx::settings {

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

enum class WriteResult {
    Written,
    ReadOnly, // the file is there and its permissions keep this user from writing it: left alone
    Failed, // could not be written; the old file is intact
};

// Gives the file these bytes, whole. Usually a temporary file in the same folder is flushed to
// the disk and renamed over the old one, with the old one's owner and permissions, so that a
// crash or a full disk never leaves half a file. A link is followed and the file it names is
// replaced in its own folder, so the link stays; a link to nothing counts as no file yet and the
// file is written in the link's place. A file with other hard links, or with an owner this user
// cannot give a new file, is rewritten in place instead, with a copy of its old contents flushed
// to the disk first and put back if the writing fails. Failed leaves the old file intact and no
// temporary file behind.
WriteResult replaceWholeFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace tonalyx::settings
