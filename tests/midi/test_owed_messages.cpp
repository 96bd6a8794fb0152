// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/owed_messages.h"

#include <QTest>
#include <deque>
#include <limits>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

// Stands in the message list for "the reader takes what it can now".
const Bytes kTake {};

const Bytes kGsReset(midi::GsResetMessage.begin(), midi::GsResetMessage.end());

Messages programChanges(int from, int to)
{
    Messages messages;
    for (int program = from; program <= to; ++program)
        messages.push_back({ 0xC0, std::uint8_t(program) });
    return messages;
}

Messages joined(std::initializer_list<Messages> parts)
{
    Messages all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

// A bounded queue that a writer outruns: what ends a sound always reaches the reader, after what
// was queued before it and before anything newer; what a later value replaces, and a Note On
// with no room (with its own Note Off), are left out and counted.
class TestOwedMessages : public QObject {
    Q_OBJECT

private slots:
    void nothingThatEndsASoundIsLost_data()
    {
        // The writer's messages go through a queue of `capacity` messages; at each take, and at
        // the end, the reader empties the queue and then takes what is owed, writing at most
        // `room` messages in all per take.
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("room");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<Messages>("received");
        QTest::addColumn<int>("leftOut");
        constexpr int kAll = std::numeric_limits<int>::max();
        QTest::newRow("a flood of program changes around a Note Off")
            << 4 << kAll
            << joined({ { { 0x90, 60, 100 } }, programChanges(1, 10), { { 0x80, 60, 64 } },
                   programChanges(11, 20) })
            << joined({ { { 0x90, 60, 100 } }, programChanges(1, 3), { { 0x90, 60, 0 } },
                   programChanges(20, 20) })
            << 16;
        QTest::newRow("a Note On with no room leaves out its own Note Off")
            << 1 << kAll << Messages { { 0xC0, 1 }, { 0x91, 61, 90 }, { 0x81, 61, 0 } }
            << Messages { { 0xC0, 1 } } << 2;
        QTest::newRow("the Note Off of a key sounding before is kept")
            << 2 << kAll
            << Messages { { 0x90, 60, 100 }, { 0xC0, 1 }, { 0x90, 60, 90 }, { 0x90, 60, 0 } }
            << Messages { { 0x90, 60, 100 }, { 0xC0, 1 }, { 0x90, 60, 0 } } << 1;
        QTest::newRow("the pedal let go, then held again")
            << 1 << kAll
            << Messages { { 0xB0, 64, 127 }, { 0xB0, 64, 0 }, { 0xB0, 64, 100 }, { 0x90, 62, 0 } }
            << Messages { { 0xB0, 64, 127 }, { 0xB0, 64, 0 }, { 0x90, 62, 0 }, { 0xB0, 64, 100 } }
            << 0;
        QTest::newRow("the GS reset and the silencing controllers first")
            << 1 << kAll
            << Messages { { 0xC0, 1 }, { 0xB0, 7, 100 }, kGsReset, { 0xB1, 120, 0 },
                   { 0xB1, 123, 0 }, { 0xB0, 7, 80 }, { 0xA0, 60, 5 }, { 0xE0, 1, 2 } }
            << Messages { { 0xC0, 1 }, kGsReset, { 0xB0, 7, 80 }, { 0xE0, 1, 2 }, { 0xB1, 120, 0 },
                   { 0xB1, 123, 0 } }
            << 2;
        QTest::newRow("room in the queue waits until everything owed is written")
            << 1 << 1
            << Messages { { 0xC0, 1 }, { 0x90, 60, 0 }, { 0x90, 61, 0 }, kTake, { 0x90, 60, 99 },
                   kTake, kTake, { 0x90, 62, 99 } }
            << Messages { { 0xC0, 1 }, { 0x90, 60, 0 }, { 0x90, 61, 0 }, { 0x90, 62, 99 } } << 1;
    }
    void nothingThatEndsASoundIsLost()
    {
        QFETCH(int, capacity);
        QFETCH(int, room);
        QFETCH(Messages, sent);
        QFETCH(Messages, received);
        QFETCH(int, leftOut);
        midi::OwedMessages owed;
        std::deque<Bytes> queue;
        Messages taken;
        const auto take = [&](int left) {
            for (; left > 0 && !queue.empty(); --left) {
                taken.push_back(queue.front());
                queue.pop_front();
            }
            owed.flush([&](midi::MessageBytes message) {
                if (left == 0)
                    return false;
                --left;
                taken.emplace_back(message.begin(), message.end());
                return true;
            });
        };
        for (const auto& message : sent) {
            if (message == kTake) {
                take(room);
                continue;
            }
            owed.send(message, [&](midi::MessageBytes bytes) {
                if (queue.size() == std::size_t(capacity))
                    return false;
                queue.emplace_back(bytes.begin(), bytes.end());
                return true;
            });
        }
        take(std::numeric_limits<int>::max());
        QCOMPARE(taken, received);
        QCOMPARE(owed.leftOut(), std::uint64_t(leftOut));
        QVERIFY(!owed.owing());
    }
};

QTEST_APPLESS_MAIN(TestOwedMessages)
#include "test_owed_messages.moc"
