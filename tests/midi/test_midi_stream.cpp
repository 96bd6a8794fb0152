// SPDX-License-Identifier: GPL-3.0-or-later
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
    void statusSaysHowLongItsMessageIs_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("length");
        QTest::newRow("note on") << 0x90 << 3;
        QTest::newRow("note off status") << 0x80 << 3;
        QTest::newRow("key pressure ch 16") << 0xAF << 3;
        QTest::newRow("control change") << 0xB0 << 3;
        QTest::newRow("program change") << 0xC0 << 2;
        QTest::newRow("channel pressure") << 0xD3 << 2;
        QTest::newRow("pitch bend") << 0xE0 << 3;
        QTest::newRow("song position") << 0xF2 << 3;
        QTest::newRow("song select") << 0xF3 << 2;
        QTest::newRow("tune request") << 0xF6 << 1;
        QTest::newRow("timing clock") << 0xF8 << 1;
        // Not a message of a fixed length, or not a status at all.
        QTest::newRow("data byte") << 0x3C << 0;
        QTest::newRow("system exclusive") << 0xF0 << 0;
        QTest::newRow("end of exclusive") << 0xF7 << 0;
        QTest::newRow("undefined F4") << 0xF4 << 0;
        QTest::newRow("undefined FD") << 0xFD << 0;
    }
    void statusSaysHowLongItsMessageIs()
    {
        QFETCH(int, status);
        QFETCH(int, length);
        QCOMPARE(midi::fixedMessageLength(std::uint8_t(status)), std::size_t(length));
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

    // What an input reads: every whole message, the bytes around them passed over.
    void streamsYieldTheirWholeMessages_data()
    {
        QTest::addColumn<Bytes>("stream");
        QTest::addColumn<Messages>("messages");
        QTest::newRow("a controller of 14 bits, as two") << Bytes { 0xB0, 0x07, 0x64, 0xB0, 0x27,
            0x00 } << Messages { { 0xB0, 0x07, 0x64 }, { 0xB0, 0x27, 0x00 } };
        QTest::newRow("stray data, a cut-off note and a stray end passed over")
            << Bytes { 0x3C, 0x90, 0x3C, 0x7F, 0x90, 0x3C, 0xF8, 0xF7, 0x80, 0x3C, 0x00 }
            << Messages { { 0x90, 0x3C, 0x7F }, { 0xF8 }, { 0x80, 0x3C, 0x00 } };
        QTest::newRow("exclusive broken into by a note")
            << Bytes { 0xF0, 0x41, 0x90, 0x3C, 0x7F, 0xF7 } << Messages { { 0x90, 0x3C, 0x7F } };
        QTest::newRow("running status: the first note alone")
            << Bytes { 0x90, 0x3C, 0x7F, 0x3E, 0x7F } << Messages { { 0x90, 0x3C, 0x7F } };
        QTest::newRow("empty") << Bytes {} << Messages {};
    }
    void streamsYieldTheirWholeMessages()
    {
        QFETCH(Bytes, stream);
        QFETCH(Messages, messages);
        Messages got;
        midi::forEachMessage(stream,
            [&](midi::MessageBytes message) { got.emplace_back(message.begin(), message.end()); });
        QCOMPARE(got, messages);
    }

    // A channel message taken apart; anything else, or more or less than one, is not one.
    void channelMessagesReadApart_data()
    {
        QTest::addColumn<Bytes>("message");
        QTest::addColumn<Bytes>("read"); // kind, channel, data1, data2; empty for none
        QTest::newRow("note on, channel 16")
            << Bytes { 0x9F, 60, 127 } << Bytes { 0x90, 15, 60, 127 };
        QTest::newRow("program change") << Bytes { 0xC3, 5 } << Bytes { 0xC0, 3, 5, 0 };
        QTest::newRow("pitch bend") << Bytes { 0xE1, 0, 64 } << Bytes { 0xE0, 1, 0, 64 };
        QTest::newRow("cut off") << Bytes { 0x90, 60 } << Bytes {};
        QTest::newRow("one byte too many") << Bytes { 0xC0, 5, 6 } << Bytes {};
        QTest::newRow("status as data") << Bytes { 0xB0, 0x80, 1 } << Bytes {};
        QTest::newRow("timing clock") << Bytes { 0xF8 } << Bytes {};
        QTest::newRow("system exclusive") << Bytes { 0xF0, 0x7E, 0xF7 } << Bytes {};
        QTest::newRow("empty") << Bytes {} << Bytes {};
    }
    void channelMessagesReadApart()
    {
        QFETCH(Bytes, message);
        QFETCH(Bytes, read);
        Bytes got;
        if (const auto channel = midi::readChannelMessage(message))
            got = { channel->kind, channel->channel, channel->data1, channel->data2 };
        QCOMPARE(got, read);
    }
};

QTEST_APPLESS_MAIN(TestMidiStream)
#include "test_midi_stream.moc"
