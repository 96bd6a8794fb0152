// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/realtime/thread_scheduling.h"

#include <QTest>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace tonalyx;
using midi::Promotion;
using midi::ThreadRole;

namespace {

constexpr rlim_t kUnlimited = RLIM_INFINITY;

// Capabilities belong to each thread: this one alone loses the right to raise its scheduling.
void dropSysNiceOfThisThread()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    data[0].effective &= ~(1u << CAP_SYS_NICE);
    syscall(SYS_capset, &header, data);
}

struct Seen {
    Promotion promotion;
    int policy = SCHED_OTHER;
    int nice = 0;
};

Seen promoteOnAThreadOfItsOwn(ThreadRole role, bool privileged)
{
    Seen seen;
    std::thread([&] {
        if (!privileged)
            dropSysNiceOfThisThread();
        seen.promotion = midi::promoteThisThread(role);
        seen.policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        seen.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    }).join();
    return seen;
}

} // namespace

Q_DECLARE_METATYPE(ThreadRole)

class TestThreadScheduling : public QObject {
    Q_OBJECT

private slots:
    // Rtkit limits of 0 grant nothing; an expected level of 0 means nothing is asked of rtkit.
    void requestsStayWithinLimits_data()
    {
        QTest::addColumn<ThreadRole>("role");
        QTest::addColumn<rlim_t>("rtprioLimit");
        QTest::addColumn<rlim_t>("niceLimit");
        QTest::addColumn<int>("rtkitMaxPriority");
        QTest::addColumn<int>("rtkitMinNice");
        QTest::addColumn<int>("direct");
        QTest::addColumn<int>("fromRtkit");
        const auto render = ThreadRole::AudioRender;
        const auto readAhead = ThreadRole::ReadAhead;
        QTest::newRow("render, no limits: FIFO 4; rtkit's usual 20")
            << render << rlim_t(0) << rlim_t(0) << 20 << -15 << 4 << 4;
        QTest::newRow("render, audio group's rtprio 95")
            << render << rlim_t(95) << rlim_t(0) << 20 << -15 << 4 << 4;
        QTest::newRow("render, rtprio unlimited")
            << render << kUnlimited << rlim_t(0) << 20 << -15 << 4 << 4;
        QTest::newRow("render, rtprio 2 and rtkit's 1: the most each allows")
            << render << rlim_t(2) << rlim_t(0) << 1 << -15 << 2 << 1;
        QTest::newRow("render, rtkit granting no real-time")
            << render << rlim_t(0) << rlim_t(0) << 0 << -15 << 4 << 0;
        QTest::newRow("read-ahead, no limits: nice -10; rtkit's usual -15")
            << readAhead << rlim_t(0) << rlim_t(0) << 20 << -15 << -10 << -10;
        QTest::newRow("read-ahead, nice limit 20 allows nothing below 0")
            << readAhead << rlim_t(0) << rlim_t(20) << 20 << -15 << -10 << -10;
        QTest::newRow("read-ahead, nice limit 25 and rtkit's -5: the most each allows")
            << readAhead << rlim_t(0) << rlim_t(25) << 20 << -5 << -5 << -5;
        QTest::newRow("read-ahead, nice unlimited")
            << readAhead << rlim_t(0) << kUnlimited << 20 << -15 << -10 << -10;
        QTest::newRow("read-ahead, rtkit granting no higher priority")
            << readAhead << rlim_t(0) << rlim_t(0) << 20 << 0 << -10 << 0;
    }
    void requestsStayWithinLimits()
    {
        QFETCH(ThreadRole, role);
        QFETCH(rlim_t, rtprioLimit);
        QFETCH(rlim_t, niceLimit);
        QFETCH(int, rtkitMaxPriority);
        QFETCH(int, rtkitMinNice);
        QFETCH(int, direct);
        QFETCH(int, fromRtkit);
        const auto wanted = midi::wantedScheduling(role);
        const auto own = midi::withinOwnLimits(wanted, rtprioLimit, niceLimit);
        QCOMPARE(own, (midi::Scheduling { wanted.realTime, direct }));
        const auto rtkit
            = midi::withinRtkitLimits(wanted, { rtkitMaxPriority, rtkitMinNice, 200000 });
        QCOMPARE(rtkit.has_value(), fromRtkit != 0);
        if (rtkit)
            QCOMPARE(*rtkit, (midi::Scheduling { wanted.realTime, fromRtkit }));
    }

    void rttimeLoweredToRtkitsMost_data()
    {
        QTest::addColumn<rlim_t>("soft");
        QTest::addColumn<rlim_t>("hard");
        QTest::addColumn<bool>("lowered");
        QTest::addColumn<rlim_t>("newSoft");
        QTest::addColumn<rlim_t>("newHard");
        QTest::newRow("unlimited, as a session starts")
            << kUnlimited << kUnlimited << true << rlim_t(200000) << rlim_t(200000);
        QTest::newRow("a lower soft limit is kept")
            << rlim_t(50000) << kUnlimited << true << rlim_t(50000) << rlim_t(200000);
        QTest::newRow("within already")
            << rlim_t(100000) << rlim_t(200000) << false << rlim_t(0) << rlim_t(0);
    }
    void rttimeLoweredToRtkitsMost()
    {
        QFETCH(rlim_t, soft);
        QFETCH(rlim_t, hard);
        QFETCH(bool, lowered);
        QFETCH(rlim_t, newSoft);
        QFETCH(rlim_t, newHard);
        const auto limit = midi::rttimeLimitForRtkit({ soft, hard }, 200000);
        QCOMPARE(limit.has_value(), lowered);
        if (limit) {
            QCOMPARE(limit->rlim_cur, newSoft);
            QCOMPARE(limit->rlim_max, newHard);
        }
    }

    // Whatever the machine allows, the outcome says what the thread then has; without the right
    // to raise it (and no rtkit), the thread runs on as before and the outcome says why.
    void outcomeIsWhatTheThreadHas_data()
    {
        QTest::addColumn<ThreadRole>("role");
        QTest::addColumn<bool>("privileged");
        QTest::newRow("render") << ThreadRole::AudioRender << true;
        QTest::newRow("render, without the right") << ThreadRole::AudioRender << false;
        QTest::newRow("read-ahead") << ThreadRole::ReadAhead << true;
        QTest::newRow("read-ahead, without the right") << ThreadRole::ReadAhead << false;
    }
    void outcomeIsWhatTheThreadHas()
    {
        QFETCH(ThreadRole, role);
        QFETCH(bool, privileged);
        const auto seen = promoteOnAThreadOfItsOwn(role, privileged);
        const auto wanted = midi::wantedScheduling(role);
        switch (seen.promotion.outcome) {
        case Promotion::Outcome::RealTime:
            QVERIFY(seen.policy == SCHED_FIFO || seen.policy == SCHED_RR);
            break;
        case Promotion::Outcome::HighPriority:
            QCOMPARE(seen.policy, SCHED_OTHER);
            QVERIFY2(seen.nice < 0, qPrintable(QString::number(seen.nice)));
            break;
        case Promotion::Outcome::Unchanged:
            QCOMPARE(seen.policy, SCHED_OTHER);
            QCOMPARE(seen.nice, 0);
            QVERIFY(seen.promotion.detail.find("rtkit: no system D-Bus") != std::string::npos);
            break;
        }
        rlimit rtprio {};
        rlimit nice {};
        getrlimit(RLIMIT_RTPRIO, &rtprio);
        getrlimit(RLIMIT_NICE, &nice);
        const bool limitsAllow = wanted.realTime ? rtprio.rlim_cur != 0 : nice.rlim_cur > 20;
        if (!privileged && !limitsAllow)
            QCOMPARE(seen.promotion.outcome, Promotion::Outcome::Unchanged);
    }
};

QTEST_APPLESS_MAIN(TestThreadScheduling)
#include "test_thread_scheduling.moc"
