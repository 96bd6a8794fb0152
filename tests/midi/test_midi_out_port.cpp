// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_out_port.h"
#include "recording_backend.h"

#include <QTest>

using namespace tonalyx;
using testing::Bytes;
using testing::RecordedDevices;
using CallKind = testing::RecordingBackend::CallKind;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(midi::ShortMessage)
Q_DECLARE_METATYPE(std::vector<CallKind>)

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };

} // namespace

class TestMidiOutPort : public QObject {
    Q_OBJECT

private slots:
    void deviceNameIsCutAtTheFirstZeroByteOrACharacter_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray full32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
        QTest::newRow("32 bytes") << full32 << full32;
        QTest::newRow("longer") << full32 + "6789" << full32;
        QTest::newRow("ends early") << QByteArray("Synth\0garbage", 13) << QByteArray("Synth");
        QTest::newRow("empty") << QByteArray(32, '\0') << QByteArray();
        QTest::newRow("shift-jis bytes kept")
            << QByteArray("\x89\xB9\x8C\xB9\0", 5) << QByteArray("\x89\xB9\x8C\xB9");
        // 30 bytes of three-byte characters; the next would cross the limit.
        QTest::newRow("utf-8 on a character boundary")
            << QString("音色音色音色音色音色音色").toUtf8()
            << QString("音色音色音色音色音色").toUtf8();
    }
    void deviceNameIsCutAtTheFirstZeroByteOrACharacter()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, expected);
        RecordedDevices devices({ name.toStdString() });
        midi::MidiOutPort port(devices.list());

        const auto shown = port.deviceName(0);
        QCOMPARE(QByteArray::fromStdString(shown), expected);
        QVERIFY(shown.size() <= 32);
    }

    void nameOfAnUnknownDeviceIsEmptyAndHarmless()
    {
        RecordedDevices devices({ "One" });
        midi::MidiOutPort port(devices.list());
        QCOMPARE(port.deviceName(5), std::string());
        QCOMPARE(port.deviceName(-1), std::string());
    }

    void messagesHaveTheirWireBytes_data()
    {
        QTest::addColumn<midi::ShortMessage>("message");
        QTest::addColumn<Bytes>("wire");
        QTest::newRow("bank msb 0") << midi::bankSelectMsb(0) << Bytes { 0xB0, 0, 0 };
        QTest::newRow("bank msb 8") << midi::bankSelectMsb(8) << Bytes { 0xB0, 0x00, 0x08 };
        QTest::newRow("bank msb 127") << midi::bankSelectMsb(127) << Bytes { 0xB0, 0x00, 0x7F };
        QTest::newRow("bank lsb") << midi::bankSelectLsb() << Bytes { 0xB0, 0x20, 0x00 };
        QTest::newRow("program 0") << midi::programChange(0) << Bytes { 0xC0, 0x00 };
        QTest::newRow("program 4") << midi::programChange(4) << Bytes { 0xC0, 0x04 };
        QTest::newRow("program 127") << midi::programChange(127) << Bytes { 0xC0, 0x7F };
        QTest::newRow("note on 29") << midi::noteOn(29) << Bytes { 0x90, 0x1D, 0x7F };
        QTest::newRow("note on 60") << midi::noteOn(60) << Bytes { 0x90, 0x3C, 0x7F };
        QTest::newRow("note on 108") << midi::noteOn(108) << Bytes { 0x90, 0x6C, 0x7F };
        QTest::newRow("note off 29") << midi::noteOff(29) << Bytes { 0x90, 0x1D, 0x00 };
        QTest::newRow("note off 60") << midi::noteOff(60) << Bytes { 0x90, 0x3C, 0x00 };
        QTest::newRow("note off 108") << midi::noteOff(108) << Bytes { 0x90, 0x6C, 0x00 };
        // Out-of-range values must never turn a data byte into a status byte or carry over.
        QTest::newRow("note 128 stays a data byte")
            << midi::noteOn(128) << Bytes { 0x90, 0x00, 0x7F };
        QTest::newRow("negative program stays a data byte")
            << midi::programChange(-1) << Bytes { 0xC0, 0x7F };
    }
    void messagesHaveTheirWireBytes()
    {
        QFETCH(midi::ShortMessage, message);
        QFETCH(Bytes, wire);
        RecordedDevices devices({ "Synth" });
        midi::MidiOutPort port(devices.list());
        QVERIFY(port.open(0));
        port.send(message);
        QCOMPARE(devices.recorder().sentMessages(), std::vector<Bytes> { wire });
    }

    void gsResetGoesOutWholeEachTimeOnEveryDevice()
    {
        RecordedDevices devices({ "A", "B" });
        midi::MidiOutPort port(devices.list());
        QVERIFY(port.open(0));
        port.sendGsReset();
        port.sendGsReset();
        QVERIFY(port.open(1));
        port.sendGsReset();
        QCOMPARE(devices.recorder().sentMessages(),
            (std::vector<Bytes> { kGsReset, kGsReset, kGsReset }));
        Bytes twice = kGsReset;
        twice.insert(twice.end(), kGsReset.begin(), kGsReset.end());
        QCOMPARE(devices.recorder().deliveredTo(0), twice);
        QCOMPARE(devices.recorder().deliveredTo(1), kGsReset);
    }

    // Sustain off, All Sound Off and All Notes Off on each channel in turn, as whole messages.
    void resetSilencesEveryChannel()
    {
        RecordedDevices devices({ "Synth" });
        midi::MidiOutPort port(devices.list());
        QVERIFY(port.open(0));
        port.reset();
        std::vector<Bytes> expected;
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            for (std::uint8_t controller : { 64, 120, 123 })
                expected.push_back({ std::uint8_t(0xB0 + channel), controller, 0 });
        }
        QCOMPARE(devices.recorder().sentMessages(), expected);
    }

    void nothingIsSentWithoutAnOpenDevice_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<bool>("failOpen");
        QTest::addColumn<bool>("closeFirst");
        QTest::newRow("no device") << 0 << false << false;
        QTest::newRow("open refused") << 1 << true << false;
        QTest::newRow("closed") << 1 << false << true;
    }
    void nothingIsSentWithoutAnOpenDevice()
    {
        QFETCH(int, devices);
        QFETCH(bool, failOpen);
        QFETCH(bool, closeFirst);
        RecordedDevices recorded(std::vector<std::string>(devices, "Synth"));
        if (failOpen)
            recorded.recorder().failOpenOf(0);
        midi::MidiOutPort port(recorded.list());

        QCOMPARE(port.open(0), closeFirst);
        port.close();
        recorded.recorder().clearCalls();
        port.reset();
        port.send(midi::noteOn(60));
        port.sendGsReset();
        port.close();
        QVERIFY(recorded.recorder().calls().empty());
    }

    void openClosesWhatWasOpenFirst()
    {
        RecordedDevices devices({ "A", "B" });
        midi::MidiOutPort port(devices.list());
        QVERIFY(port.open(0));
        QVERIFY(port.open(1));
        QVERIFY((devices.recorder().callKinds()
            == std::vector<CallKind> { CallKind::Open, CallKind::Close, CallKind::Open }));
    }

    // A device opened ahead is the one the next open of it gets; any other open first closes it.
    void openAheadIsTakenByTheOpenThatFollows_data()
    {
        QTest::addColumn<int>("opened");
        QTest::addColumn<std::vector<CallKind>>("calls");
        QTest::newRow("the same device")
            << 1 << std::vector<CallKind> { CallKind::Open, CallKind::Send };
        QTest::newRow("another device") << 0
                                        << std::vector<CallKind> { CallKind::Open, CallKind::Close,
                                               CallKind::Open, CallKind::Send };
    }
    void openAheadIsTakenByTheOpenThatFollows()
    {
        QFETCH(int, opened);
        QFETCH(std::vector<CallKind>, calls);
        RecordedDevices devices({ "A", "B" });
        midi::MidiOutPort port(devices.list());
        devices.list().openAhead(1);
        QVERIFY(port.open(opened));
        port.sendGsReset();
        QCOMPARE(devices.recorder().callKinds(), calls);
        QCOMPARE(devices.recorder().deliveredTo(opened), kGsReset);
    }

    void openReportsOnlySuccessOrFailure_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<bool>("opened");
        QTest::newRow("first") << 0 << true;
        QTest::newRow("last") << 1 << true;
        QTest::newRow("equal to count") << 2 << false;
        QTest::newRow("negative") << -1 << false;
    }
    void openReportsOnlySuccessOrFailure()
    {
        QFETCH(int, device);
        QFETCH(bool, opened);
        RecordedDevices devices({ "A", "B" });
        midi::MidiOutPort port(devices.list());
        QCOMPARE(port.open(device), opened);
        QCOMPARE(port.deviceCount(), 2);
    }
};

QTEST_APPLESS_MAIN(TestMidiOutPort)
#include "test_midi_out_port.moc"
