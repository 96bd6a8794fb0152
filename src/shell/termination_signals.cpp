// SPDX-License-Identifier: GPL-3.0-or-later
#include "termination_signals.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tonalyx::shell {

namespace {

// A signal handler has nothing but globals to reach: this is the pipe's end it writes to, or -1.
std::atomic<int> handlerWriteEnd { -1 };
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only use lock-free atomics");

void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; the byte can be lost.
    if (const int fd = handlerWriteEnd.load(); fd >= 0 && ::write(fd, &number, 1) < 0) { }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    handlerWriteEnd.store(writeEnd_);

    struct sigaction action { };
    action.sa_handler = onTerminationSignal;
    // Restarted, so that no call elsewhere in the program fails with EINTR because of them.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (writeEnd_ < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    handlerWriteEnd.store(-1);
    notifier_.reset();
    ::close(readEnd_);
    ::close(writeEnd_);
}

void TerminationSignals::callOnSignal(std::function<void()> onSignal)
{
    onSignal_ = std::move(onSignal);
    if (readEnd_ < 0 || notifier_)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    QObject::connect(
        notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { callIfRaised(); });
}

void TerminationSignals::callIfRaised()
{
    // Until there is a call to make, a signal stays noted in the pipe.
    if (readEnd_ < 0 || !onSignal_)
        return;
    // Several signals before the loop came round are one request.
    bool raised = false;
    unsigned char numbers[64];
    while (::read(readEnd_, numbers, sizeof numbers) > 0)
        raised = true;
    if (raised)
        onSignal_();
}

} // namespace tonalyx::shell
