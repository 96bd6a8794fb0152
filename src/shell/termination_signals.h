// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tonalyx::shell {

// SIGTERM (a logout), SIGHUP (a closed terminal) and SIGINT (Ctrl+C) turned into a call on the
// user-interface thread, so that they can end the program the way closing its window does. The
// handler only writes the signal's number into a pipe, which is all that is safe inside a signal
// handler. A signal is so noted from the moment this is made, before the program has anything to
// act with; once there is, a notifier on the other end makes the call from whichever event loop
// runs (a box's own, or the main one), and callIfRaised() makes it for a signal noted while none
// ran. While this lives the signals no longer end the program by themselves; afterwards they do
// again. One at a time.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // From now on, a signal makes this call in the event loop. Needs the application object.
    void callOnSignal(std::function<void()> onSignal);
    // Makes the call now if a signal has come since it was last made.
    void callIfRaised();

private:
    static constexpr std::array<int, 3> kSignals { SIGTERM, SIGHUP, SIGINT };

    std::function<void()> onSignal_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::array<struct sigaction, kSignals.size()> previous_ {};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tonalyx::shell
