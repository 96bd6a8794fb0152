#include "whole_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tonalyx::app {

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

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool syncRetrying(int fd)
{
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// The temporary file's name until it has been renamed into place; removed again on any failure
// so a refused save leaves the folder as it found it.
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

private:
    std::string name_;
    bool owned_ = false;
};

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

bool replaceWholeFile(const std::filesystem::path& path, std::string_view bytes)
{
    try {
        std::filesystem::path folder = path.parent_path();
        if (folder.empty())
            folder = ".";
        TemporaryName temporary((folder / ("." + path.filename().native() + ".XXXXXX")).native());

        FileDescriptor file(::mkostemp(temporary.buffer(), O_CLOEXEC));
        if (file.get() < 0)
            return false;
        temporary.take();

        if (!writeAll(file.get(), bytes))
            return false;

        // The replacement should be as accessible as what it replaces; a first file gets the
        // usual permissions of a document rather than mkstemp's private 0600.
        mode_t mode = 0644;
        struct stat old { };
        if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
            mode = old.st_mode & 07777;
        if (::fchmod(file.get(), mode) != 0)
            return false;

        if (!syncRetrying(file.get()))
            return false;
        // On Linux the descriptor is released even when close reports EINTR, and fsync has
        // already surfaced any write-back error, so only other failures count.
        if (::close(file.release()) != 0 && errno != EINTR)
            return false;

        if (::rename(temporary.c_str(), path.c_str()) != 0)
            return false;
        temporary.keep();

        // Makes the rename itself durable. The new file is already in place, so a failure here
        // cannot be undone and is not reported.
        FileDescriptor directory(openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() >= 0)
            syncRetrying(directory.get());
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tonalyx::app
