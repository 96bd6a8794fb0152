// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <csignal>
#include <sys/prctl.h>

namespace tonalyx::testing {

// A JACK server of the test's own (dummy driver, no sound card), a child of the test so that the
// test can stop, continue or kill it, and know it gone before starting the next.
class JackServerProcess {
public:
    explicit JackServerProcess(const QString& name)
        : name_(name)
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // A test that crashes or is killed for its time takes its server with it: left running,
        // the server would hold its name, and the next run of the test could not start one.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        start();
    }
    ~JackServerProcess()
    {
        resume();
        // A killed server's name stays in libjack's registry of servers, which has room for
        // eight; a server of the same name takes the entry back, and a clean stop frees it. Left
        // as it was, every build folder that ran the test would hold one for good.
        if (killed_) {
            start();
            QByteArray ignored;
            waitUntilReady(ignored);
        }
        process_.terminate();
        if (!process_.waitForFinished(20000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    JackServerProcess(const JackServerProcess&) = delete;
    JackServerProcess& operator=(const JackServerProcess&) = delete;

    // True once clients can connect; its output otherwise, for the failure message.
    bool waitUntilReady(QByteArray& output)
    {
        const int waited
            = QProcess::execute(QStringLiteral("jack_wait"), { "-w", "-s", name_, "-t", "20" });
        if (waited == 0 && process_.state() == QProcess::Running)
            return true;
        output = "jackd: " + process_.errorString().toLocal8Bit() + "\n" + process_.readAll();
        return false;
    }
    void kill()
    {
        process_.kill();
        process_.waitForFinished();
        killed_ = true;
    }
    // Stops the server as a debugger or a frozen session does: it answers nothing, and its
    // clients' requests wait, until it is continued.
    void pause() { signal(SIGSTOP); }
    void resume() { signal(SIGCONT); }

private:
    void start()
    {
        process_.start(QStringLiteral("jackd"),
            { "--no-realtime", "-n", name_, "-d", "dummy", "-r", "48000", "-p", "256" });
        process_.waitForStarted();
    }
    void signal(int number)
    {
        if (process_.state() == QProcess::Running)
            ::kill(static_cast<pid_t>(process_.processId()), number);
    }

    QString name_;
    QProcess process_;
    bool killed_ = false;
};

} // namespace tonalyx::testing
