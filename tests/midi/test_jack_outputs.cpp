#include "jack_capture.h"
#include "midi/system_midi_out_service.h"
#include "service_calls.h"

#include <QTest>

using namespace tonalyx;
using midi::kMidiOk;
using midi::SystemMidiOutService;
using testing::JackCapture;
using testing::joined;
using testing::pack;
using testing::sendLong;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
const std::string kPort = "in";

std::string nameOf(SystemMidiOutService& service, std::int32_t device)
{
    midi::MidiOutCaps caps;
    service.deviceCaps(device, caps);
    const auto& field = caps.productName;
    return { field.begin(), std::find(field.begin(), field.end(), '\0') };
}

// The number of the device with this name, or -1.
std::int32_t deviceNamed(SystemMidiOutService& service, const std::string& name)
{
    const auto count = static_cast<std::int32_t>(service.deviceCount());
    for (std::int32_t device = 0; device < count; ++device) {
        if (nameOf(service, device) == name)
            return device;
    }
    return -1;
}

// Sustain off, All Sound Off, All Notes Off on every channel.
Bytes resetBytes()
{
    Bytes bytes;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t status = 0xB0 + channel;
        for (std::uint8_t controller : { 64, 120, 123 })
            bytes.insert(bytes.end(), { status, controller, 0 });
    }
    return bytes;
}

} // namespace

class TestJackOutputs : public QObject {
    Q_OBJECT

    std::unique_ptr<JackCapture> capture_;

    // A service whose device list was taken now, and the number of the capture port in it.
    std::int32_t openCapture(SystemMidiOutService& service, midi::MidiOutHandle& handle)
    {
        const auto device = deviceNamed(service, capture_->fullName(kPort));
        if (device < 1 || service.open(handle, device) != kMidiOk)
            return -1;
        return device;
    }

private slots:
    void initTestCase()
    {
        capture_ = std::make_unique<JackCapture>("tonalyx-test-capture");
        QVERIFY2(
            capture_->isConnected(), "no JACK server: the jack fixture should have started one");
        QVERIFY(capture_->addInput(kPort));
    }

    void cleanup() { capture_->clear(kPort); }

    void listsJackInputsAfterTheBuiltInSynth()
    {
        SystemMidiOutService service;
        QCOMPARE(nameOf(service, 0), std::string("Built-in GS Synth (FluidSynth)"));
        const auto device = deviceNamed(service, capture_->fullName(kPort));
        QVERIFY(device >= 1);

        // The service's own output port, once open, is not offered by a second service.
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, device), kMidiOk);
        SystemMidiOutService other;
        const auto count = static_cast<std::int32_t>(other.deviceCount());
        for (std::int32_t i = 0; i < count; ++i)
            QVERIFY2(!nameOf(other, i).starts_with("Tonalyx"), nameOf(other, i).c_str());
    }

    void longPortNamesAreCutOnACharacterBoundary()
    {
        // "tonalyx-test-capture:" is 21 bytes; the three-byte characters then end at 30, and
        // the next one would cross the 32-byte limit.
        const std::string port = "音色音色xyz";
        QVERIFY(capture_->addInput(port));
        SystemMidiOutService service;
        const auto count = static_cast<std::int32_t>(service.deviceCount());
        QVERIFY(capture_->removeInput(port));
        const std::string expected = capture_->fullName("音色音");
        QCOMPARE(expected.size(), std::size_t(30));
        QVERIFY(deviceNamed(service, expected) > 0);
        QVERIFY(count >= 3);
    }

    void everyMessageKindArrivesExactly_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<quint32>("packed");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("note on") << "short" << pack(0x90, 60, 127) << Bytes { 0x90, 60, 127 };
        QTest::newRow("note off by velocity 0")
            << "short" << pack(0x90, 60, 0) << Bytes { 0x90, 60, 0 };
        QTest::newRow("bank select") << "short" << pack(0xB0, 0, 8) << Bytes { 0xB0, 0, 8 };
        QTest::newRow("program change") << "short" << pack(0xC0, 4) << Bytes { 0xC0, 4 };
        QTest::newRow("channel pressure") << "short" << pack(0xD0, 0x40) << Bytes { 0xD0, 0x40 };
        QTest::newRow("pitch bend") << "short" << pack(0xE0, 0, 0x40) << Bytes { 0xE0, 0, 0x40 };
        QTest::newRow("key pressure") << "short" << pack(0xA0, 60, 1) << Bytes { 0xA0, 60, 1 };
        QTest::newRow("gs reset") << "long" << 0u << kGsReset;
        QTest::newRow("reset") << "reset" << 0u << resetBytes();
    }
    void everyMessageKindArrivesExactly()
    {
        QFETCH(QString, call);
        QFETCH(quint32, packed);
        QFETCH(Bytes, expected);
        SystemMidiOutService service;
        midi::MidiOutHandle handle = 0;
        QVERIFY(openCapture(service, handle) > 0);
        if (call == "short")
            QCOMPARE(service.shortMessage(handle, packed), kMidiOk);
        else if (call == "long")
            QCOMPARE(sendLong(service, handle, expected), kMidiOk);
        else
            QCOMPARE(service.reset(handle), kMidiOk);
        const auto events = capture_->waitForBytes(kPort, expected.size());
        QCOMPARE(joined(events), expected);
        // One JACK event per message: a receiver parses events, not a byte stream.
        const auto messages = midi::splitMessages(expected);
        QCOMPARE(events.size(), messages->size());
        QCOMPARE(service.close(handle), kMidiOk);
    }

    void messagesArriveInTheOrderSent()
    {
        SystemMidiOutService service;
        midi::MidiOutHandle handle = 0;
        QVERIFY(openCapture(service, handle) > 0);
        Bytes expected;
        QCOMPARE(sendLong(service, handle, kGsReset), kMidiOk);
        expected.insert(expected.end(), kGsReset.begin(), kGsReset.end());
        for (std::uint8_t bank : { 0, 8, 127 }) {
            for (std::uint8_t program : { 0, 4, 127 }) {
                service.shortMessage(handle, pack(0xB0, 0, bank));
                service.shortMessage(handle, pack(0xC0, program));
                service.shortMessage(handle, pack(0x90, 60, 127));
                service.shortMessage(handle, pack(0x90, 60, 0));
                expected.insert(
                    expected.end(), { 0xB0, 0, bank, 0xC0, program, 0x90, 60, 127, 0x90, 60, 0 });
            }
        }
        QCOMPARE(service.reset(handle), kMidiOk);
        const auto reset = resetBytes();
        expected.insert(expected.end(), reset.begin(), reset.end());
        QCOMPARE(joined(capture_->waitForBytes(kPort, expected.size())), expected);
    }

    void nothingSentWhileClosedArrivesLater()
    {
        SystemMidiOutService service;
        midi::MidiOutHandle handle = 0;
        const auto device = openCapture(service, handle);
        QVERIFY(device > 0);
        const Bytes before { 0x90, 60, 127 };
        QCOMPARE(service.shortMessage(handle, pack(0x90, 60, 127)), kMidiOk);
        QCOMPARE(service.close(handle), kMidiOk);
        // What was sent before the close arrives while closed, not at the next open.
        QCOMPARE(joined(capture_->waitForBytes(kPort, before.size())), before);

        QVERIFY(service.shortMessage(handle, pack(0x90, 62, 127)) != kMidiOk);
        QVERIFY(sendLong(service, handle, kGsReset) != kMidiOk);
        QVERIFY(service.reset(handle) != kMidiOk);

        midi::MidiOutHandle reopened = 0;
        QCOMPARE(service.open(reopened, device), kMidiOk);
        QVERIFY(service.shortMessage(handle, pack(0x90, 63, 127)) != kMidiOk); // stale handle
        const Bytes marker { 0x90, 64, 127 };
        QCOMPARE(service.shortMessage(reopened, pack(0x90, 64, 127)), kMidiOk);
        Bytes expected = before;
        expected.insert(expected.end(), marker.begin(), marker.end());
        // JACK keeps order, so anything kept from the closed time would come before the marker.
        QCOMPARE(joined(capture_->waitForBytes(kPort, expected.size())), expected);
    }

    void numbersStayWithTheirPortsForTheWholeRun()
    {
        QVERIFY(capture_->addInput("late-a"));
        SystemMidiOutService service;
        const auto count = service.deviceCount();
        const auto device = deviceNamed(service, capture_->fullName(kPort));
        const auto lateA = deviceNamed(service, capture_->fullName("late-a"));
        QVERIFY(device > 0 && lateA > 0);
        QVERIFY(capture_->removeInput("late-a"));
        QVERIFY(capture_->addInput("late-b"));

        // The list is the one taken first: late-a keeps its number, late-b gets none.
        QCOMPARE(service.deviceCount(), count);
        QCOMPARE(nameOf(service, lateA), capture_->fullName("late-a"));
        QCOMPARE(deviceNamed(service, capture_->fullName("late-b")), -1);

        // A port that went away fails its open; the others open by name wherever JACK now
        // lists them.
        midi::MidiOutHandle handle = 99;
        QVERIFY(service.open(handle, lateA) != kMidiOk);
        QCOMPARE(handle, midi::MidiOutHandle(0));
        QVERIFY(service.shortMessage(handle, pack(0x90, 60, 127)) != kMidiOk);
        QCOMPARE(service.open(handle, device), kMidiOk);
        QCOMPARE(service.shortMessage(handle, pack(0x90, 65, 127)), kMidiOk);
        QCOMPARE(joined(capture_->waitForBytes(kPort, 3)), (Bytes { 0x90, 65, 127 }));
        QVERIFY(capture_->takeEvents("late-b").empty());
        QVERIFY(capture_->removeInput("late-b"));
    }
};

QTEST_GUILESS_MAIN(TestJackOutputs)
#include "test_jack_outputs.moc"
