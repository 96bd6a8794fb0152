// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tonalyx::midi {

// A file descriptor another thread makes readable, for a thread that watches it in its event
// loop. Raising it never blocks and never allocates: at worst the watcher wakes once for many.
class Wakeup {
public:
    Wakeup()
        : descriptor_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    { }
    ~Wakeup()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void raise()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(descriptor_, &one, sizeof one);
    }
    void clear()
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(descriptor_, &count, sizeof count);
    }
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace tonalyx::midi
