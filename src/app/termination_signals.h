// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tonalyx::app {

// SIGTERM (a logout), SIGHUP (a closed terminal) and SIGINT (Ctrl+C) turned into a call on the
// user-interface thread, so that they can end the program the way closing its window does. The
// handler only writes the signal's number into a pipe, which is all that is safe inside a signal
// handler; a notifier on the other end makes the call from the event loop. While this lives the
// signals no longer end the program by themselves; afterwards they do again. One at a time.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    static constexpr std::array<int, 3> kSignals { SIGTERM, SIGHUP, SIGINT };

    void drainAndCall();

    std::function<void()> onSignal_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::array<struct sigaction, kSignals.size()> previous_ {};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tonalyx::app
