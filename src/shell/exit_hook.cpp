// SPDX-License-Identifier: GPL-3.0-or-later
#include "exit_hook.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace tonalyx::shell {

namespace {
// A function registered with atexit() takes no argument: this is the hook it runs, or none.
std::atomic<ExitHook*> currentHook { nullptr };
} // namespace

ExitHook::ExitHook(std::function<void()> atExit)
    : atExit_(std::move(atExit))
{
    // atexit() cannot be undone, so it is registered once for every hook to come.
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(&ExitHook::runCurrent); });
    currentHook.store(this);
}

ExitHook::~ExitHook()
{
    ExitHook* self = this;
    currentHook.compare_exchange_strong(self, nullptr);
}

void ExitHook::runCurrent()
{
    if (ExitHook* hook = currentHook.exchange(nullptr))
        hook->atExit_();
}

} // namespace tonalyx::shell
