// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tonalyx::testing {

// While it lives, file permissions hold for the calling thread even when it runs as root: the
// capabilities that let root read, write and search any file, and give files to other users or
// change theirs, are lowered from the thread's effective set, and raised again at the end. Lowering
// needs no privilege, and raising them again is allowed since they stay in the permitted set. A
// normal user has neither, so for one the permissions hold anyway. Only this thread changes, which
// is the one that runs the program in the tests.
class PermissionsApply {
public:
    PermissionsApply()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = { saved_[0], saved_[1] };
        lowered[0].effective &= ~(CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH)
            | CAP_TO_MASK(CAP_CHOWN) | CAP_TO_MASK(CAP_FOWNER));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~PermissionsApply()
    {
        if (lowered_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

private:
    __user_cap_header_struct header_ { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct saved_[2] {};
    bool lowered_ = false;
};

} // namespace tonalyx::testing
