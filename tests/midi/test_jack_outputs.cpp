// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_capture.h"
#include "midi/jack/jack_backend.h"
#include "midi/midi_out_port.h"
#include "midi/midi_stream.h"
#include "midi/system_devices.h"

#include <QTest>

using namespace tonalyx;
using testing::JackCapture;
using testing::joined;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)

namespace {

const Bytes kGsReset(midi::GsResetMessage.begin(), midi::GsResetMessage.end());
const std::string kPort = "in";

// The number of the device with this name, or -1.
std::int32_t deviceNamed(midi::DeviceList& devices, const std::string& name)
{
    for (std::int32_t device = 0; device < devices.count(); ++device) {
        if (devices.name(device) == name)
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

    // The capture port opened through a device list taken now.
    struct Opened {
        std::unique_ptr<midi::DeviceList> devices = midi::makeSystemDeviceList();
        midi::MidiOutPort port { *devices };
        std::int32_t device = -1;
    };
    std::unique_ptr<Opened> openCapture()
    {
        auto opened = std::make_unique<Opened>();
        opened->device = deviceNamed(*opened->devices, capture_->fullName(kPort));
        if (opened->device < 1 || !opened->port.open(opened->device))
            return nullptr;
        return opened;
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
        const auto opened = openCapture();
        QVERIFY(opened);
        QCOMPARE(opened->devices->name(0), std::string("Built-in GS Synth (FluidSynth)"));

        // The program's own output port, once open, is not offered by a second device list.
        const auto other = midi::makeSystemDeviceList();
        for (std::int32_t i = 0; i < other->count(); ++i)
            QVERIFY2(!other->name(i).starts_with("Tonalyx"), other->name(i).c_str());
    }

    void longPortNamesAreCutOnACharacterBoundary()
    {
        // "tonalyx-test-capture:" is 21 bytes; the three-byte characters then end at 30, and
        // the next one would cross the 32-byte limit.
        const std::string port = "音色音色xyz";
        QVERIFY(capture_->addInput(port));
        const auto devices = midi::makeSystemDeviceList();
        const auto count = devices->count();
        QVERIFY(capture_->removeInput(port));
        const std::string expected = capture_->fullName("音色音");
        QCOMPARE(expected.size(), std::size_t(30));
        QVERIFY(deviceNamed(*devices, expected) > 0);
        QVERIFY(count >= 3);
    }

    void everyMessageKindArrivesExactly_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("note on") << "message" << Bytes { 0x90, 60, 127 };
        QTest::newRow("note off by velocity 0") << "message" << Bytes { 0x90, 60, 0 };
        QTest::newRow("bank select") << "message" << Bytes { 0xB0, 0, 8 };
        QTest::newRow("program change") << "message" << Bytes { 0xC0, 4 };
        QTest::newRow("channel pressure") << "message" << Bytes { 0xD0, 0x40 };
        QTest::newRow("pitch bend") << "message" << Bytes { 0xE0, 0, 0x40 };
        QTest::newRow("key pressure") << "message" << Bytes { 0xA0, 60, 1 };
        QTest::newRow("gs reset") << "gs reset" << kGsReset;
        QTest::newRow("reset") << "reset" << resetBytes();
    }
    void everyMessageKindArrivesExactly()
    {
        QFETCH(QString, call);
        QFETCH(Bytes, expected);
        // The devices outlive the connection opened on them.
        std::unique_ptr<midi::DeviceList> devices;
        std::unique_ptr<midi::MidiConnection> connection;
        std::unique_ptr<Opened> opened;
        bool sent = false;
        const auto events = capture_->deliver(kPort, expected.size(), [&] {
            if (call == "message") {
                // Any whole message, not only the program's own, arrives as it was given.
                connection.reset();
                devices = midi::makeSystemDeviceList();
                connection = devices->open(deviceNamed(*devices, capture_->fullName(kPort)));
                sent = connection && connection->send(expected);
            } else {
                opened.reset();
                opened = openCapture();
                sent = opened != nullptr;
                if (opened && call == "gs reset")
                    opened->port.sendGsReset();
                else if (opened)
                    opened->port.reset();
            }
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QVERIFY(sent);
        QCOMPARE(joined(events), expected);
        // One JACK event per message: a receiver parses events, not a byte stream.
        const auto messages = midi::splitMessages(expected);
        QCOMPARE(events.size(), messages->size());
    }

    void messagesArriveInTheOrderSent()
    {
        const auto opened = openCapture();
        QVERIFY(opened);
        auto& port = opened->port;
        Bytes expected(kGsReset);
        for (std::uint8_t bank : { 0, 8, 127 }) {
            for (std::uint8_t program : { 0, 4, 127 })
                expected.insert(
                    expected.end(), { 0xB0, 0, bank, 0xC0, program, 0x90, 60, 127, 0x90, 60, 0 });
        }
        const auto reset = resetBytes();
        expected.insert(expected.end(), reset.begin(), reset.end());
        const auto events = capture_->deliver(kPort, expected.size(), [&] {
            port.sendGsReset();
            for (std::uint8_t bank : { 0, 8, 127 }) {
                for (std::uint8_t program : { 0, 4, 127 }) {
                    port.send(midi::bankSelectMsb(bank));
                    port.send(midi::programChange(program));
                    port.send(midi::noteOn(60));
                    port.send(midi::noteOff(60));
                }
            }
            port.reset();
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(joined(events), expected);
    }

    // The message sent right after an open is the one that goes missing when an output writes
    // in a period before its connection is part of the server's graph.
    void firstMessageAfterEachOpenArrives_data()
    {
        QTest::addColumn<Bytes>("message");
        QTest::newRow("note on") << Bytes { 0x90, 60, 127 };
        QTest::newRow("program change") << Bytes { 0xC0, 4 };
        QTest::newRow("gs reset") << kGsReset;
    }
    void firstMessageAfterEachOpenArrives()
    {
        QFETCH(Bytes, message);
        const auto devices = midi::makeSystemDeviceList();
        const auto device = deviceNamed(*devices, capture_->fullName(kPort));
        for (int open = 0; open < 20; ++open) {
            std::unique_ptr<midi::MidiConnection> connection;
            const auto events = capture_->deliver(kPort, message.size(), [&] {
                connection.reset();
                connection = devices->open(device);
                if (connection)
                    connection->send(message);
            });
            SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
            QVERIFY2(connection, qPrintable(QStringLiteral("open %1").arg(open)));
            QVERIFY2(events == std::vector<Bytes> { message },
                qPrintable(QStringLiteral("open %1").arg(open)));
        }
    }

    // More than one period's buffer can carry goes out over the next periods, whole and in
    // order; a message no period can carry is refused, and does not hold up what follows.
    void whatAPeriodCannotCarry_data()
    {
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("refused");
        QTest::newRow("2,000 messages of 11 bytes") << 2000 << 11 << false;
        QTest::newRow("one message of 60,000 bytes") << 1 << 60000 << true;
    }
    void whatAPeriodCannotCarry()
    {
        QFETCH(int, messages);
        QFETCH(int, size);
        QFETCH(bool, refused);
#if defined(__SANITIZE_THREAD__)
        // Under ThreadSanitizer the process threads take longer than a period over thousands of
        // events, and every try ends in an xrun; the ordinary build checks the burst.
        if (messages > 1)
            QSKIP("ThreadSanitizer's slowdown overruns JACK's period on this burst");
#endif
        std::vector<Bytes> burst;
        for (int i = 0; i < messages; ++i) {
            Bytes message(static_cast<std::size_t>(size), std::uint8_t(i % 128));
            message.front() = 0xF0;
            message.back() = 0xF7;
            burst.push_back(std::move(message));
        }
        const Bytes after { 0x90, 61, 100 };
        const auto expected = refused ? std::vector<Bytes> { after } : burst;
        auto backend
            = midi::JackBackend::connect("tonalyx-burst", std::make_shared<midi::JackCalls>());
        QVERIFY(backend);
        std::uint64_t before = 0;
        std::unique_ptr<midi::MidiConnection> connection;
        int accepted = 0;
        const auto events = capture_->deliver(kPort, joined(expected).size(), [&] {
            // Counted from here, so a try lost to an xrun and retried is not counted twice.
            connection.reset();
            before = backend->dropped();
            connection = backend->open(capture_->fullName(kPort));
            accepted = 0;
            for (const auto& message : burst)
                accepted += connection && connection->send(message);
            if (connection && refused)
                connection->send(after);
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(accepted, refused ? 0 : messages);
        QVERIFY(events == expected);
        QCOMPARE(backend->dropped() - before, std::uint64_t(refused ? 1 : 0));
    }

    void nothingSentWhileClosedArrivesLater()
    {
        const Bytes before { 0x90, 60, 127 };
        const Bytes marker { 0x90, 64, 127 };
        Bytes expected = before;
        expected.insert(expected.end(), marker.begin(), marker.end());
        std::unique_ptr<Opened> opened;
        Bytes whileClosed;
        bool reopened = false;
        const auto events = capture_->deliver(kPort, expected.size(), [&] {
            opened.reset();
            opened = openCapture();
            if (!opened)
                return;
            auto& port = opened->port;
            port.send(midi::noteOn(60));
            port.close();
            whileClosed = joined(capture_->waitForBytes(kPort, before.size(), 3));

            port.send(midi::noteOn(62));
            port.sendGsReset();
            port.reset();

            reopened = port.open(opened->device);
            port.send(midi::noteOn(64));
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QVERIFY(opened);
        // What was sent before the close arrives while closed, not at the next open.
        QCOMPARE(whileClosed, before);
        QVERIFY(reopened);
        // JACK keeps order, so anything kept from the closed time would come before the marker.
        QCOMPARE(joined(events), expected);
    }

    void numbersStayWithTheirPortsForTheWholeRun()
    {
        QVERIFY(capture_->addInput("late-a"));
        const auto devices = midi::makeSystemDeviceList();
        midi::MidiOutPort port(*devices);
        const auto count = devices->count();
        const auto device = deviceNamed(*devices, capture_->fullName(kPort));
        const auto lateA = deviceNamed(*devices, capture_->fullName("late-a"));
        QVERIFY(device > 0 && lateA > 0);
        QVERIFY(capture_->removeInput("late-a"));
        QVERIFY(capture_->addInput("late-b"));

        // The list is the one taken first: late-a keeps its number, late-b gets none.
        QCOMPARE(devices->count(), count);
        QCOMPARE(devices->name(lateA), capture_->fullName("late-a"));
        QCOMPARE(deviceNamed(*devices, capture_->fullName("late-b")), -1);

        // A port that went away fails its open; the others open by name wherever JACK now
        // lists them.
        QVERIFY(!port.open(lateA));
        port.send(midi::noteOn(60));
        bool opened = false;
        const auto events = capture_->deliver(kPort, 3, [&] {
            opened = port.open(device);
            port.send(midi::noteOn(65));
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QVERIFY(opened);
        QCOMPARE(joined(events), (Bytes { 0x90, 65, 127 }));
        QVERIFY(capture_->takeEvents("late-b").empty());
        QVERIFY(capture_->removeInput("late-b"));
    }
};

QTEST_GUILESS_MAIN(TestJackOutputs)
#include "test_jack_outputs.moc"
