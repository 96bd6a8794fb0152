// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/jack_calls/jack_calls.h"

#include <QTest>
#include <latch>
#include <optional>

using namespace tonalyx;
using Clock = midi::JackCalls::Clock;

class TestJackCalls : public QObject {
    Q_OBJECT

private slots:
    // A call stands for one libjack request that a stopped server holds; its caller gives up on
    // it. Given up while it runs, it finishes in the background and its result is undone; given
    // up while queued, it never runs. Meanwhile the calls count as stuck when the one running has
    // nobody waiting for it or has run past its deadline.
    void givingUpLeavesNothingBehind_data()
    {
        QTest::addColumn<bool>("queuedBehindAnother");
        QTest::addColumn<bool>("oneAheadPastItsDeadline");
        QTest::addColumn<bool>("ran");
        QTest::addColumn<bool>("stuck");
        QTest::newRow("given up while it runs") << false << false << true << true;
        QTest::newRow("given up while queued behind one in time")
            << true << false << false << false;
        QTest::newRow("given up while queued behind one past its deadline")
            << true << true << false << true;
    }
    void givingUpLeavesNothingBehind()
    {
        QFETCH(bool, queuedBehindAnother);
        QFETCH(bool, oneAheadPastItsDeadline);
        QFETCH(bool, ran);
        QFETCH(bool, stuck);
        const auto later = Clock::now() + std::chrono::hours(1);
        const auto earlier = Clock::now() - std::chrono::seconds(1);
        midi::JackCalls calls;
        std::latch serverGoesOn(1);
        std::latch aheadStarted(1);
        if (queuedBehindAnother) {
            calls.post(oneAheadPastItsDeadline ? earlier : later, [&] {
                aheadStarted.count_down();
                serverGoesOn.wait();
            });
            aheadStarted.wait();
        }

        std::latch started(1);
        bool hasRun = false;
        std::optional<int> undone;
        const auto answer = calls.run<int>(
            later,
            [&] {
                hasRun = true;
                started.count_down();
                if (!queuedBehindAnother)
                    serverGoesOn.wait();
                return 7;
            },
            [&](int& result) { undone = result; },
            [&] { return queuedBehindAnother || started.try_wait(); });
        const bool stuckMeanwhile = calls.stuck();
        serverGoesOn.count_down();
        // Calls run one after the other: once a later one answers, the earlier ones have ended.
        const auto nextAnswer = calls.run<int>(later, [] { return 1; });

        QVERIFY(!answer);
        QCOMPARE(stuckMeanwhile, stuck);
        QCOMPARE(nextAnswer.value_or(0), 1);
        QCOMPARE(hasRun, ran);
        QCOMPARE(undone.value_or(0), ran ? 7 : 0);
        QVERIFY(!calls.stuck());
    }
};

QTEST_APPLESS_MAIN(TestJackCalls)
#include "test_jack_calls.moc"
