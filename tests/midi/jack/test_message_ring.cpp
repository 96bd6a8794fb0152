// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/jack/message_ring.h"

#include <QTest>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(std::vector<int>)

// The ring between the sending thread and JACK's process thread: whole messages out in the order
// they went in, wherever they fall in its storage, and a message that does not fit refused whole.
class TestMessageRing : public QObject {
    Q_OBJECT

private slots:
    void messagesComeOutWholeAndInOrder_data()
    {
        // Each row pushes messages of these sizes, taking out the oldest whenever the next one
        // does not fit, and so goes round the storage several times.
        QTest::addColumn<int>("capacity");
        QTest::addColumn<std::vector<int>>("sizes");
        QTest::newRow("short messages") << 64 << std::vector<int>(200, 3);
        QTest::newRow("sizes that wrap the header and the bytes")
            << 65
            << std::vector<int> { 1, 2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 1,
                   2, 3, 53, 52, 51 };
        QTest::newRow("the largest message, again and again") << 44 << std::vector<int>(20, 32);
    }
    void messagesComeOutWholeAndInOrder()
    {
        QFETCH(int, capacity);
        QFETCH(std::vector<int>, sizes);
        midi::MessageRing ring(static_cast<std::size_t>(capacity));
        std::vector<std::pair<std::uint32_t, Bytes>> queued;
        const auto takeOldest = [&] {
            const auto front = ring.front();
            QVERIFY(front && !queued.empty());
            Bytes bytes(front->size);
            ring.copyFront(bytes);
            ring.pop();
            QCOMPARE(front->tag, queued.front().first);
            QCOMPARE(bytes, queued.front().second);
            queued.erase(queued.begin());
        };
        std::uint32_t tag = 0;
        for (const int size : sizes) {
            Bytes message(static_cast<std::size_t>(size));
            for (auto& byte : message)
                byte = static_cast<std::uint8_t>(tag * 7 + (&byte - message.data()));
            ++tag;
            while (!ring.push(tag, message)) {
                QVERIFY2(!queued.empty(), "refused by an empty ring");
                takeOldest();
                if (QTest::currentTestFailed())
                    return;
            }
            queued.emplace_back(tag, message);
        }
        while (!queued.empty()) {
            takeOldest();
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY(ring.empty());
        QVERIFY(!ring.front());
    }

    void tooLargeForTheWholeRingIsRefused()
    {
        midi::MessageRing ring(40);
        QVERIFY(!ring.push(1, Bytes(ring.largestMessage() + 1, 0xF0)));
        QVERIFY(ring.empty());
        QVERIFY(ring.push(1, Bytes(ring.largestMessage(), 0xF0)));
        QVERIFY(!ring.push(2, Bytes { 0x90, 60, 127 }));
    }
};

QTEST_APPLESS_MAIN(TestMessageRing)
#include "test_message_ring.moc"
