// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <thread>

namespace tonalyx::testing {

// The process id a fixture script wrote into `pidFile`, or 0.
inline pid_t processIdIn(const std::filesystem::path& pidFile)
{
    pid_t pid = 0;
    std::ifstream(pidFile) >> pid;
    return pid;
}

// A sound server stopped (SIGSTOP) for as long as this lives, as a server hung or held in a
// debugger is: it takes connections and data into its socket's queue but answers nothing.
// Continued (SIGCONT) when this goes, or by itself after `longest`: a call of the test's that
// waits for the server then comes back late, and the test fails rather than hangs.
class StoppedServer {
public:
    explicit StoppedServer(pid_t pid, std::chrono::seconds longest = std::chrono::seconds(10))
        : pid_(pid)
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGSTOP);
        watchdog_ = std::jthread([this, longest] {
            std::unique_lock lock(mutex_);
            if (!resumed_.wait_for(lock, longest, [this] { return pid_ == 0; }))
                ::kill(pid_, SIGCONT);
        });
    }
    ~StoppedServer() { resume(); }
    StoppedServer(const StoppedServer&) = delete;
    StoppedServer& operator=(const StoppedServer&) = delete;

    void resume()
    {
        {
            const std::lock_guard lock(mutex_);
            if (pid_ > 0)
                ::kill(pid_, SIGCONT);
            pid_ = 0;
        }
        resumed_.notify_all();
        if (watchdog_.joinable())
            watchdog_.join();
    }

private:
    pid_t pid_;
    std::mutex mutex_;
    std::condition_variable resumed_;
    std::jthread watchdog_;
};

// Whether `call` comes back within `limit`, however long it really takes: a call that waits for
// a stopped server would take as long as the server stays stopped, so a generous limit tells
// waiting from working on a busy machine.
inline bool returnsWithin(std::chrono::milliseconds limit, const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start < limit;
}

} // namespace tonalyx::testing
