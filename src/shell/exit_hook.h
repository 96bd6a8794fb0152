// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace tonalyx::shell {

// A call made when the process ends through exit() while this lives. That is how the toolkit's
// X11 plugin ends the program when its connection to the display breaks (the X server crashed, or
// the session ended): it prints "The X11 connection broke" and calls exit(1), from whatever event
// loop runs, with no close of the window. The call runs on the thread that called exit(), after
// the functions registered with atexit() later than the first hook; it must not touch the window
// system or a widget, whose connection is gone. One at a time; it is made once at most.
class ExitHook {
public:
    explicit ExitHook(std::function<void()> atExit);
    ~ExitHook();
    ExitHook(const ExitHook&) = delete;
    ExitHook& operator=(const ExitHook&) = delete;

private:
    static void runCurrent();

    std::function<void()> atExit_;
};

} // namespace tonalyx::shell
