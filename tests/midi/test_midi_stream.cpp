#include "midi/midi_stream.h"

#include <QTest>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Messages)

class TestMidiStream : public QObject {
    Q_OBJECT

private slots:
    void shortMessagesGoOutWithTheirStatusLength_data()
    {
        QTest::addColumn<quint32>("packed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Bytes>("bytes");
        // The unused high byte and an unused data byte never reach the wire.
        QTest::newRow("note on") << 0x7F3C90u << true << Bytes { 0x90, 0x3C, 0x7F };
        QTest::newRow("note on, junk in top byte")
            << 0xAB7F3C90u << true << Bytes { 0x90, 0x3C, 0x7F };
        QTest::newRow("note off status") << 0x403C80u << true << Bytes { 0x80, 0x3C, 0x40 };
        QTest::newRow("key pressure ch 16") << 0x203CAFu << true << Bytes { 0xAF, 0x3C, 0x20 };
        QTest::newRow("control change") << 0x0800B0u << true << Bytes { 0xB0, 0x00, 0x08 };
        QTest::newRow("program change drops data2") << 0x5504C0u << true << Bytes { 0xC0, 0x04 };
        QTest::newRow("channel pressure drops data2") << 0x5540D3u << true << Bytes { 0xD3, 0x40 };
        QTest::newRow("pitch bend") << 0x4000E0u << true << Bytes { 0xE0, 0x00, 0x40 };
        QTest::newRow("song position") << 0x0102F2u << true << Bytes { 0xF2, 0x02, 0x01 };
        QTest::newRow("song select") << 0x0503F3u << true << Bytes { 0xF3, 0x03 };
        QTest::newRow("tune request") << 0x0000F6u << true << Bytes { 0xF6 };
        QTest::newRow("timing clock") << 0xF8u << true << Bytes { 0xF8 };
        QTest::newRow("running status refused") << 0x7F3Cu << false << Bytes {};
        QTest::newRow("data byte with top bit refused") << 0x7FBC90u << false << Bytes {};
        QTest::newRow("second data byte with top bit refused") << 0x803C90u << false << Bytes {};
        QTest::newRow("system exclusive refused") << 0xF0u << false << Bytes {};
        QTest::newRow("end of exclusive refused") << 0xF7u << false << Bytes {};
        QTest::newRow("undefined F4 refused") << 0xF4u << false << Bytes {};
        QTest::newRow("undefined FD refused") << 0xFDu << false << Bytes {};
    }
    void shortMessagesGoOutWithTheirStatusLength()
    {
        QFETCH(quint32, packed);
        QFETCH(bool, valid);
        QFETCH(Bytes, bytes);
        const auto result = midi::shortMessageBytes(packed);
        QCOMPARE(result.has_value(), valid);
        if (valid) {
            const auto sent = result->bytes();
            QCOMPARE(Bytes(sent.begin(), sent.end()), bytes);
        }
    }

    void buffersSplitIntoWholeMessages_data()
    {
        QTest::addColumn<Bytes>("buffer");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Messages>("messages");
        const Bytes gsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
        QTest::newRow("gs reset") << gsReset << true << Messages { gsReset };
        QTest::newRow("shortest exclusive")
            << Bytes { 0xF0, 0xF7 } << true << Messages { { 0xF0, 0xF7 } };
        QTest::newRow("two exclusives") << Bytes { 0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7 } << true
                                        << Messages { { 0xF0, 0x01, 0xF7 }, { 0xF0, 0x02, 0xF7 } };
        QTest::newRow("channel messages of each length")
            << Bytes { 0xB0, 0x78, 0x00, 0xC1, 0x05, 0xFE, 0xE2, 0x00, 0x40 } << true
            << Messages { { 0xB0, 0x78, 0x00 }, { 0xC1, 0x05 }, { 0xFE }, { 0xE2, 0x00, 0x40 } };
        QTest::newRow("exclusive then note") << Bytes { 0xF0, 0x7E, 0xF7, 0x90, 0x3C,
            0x7F } << true << Messages { { 0xF0, 0x7E, 0xF7 }, { 0x90, 0x3C, 0x7F } };
        QTest::newRow("empty") << Bytes {} << false << Messages {};
        QTest::newRow("starts with a data byte") << Bytes { 0x3C, 0x7F } << false << Messages {};
        QTest::newRow("exclusive without end")
            << Bytes { 0xF0, 0x41, 0x10 } << false << Messages {};
        QTest::newRow("exclusive cut by a status")
            << Bytes { 0xF0, 0x41, 0x90, 0x3C, 0x7F, 0xF7 } << false << Messages {};
        QTest::newRow("stray end of exclusive") << Bytes { 0xF7 } << false << Messages {};
        QTest::newRow("cut-off note after a valid one")
            << Bytes { 0xC0, 0x01, 0x90, 0x3C } << false << Messages {};
        QTest::newRow("running status")
            << Bytes { 0x90, 0x3C, 0x7F, 0x3E, 0x7F } << false << Messages {};
        QTest::newRow("undefined status") << Bytes { 0xF5 } << false << Messages {};
    }
    void buffersSplitIntoWholeMessages()
    {
        QFETCH(Bytes, buffer);
        QFETCH(bool, valid);
        QFETCH(Messages, messages);
        const auto result = midi::splitMessages(buffer);
        QCOMPARE(result.has_value(), valid);
        if (!valid)
            return;
        Messages got;
        for (const auto message : *result)
            got.emplace_back(message.begin(), message.end());
        QCOMPARE(got, messages);
    }
};

QTEST_APPLESS_MAIN(TestMidiStream)
#include "test_midi_stream.moc"
