#include "midi/midi_out_port.h"
#include "recording_midi_out_service.h"

#include <QTest>

using namespace tonalyx;
using testing::RecordingMidiOutService;
using CallKind = RecordingMidiOutService::CallKind;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(midi::ShortMessage)

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };

std::vector<CallKind> kinds(const RecordingMidiOutService& service)
{
    std::vector<CallKind> result;
    for (const auto& call : service.calls())
        result.push_back(call.kind);
    return result;
}

} // namespace

class TestMidiOutPort : public QObject {
    Q_OBJECT

private slots:
    void deviceNameIsCutAtTheFirstZeroByte_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray full32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
        QTest::newRow("32 non-zero bytes") << full32 << full32;
        QTest::newRow("ends early") << QByteArray("Synth\0garbage", 13) << QByteArray("Synth");
        QTest::newRow("empty") << QByteArray(32, '\0') << QByteArray();
        QTest::newRow("shift-jis bytes kept")
            << QByteArray("\x89\xB9\x8C\xB9\0", 5) << QByteArray("\x89\xB9\x8C\xB9");
    }
    void deviceNameIsCutAtTheFirstZeroByte()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, expected);
        RecordingMidiOutService service;
        service.addDeviceWithRawName({ field.constData(), static_cast<std::size_t>(field.size()) });
        midi::MidiOutPort port(service);

        const auto name = port.deviceName(0);
        QCOMPARE(QByteArray::fromStdString(name), expected);
        QVERIFY(name.size() <= 32);
    }

    void nameOfAnUnknownDeviceIsEmptyAndHarmless()
    {
        RecordingMidiOutService service({ "One" });
        midi::MidiOutPort port(service);
        QCOMPARE(port.deviceName(5), std::string());
        QCOMPARE(port.deviceName(-1), std::string());
    }

    void messagesPackToTheirWireBytes_data()
    {
        QTest::addColumn<midi::ShortMessage>("message");
        QTest::addColumn<quint32>("packed");
        QTest::addColumn<Bytes>("wire");
        QTest::newRow("bank msb 0") << midi::bankSelectMsb(0) << 0xB0u << Bytes { 0xB0, 0, 0 };
        QTest::newRow("bank msb 8")
            << midi::bankSelectMsb(8) << 0x0800B0u << Bytes { 0xB0, 0x00, 0x08 };
        QTest::newRow("bank msb 127")
            << midi::bankSelectMsb(127) << 0x7F00B0u << Bytes { 0xB0, 0x00, 0x7F };
        QTest::newRow("bank lsb") << midi::bankSelectLsb() << 8368u << Bytes { 0xB0, 0x20, 0x00 };
        QTest::newRow("program 0") << midi::programChange(0) << 0xC0u << Bytes { 0xC0, 0x00 };
        QTest::newRow("program 4") << midi::programChange(4) << 0x04C0u << Bytes { 0xC0, 0x04 };
        QTest::newRow("program 127") << midi::programChange(127) << 0x7FC0u << Bytes { 0xC0, 0x7F };
        QTest::newRow("note on 29") << midi::noteOn(29) << 0x7F1D90u << Bytes { 0x90, 0x1D, 0x7F };
        QTest::newRow("note on 60") << midi::noteOn(60) << 8338576u << Bytes { 0x90, 0x3C, 0x7F };
        QTest::newRow("note on 108")
            << midi::noteOn(108) << 0x7F6C90u << Bytes { 0x90, 0x6C, 0x7F };
        QTest::newRow("note off 29") << midi::noteOff(29) << 0x1D90u << Bytes { 0x90, 0x1D, 0x00 };
        QTest::newRow("note off 60") << midi::noteOff(60) << 15504u << Bytes { 0x90, 0x3C, 0x00 };
        QTest::newRow("note off 108")
            << midi::noteOff(108) << 0x6C90u << Bytes { 0x90, 0x6C, 0x00 };
        // Out-of-range values must never turn a data byte into a status byte or carry over.
        QTest::newRow("note 128 stays a data byte")
            << midi::noteOn(128) << 0x7F0090u << Bytes { 0x90, 0x00, 0x7F };
        QTest::newRow("negative program stays a data byte")
            << midi::programChange(-1) << 0x7FC0u << Bytes { 0xC0, 0x7F };
    }
    void messagesPackToTheirWireBytes()
    {
        QFETCH(midi::ShortMessage, message);
        QFETCH(quint32, packed);
        QFETCH(Bytes, wire);
        QCOMPARE(message.packed, packed);

        RecordingMidiOutService service({ "Synth" });
        midi::MidiOutPort port(service);
        QVERIFY(port.open(0));
        port.sendShortMessage(message);
        QCOMPARE(service.deliveredTo(0), wire);
    }

    void gsResetGoesOutExactlyEachTimeItIsSent()
    {
        RecordingMidiOutService service({ "Synth" });
        midi::MidiOutPort port(service);
        QVERIFY(port.open(0));
        service.clearCalls();

        port.sendGsReset();
        port.sendGsReset();

        const std::vector<CallKind> expected { CallKind::Prepare, CallKind::Long, CallKind::Prepare,
            CallKind::Long };
        QVERIFY(kinds(service) == expected);
        Bytes twice = kGsReset;
        twice.insert(twice.end(), kGsReset.begin(), kGsReset.end());
        QCOMPARE(service.deliveredTo(0), twice);
    }

    // The header is prepared again for every port, so a reset after reopening still arrives.
    void gsResetReachesADeviceOpenedLater()
    {
        RecordingMidiOutService service({ "A", "B" });
        midi::MidiOutPort port(service);
        QVERIFY(port.open(0));
        port.sendGsReset();
        port.close();
        QVERIFY(port.open(1));
        port.sendGsReset();
        QCOMPARE(service.deliveredTo(0), kGsReset);
        QCOMPARE(service.deliveredTo(1), kGsReset);
    }

    void everyOperationReachesTheServiceEvenWhenNotOpen_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<bool>("failOpen");
        QTest::newRow("no device") << 0 << false;
        QTest::newRow("open refused") << 1 << true;
    }
    void everyOperationReachesTheServiceEvenWhenNotOpen()
    {
        QFETCH(int, devices);
        QFETCH(bool, failOpen);
        RecordingMidiOutService service(std::vector<std::string>(devices, "Synth"));
        if (failOpen)
            service.failOpenOf(0);
        midi::MidiOutPort port(service);

        QVERIFY(!port.open(0));
        port.reset();
        port.sendShortMessage(midi::noteOn(60));
        port.sendGsReset();
        port.close();

        const std::vector<CallKind> expected { CallKind::Open, CallKind::Reset, CallKind::Short,
            CallKind::Prepare, CallKind::Long, CallKind::Close };
        QVERIFY(kinds(service) == expected);
        for (const auto& call : service.calls())
            QVERIFY(call.result != midi::kMidiOk);
        QVERIFY(service.deliveredTo(0).empty());
    }

    void sendsAfterCloseAreRefused()
    {
        RecordingMidiOutService service({ "Synth" });
        midi::MidiOutPort port(service);
        QVERIFY(port.open(0));
        port.sendShortMessage(midi::noteOn(60));
        port.close();
        port.sendShortMessage(midi::noteOff(60));
        QCOMPARE(service.deliveredTo(0), (Bytes { 0x90, 0x3C, 0x7F }));
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
        RecordingMidiOutService service({ "A", "B" });
        midi::MidiOutPort port(service);
        QCOMPARE(port.open(device), opened);
        QCOMPARE(port.countDevices(), 2);
    }
};

QTEST_APPLESS_MAIN(TestMidiOutPort)
#include "test_midi_out_port.moc"
