// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/input/input_queue.h"

#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <poll.h>
#include <thread>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)
Q_DECLARE_METATYPE(Bytes)

namespace {

// Each message as its bytes, and the sources gone as no bytes.
Messages drained(midi::InputQueue& queue)
{
    Messages messages;
    queue.drain(
        [&](const midi::ShortMessage& message) {
            const auto bytes = message.bytes();
            messages.emplace_back(bytes.begin(), bytes.end());
        },
        [&] { messages.emplace_back(); });
    return messages;
}

bool woken(const midi::InputQueue& queue, int timeoutMs = 0)
{
    pollfd watched { queue.wakeDescriptor(), POLLIN, 0 };
    return ::poll(&watched, 1, timeoutMs) == 1;
}

// The first `count` of a run of Note On messages that each tell their place in it.
Messages numbered(std::size_t count)
{
    Messages messages;
    for (std::size_t i = 0; i < count; ++i)
        messages.push_back({ std::uint8_t(0x90 | (i >> 14 & 0x0F)), std::uint8_t(i >> 7 & 0x7F),
            std::uint8_t(i & 0x7F) });
    return messages;
}

} // namespace

class TestInputQueue : public QObject {
    Q_OBJECT

private slots:
    // Only whole channel messages are kept; everything else an input may deliver is dropped.
    void keepsWholeChannelMessagesOnly_data()
    {
        QTest::addColumn<Messages>("pushed");
        QTest::addColumn<Messages>("kept");
        const Messages channel { { 0x93, 60, 100 }, { 0x80, 60, 0 }, { 0xA1, 60, 5 },
            { 0xBF, 64, 127 }, { 0xC2, 4 }, { 0xD0, 9 }, { 0xE5, 0, 64 } };
        QTest::newRow("every channel message") << channel << channel;
        QTest::newRow("system messages dropped") << Messages { { 0xF0, 0x41, 0x10, 0xF7 }, { 0xF8 },
            { 0xFE }, { 0xF2, 1, 2 }, { 0xF3, 1 }, { 0xF6 } }
                                                 << Messages {};
        QTest::newRow("cut short, too long, running status or stray data dropped")
            << Messages { { 0x90, 60 }, { 0xC0, 4, 5 }, { 60, 100 }, { 0x90, 0x80, 1 }, {} }
            << Messages {};
    }
    void keepsWholeChannelMessagesOnly()
    {
        QFETCH(Messages, pushed);
        QFETCH(Messages, kept);
        midi::InputQueue queue;
        for (const auto& message : pushed)
            queue.push(message);
        QCOMPARE(woken(queue), !kept.empty());
        QCOMPARE(drained(queue), kept);
        QVERIFY(!woken(queue));
    }

    // From another thread while the GUI thread drains: every message arrives once, whole and in
    // order, waking the GUI thread, and every refusal is a full queue, counted. The input pushes
    // many times what the queue holds, retrying what was refused, so it cannot end before the two
    // threads have passed the queue back and forth again and again.
    void passesBetweenThreadsInOrder()
    {
        midi::InputQueue queue;
        const auto sent = numbered(64 * midi::InputQueue::kCapacity);
        std::uint64_t refused = 0;
        std::atomic<bool> drainingEnded = false;
        std::thread input([&] {
            for (const auto& message : sent) {
                while (!queue.push(message)) {
                    if (drainingEnded)
                        return;
                    ++refused;
                    std::this_thread::yield();
                }
            }
        });
        Messages received;
        // Only a lost wake-up makes this wait out its bound: the GUI thread would sleep for ever.
        constexpr int kLostWakeMs = 30'000;
        while (received.size() < sent.size() && woken(queue, kLostWakeMs)) {
            for (auto& message : drained(queue))
                received.push_back(std::move(message));
        }
        drainingEnded = true;
        input.join();
        QCOMPARE(received.size(), sent.size());
        const auto firstWrong = std::mismatch(received.begin(), received.end(), sent.begin());
        QCOMPARE(firstWrong.first - received.begin(), std::ptrdiff_t(sent.size()));
        QCOMPARE(queue.overflows(), refused);
    }

    // A queue nobody drains keeps what it holds, drops and counts the Note Ons beyond rather than
    // wait, and takes messages again once drained.
    void dropsWhenFull()
    {
        midi::InputQueue queue;
        auto pushed = numbered(midi::InputQueue::kCapacity);
        pushed.insert(pushed.end(), 10, Bytes { 0x91, 1, 100 });
        for (const auto& message : pushed)
            queue.push(message);
        const auto messages = drained(queue);
        QCOMPARE(messages.size(), midi::InputQueue::kCapacity);
        QCOMPARE(queue.overflows(), std::uint64_t { 10 });
        QVERIFY(std::equal(messages.begin(), messages.end(), pushed.begin()));
        QVERIFY(queue.push(Bytes { 0x90, 1, 2 }));
    }

    // The sources going away reaches the GUI thread after what they sent before and before what
    // comes after, and is not lost when the queue is full.
    void marksTheSourcesGoneInOrder_data()
    {
        QTest::addColumn<std::size_t>("before");
        QTest::addColumn<std::size_t>("after");
        QTest::newRow("between messages") << std::size_t { 2 } << std::size_t { 1 };
        QTest::newRow("into a full queue") << midi::InputQueue::kCapacity << std::size_t { 0 };
    }
    void marksTheSourcesGoneInOrder()
    {
        QFETCH(std::size_t, before);
        QFETCH(std::size_t, after);
        midi::InputQueue queue;
        const auto pushed = numbered(before + after);
        Messages expected(pushed.begin(), pushed.begin() + std::ptrdiff_t(before));
        expected.emplace_back();
        expected.insert(expected.end(), pushed.begin() + std::ptrdiff_t(before), pushed.end());
        for (std::size_t i = 0; i < before; ++i)
            queue.push(pushed[i]);
        queue.pushSourcesGone();
        for (std::size_t i = before; i < pushed.size(); ++i)
            queue.push(pushed[i]);
        QVERIFY(woken(queue));
        QCOMPARE(drained(queue), expected);
        QCOMPARE(drained(queue), Messages {});
    }

    // A keyboard's flood fills the queue with program changes around the release of a held key:
    // the release still arrives, after what came before it, followed by the last program, and
    // every program change in between is counted as left out.
    void neverDropsARelease_data()
    {
        QTest::addColumn<Bytes>("release");
        QTest::addColumn<Bytes>("arrives");
        QTest::newRow("Note Off") << Bytes { 0x80, 60, 64 } << Bytes { 0x90, 60, 0 };
        QTest::newRow("Note On velocity 0") << Bytes { 0x90, 60, 0 } << Bytes { 0x90, 60, 0 };
        QTest::newRow("sustain pedal let go") << Bytes { 0xB0, 64, 0 } << Bytes { 0xB0, 64, 0 };
    }
    void neverDropsARelease()
    {
        QFETCH(Bytes, release);
        QFETCH(Bytes, arrives);
        constexpr std::size_t kFlood = 10'000;
        const auto program = [](std::size_t i) { return Bytes { 0xC0, std::uint8_t(i % 128) }; };
        midi::InputQueue queue;
        for (std::size_t i = 0; i < kFlood; ++i)
            queue.push(program(i));
        QVERIFY(queue.push(release));
        for (std::size_t i = kFlood; i < 2 * kFlood; ++i)
            queue.push(program(i));
        Messages expected;
        for (std::size_t i = 0; i < midi::InputQueue::kCapacity; ++i)
            expected.push_back(program(i));
        expected.push_back(arrives);
        expected.push_back(program(2 * kFlood - 1));
        QCOMPARE(drained(queue), expected);
        QCOMPARE(queue.overflows(), 2 * kFlood - midi::InputQueue::kCapacity - 1);
        // And it takes messages again as before.
        QVERIFY(queue.push(Bytes { 0x90, 61, 1 }));
        QCOMPARE(drained(queue), (Messages { { 0x90, 61, 1 } }));
    }

    // The input fills the queue and keeps a release owed while the GUI thread is draining what it
    // found: the release still follows every message queued before it, those included.
    void anOwedReleaseFollowsWhatTheDrainDidNotSee()
    {
        midi::InputQueue queue;
        const auto flood = numbered(midi::InputQueue::kCapacity);
        const Bytes release { 0x80, 60, 0 };
        queue.push(flood.front());
        Messages received;
        queue.drain([&](const midi::ShortMessage& message) {
            const auto bytes = message.bytes();
            received.emplace_back(bytes.begin(), bytes.end());
            if (received.size() > 1)
                return;
            for (auto i = 1U; i < flood.size(); ++i)
                queue.push(flood[i]);
            queue.push(release);
        });
        for (auto& message : drained(queue))
            received.push_back(std::move(message));
        QCOMPARE(received.back(), (Bytes { 0x90, 60, 0 }));
        QCOMPARE(received.size(), flood.size() + 1);
    }
};

QTEST_APPLESS_MAIN(TestInputQueue)
#include "test_input_queue.moc"
