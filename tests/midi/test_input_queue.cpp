// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/input/input_queue.h"

#include <QTest>
#include <poll.h>
#include <thread>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

Messages drained(midi::InputQueue& queue)
{
    Messages messages;
    queue.drain([&](const midi::ShortMessage& message) {
        const auto bytes = message.bytes();
        messages.emplace_back(bytes.begin(), bytes.end());
    });
    return messages;
}

bool woken(const midi::InputQueue& queue)
{
    pollfd watched { queue.wakeDescriptor(), POLLIN, 0 };
    return ::poll(&watched, 1, 0) == 1;
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

    // From another thread, in order, and a full queue drops rather than waits.
    void passesBetweenThreadsInOrderAndDropsWhenFull()
    {
        midi::InputQueue queue;
        const auto count = midi::InputQueue::kCapacity + 10;
        std::thread input([&] {
            for (std::size_t i = 0; i < count; ++i)
                queue.push(Bytes { 0x90, std::uint8_t(i % 128), std::uint8_t(i / 128 % 128) });
        });
        input.join();
        const auto messages = drained(queue);
        QCOMPARE(messages.size(), midi::InputQueue::kCapacity);
        QCOMPARE(queue.overflows(), std::uint64_t { 10 });
        for (std::size_t i = 0; i < messages.size(); ++i)
            QCOMPARE(messages[i][1] + 128 * messages[i][2], int(i));
        QVERIFY(queue.push(Bytes { 0x90, 1, 2 }));
    }
};

QTEST_APPLESS_MAIN(TestInputQueue)
#include "test_input_queue.moc"
