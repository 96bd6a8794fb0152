// SPDX-License-Identifier: GPL-3.0-or-later
#include "whole_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tonalyx::settings {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : fd_(fd)
    { }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

int openRetrying(const char* path, int flags)
{
    int fd;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool syncRetrying(int fd)
{
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// A file of the save's own beside the one it saves, a temporary file or a copy: removed again
// unless it is kept, so that a refused save leaves the folder as it found it.
class TemporaryName {
public:
    explicit TemporaryName(std::string name)
        : name_(std::move(name))
    { }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName()
    {
        if (owned_)
            ::unlink(name_.c_str());
    }

    char* buffer() { return name_.data(); }
    const char* c_str() const { return name_.c_str(); }
    void take() { owned_ = true; }
    void keep() { owned_ = false; }
    void remove()
    {
        ::unlink(name_.c_str());
        owned_ = false;
    }

private:
    std::string name_;
    bool owned_ = false;
};

// The file a save should give its bytes to. A chain of links is followed to the file it ends at,
// so that a link (as dotfile managers make them) stays a link. A chain that ends at nothing
// counts as no file yet, and the file goes in the first link's place. Nothing when the chain
// cannot be followed to its end: a loop, or a folder on its way that cannot be searched.
std::optional<std::filesystem::path> fileBehindLinks(const std::filesystem::path& path)
{
    // The kernel's own limit on links in one path.
    constexpr int kMaxLinks = 40;
    std::filesystem::path current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat status { };
        if (::lstat(current.c_str(), &status) != 0)
            return errno == ENOENT ? std::optional(path) : std::nullopt;
        if (!S_ISLNK(status.st_mode))
            return current;
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error)
            return std::nullopt;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return std::nullopt;
}

std::filesystem::path folderOf(const std::filesystem::path& file)
{
    std::filesystem::path folder = file.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

TemporaryName temporaryNameBeside(const std::filesystem::path& file)
{
    return TemporaryName((folderOf(file) / ("." + file.filename().native() + ".XXXXXX")).native());
}

// Makes a rename or an unlink in the folder durable. What it follows has already happened, so a
// failure here cannot be undone and is not reported.
void syncFolderOf(const std::filesystem::path& file)
{
    FileDescriptor folder(openRetrying(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        syncRetrying(folder.get());
}

bool writeAllAt(int fd, std::string_view bytes, off_t offset)
{
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

// Copies the whole of one file over the start of another; the length copied, or nothing.
std::optional<off_t> copyContents(int from, int to)
{
    std::vector<char> buffer(64 * 1024);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            return offset;
        if (!writeAllAt(to, { buffer.data(), static_cast<std::size_t>(got) }, offset))
            return std::nullopt;
        offset += got;
    }
}

bool writeWholeAt(int fd, std::string_view bytes)
{
    return writeAllAt(fd, bytes, 0) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0
        && syncRetrying(fd);
}

// For a file that must stay the same file: the other names of a hard link, or an owner this user
// cannot give a new file, go with its inode. Its old contents are copied beside it and flushed to
// the disk first; if writing the new ones fails they are put back, and the copy is only kept when
// even that fails, as the one whole copy of the old file.
WriteResult rewriteInPlace(const std::filesystem::path& file, std::string_view bytes)
{
    FileDescriptor target(openRetrying(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (target.get() < 0)
        return errno == EACCES || errno == EPERM ? WriteResult::ReadOnly : WriteResult::Failed;

    TemporaryName copyName = temporaryNameBeside(file);
    FileDescriptor copy(::mkostemp(copyName.buffer(), O_CLOEXEC));
    if (copy.get() < 0)
        return WriteResult::Failed;
    copyName.take();
    const auto oldLength = copyContents(target.get(), copy.get());
    if (!oldLength || !syncRetrying(copy.get()))
        return WriteResult::Failed;

    if (writeWholeAt(target.get(), bytes)) {
        copyName.remove();
        syncFolderOf(file);
        return WriteResult::Written;
    }
    const bool restored = copyContents(copy.get(), target.get()) == oldLength
        && ::ftruncate(target.get(), *oldLength) == 0 && syncRetrying(target.get());
    if (!restored)
        copyName.keep();
    return WriteResult::Failed;
}

enum class Renamed { Yes, No, OwnerCannotBeKept };

// The usual way: a new file in the same folder, flushed to the disk, then renamed over the old
// one, with the old one's owner and permissions.
Renamed replaceByRename(
    const std::filesystem::path& file, const struct stat* old, std::string_view bytes)
{
    TemporaryName temporary = temporaryNameBeside(file);
    FileDescriptor fd(::mkostemp(temporary.buffer(), O_CLOEXEC));
    if (fd.get() < 0)
        return Renamed::No;
    temporary.take();

    if (!writeAllAt(fd.get(), bytes, 0))
        return Renamed::No;

    // A first file gets the usual permissions of a document rather than mkstemp's private 0600.
    mode_t mode = 0644;
    if (old) {
        struct stat made { };
        if (::fstat(fd.get(), &made) != 0)
            return Renamed::No;
        if ((made.st_uid != old->st_uid || made.st_gid != old->st_gid)
            && ::fchown(fd.get(), old->st_uid, old->st_gid) != 0)
            return Renamed::OwnerCannotBeKept;
        mode = old->st_mode & 07777;
    }
    // After the owner, which would clear the set-id bits.
    if (::fchmod(fd.get(), mode) != 0)
        return Renamed::No;

    if (!syncRetrying(fd.get()))
        return Renamed::No;
    // On Linux the descriptor is released even when close reports EINTR, and fsync has
    // already surfaced any write-back error, so only other failures count.
    if (::close(fd.release()) != 0 && errno != EINTR)
        return Renamed::No;

    if (::rename(temporary.c_str(), file.c_str()) != 0)
        return Renamed::No;
    temporary.keep();
    syncFolderOf(file);
    return Renamed::Yes;
}

} // namespace

WholeFile readWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    try {
        // Non-blocking so that a FIFO in the file's place is refused instead of waiting for a
        // writer; regular files ignore the flag.
        FileDescriptor file(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (file.get() < 0)
            return { errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable, {} };

        struct stat status { };
        if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0
            || static_cast<std::uintmax_t>(status.st_size) > maxBytes)
            return { ReadResult::Unreadable, {} };

        // The size is only a hint: the file may change while it is read, so the bound is
        // enforced again on what actually arrives, asking for at most one byte beyond it.
        std::string bytes;
        bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
        std::size_t filled = 0;
        for (;;) {
            if (filled == bytes.size()) {
                if (bytes.size() > maxBytes)
                    return { ReadResult::Unreadable, {} };
                bytes.resize(std::min<std::size_t>(bytes.size() * 2, maxBytes + 1));
            }
            const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return { ReadResult::Unreadable, {} };
            }
            if (got == 0)
                break;
            filled += static_cast<std::size_t>(got);
        }
        if (filled > maxBytes)
            return { ReadResult::Unreadable, {} };
        bytes.resize(filled);
        return { ReadResult::Loaded, std::move(bytes) };
    } catch (...) {
        return { ReadResult::Unreadable, {} };
    }
}

WriteResult replaceWholeFile(const std::filesystem::path& path, std::string_view bytes)
{
    try {
        const auto file = fileBehindLinks(path);
        if (!file)
            return WriteResult::Failed;

        struct stat old { };
        const bool regular = ::stat(file->c_str(), &old) == 0 && S_ISREG(old.st_mode);
        // Its permissions are the owner's say; the folder's would let a rename pass them by. A
        // read-only file system is no one's choice, and fails below like a full disk.
        if (regular && ::faccessat(AT_FDCWD, file->c_str(), W_OK, AT_EACCESS) != 0
            && (errno == EACCES || errno == EPERM))
            return WriteResult::ReadOnly;
        if (regular && old.st_nlink > 1)
            return rewriteInPlace(*file, bytes);

        switch (replaceByRename(*file, regular ? &old : nullptr, bytes)) {
        case Renamed::Yes:
            return WriteResult::Written;
        case Renamed::No:
            return WriteResult::Failed;
        case Renamed::OwnerCannotBeKept:
            return rewriteInPlace(*file, bytes);
        }
        return WriteResult::Failed;
    } catch (...) {
        return WriteResult::Failed;
    }
}

} // namespace tonalyx::settings
