// SPDX-License-Identifier: GPL-3.0-or-later
// A keyboard on JACK playing into the running program: from a JACK client of the test's own,
// through the program's input port "in", the GUI thread and the program's output port, to the
// device, another JACK port of the test's own.
#include "app/application.h"
#include "application_peer.h"
#include "jack_capture.h"
#include "jack_source.h"
#include "midi/jack/jack_backend.h"
#include "recording_platform.h"
#include "ui/preview_button.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <thread>
#include <utility>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

const std::string kClient = "tonalyx-input-test";
const std::string kDeviceA = "a";
const std::string kDeviceB = "b";

Bytes joinedMessages(const Messages& messages)
{
    Bytes bytes;
    for (const auto& message : messages)
        bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

} // namespace

class TestJackInput : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<testing::JackCapture> capture_;
    std::unique_ptr<testing::JackSource> keyboard_;
    std::unique_ptr<midi::DeviceList> devices_;
    std::unique_ptr<testing::RecordingPlatform> platform_;
    std::unique_ptr<app::Application> app_;

    ui::MainWindow& window() { return app_->window(); }
    std::int32_t currentDevice() { return testing::ApplicationPeer::currentDevice(*app_).number; }
    void switchDevice() { QTest::mouseClick(&window().deviceSwitchButton(), Qt::LeftButton); }
    QStringList readouts()
    {
        return { window().programReadout().text(), window().bankReadout().text(),
            window().toneReadout().text() };
    }
    // Goes on to device `device`, and lets its reset and GS reset arrive there first.
    void switchTo(std::int32_t device, const std::string& port)
    {
        if (currentDevice() == device)
            return;
        switchDevice();
        capture_->waitForBytes(port, 16 * 9 + 11, 3);
        capture_->clear(port);
    }
    void play(const Messages& messages)
    {
        for (const auto& message : messages)
            keyboard_->play(message);
    }
    // The keyboard connected to the program's input, again after a case that took it away.
    void connectKeyboard()
    {
        const auto in = kClient + ":in";
        if (!keyboard_)
            keyboard_ = std::make_unique<testing::JackSource>("tonalyx-input-keyboard");
        if (!keyboard_->portsConnected("tonalyx-input-keyboard:out", in))
            QVERIFY(keyboard_->connectTo(in));
    }

private slots:
    void initTestCase()
    {
        capture_ = std::make_unique<testing::JackCapture>("tonalyx-input-capture");
        QVERIFY2(
            capture_->isConnected(), "no JACK server: the jack fixture should have started one");
        QVERIFY(capture_->addInput(kDeviceA));
        QVERIFY(capture_->addInput(kDeviceB));
        // What the program receives reaches its device through the GUI thread: the test's.
        capture_->waitWith([] { QTest::qWait(1); });

        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        backends.push_back(midi::makeJackBackend(kClient));
        QVERIFY(backends.back());
        devices_ = std::make_unique<midi::DeviceList>(std::move(backends));
        // The program's own input is not among its devices: only the capture's two ports are.
        QCOMPARE(devices_->count(), 2);
        QCOMPARE(devices_->name(0), capture_->fullName(kDeviceA));
        QCOMPARE(devices_->name(1), capture_->fullName(kDeviceB));

        platform_ = std::make_unique<testing::RecordingPlatform>(
            std::filesystem::path(folder_.path().toStdString()) / "tonalyx", [] { return 0; });
        app_ = std::make_unique<app::Application>(*devices_, *platform_);
        app_->start(app::loadSettings(*platform_));
        platform_->letTimePass();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QVERIFY(platform_->boxes.empty());
        QCOMPARE(currentDevice(), 0);

        connectKeyboard();
        QVERIFY(keyboard_->isConnected());
    }
    void cleanupTestCase()
    {
        keyboard_.reset();
        app_.reset();
        devices_.reset();
        capture_.reset();
    }

    // Whatever channel the keyboard plays on, its messages sound on channel 1 of the device,
    // notes with their own velocity; Bank Select and Program Change select a tone as the buttons
    // do, and the readouts show it.
    void keyboardPlaysOnTheDevice_data()
    {
        QTest::addColumn<Messages>("played");
        QTest::addColumn<Messages>("arriving");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("notes with their velocity")
            << Messages { { 0x93, 60, 33 }, { 0x83, 60, 64 }, { 0x9F, 72, 127 }, { 0x9F, 72, 0 } }
            << Messages { { 0x90, 60, 33 }, { 0x80, 60, 64 }, { 0x90, 72, 127 }, { 0x90, 72, 0 } }
            << QStringList {};
        QTest::newRow("pressures, pitch bend and controllers")
            << Messages { { 0xA5, 60, 10 }, { 0xD5, 20 }, { 0xE5, 0, 80 }, { 0xB5, 1, 127 },
                   { 0xB5, 7, 100 } }
            << Messages { { 0xA0, 60, 10 }, { 0xD0, 20 }, { 0xE0, 0, 80 }, { 0xB0, 1, 127 },
                   { 0xB0, 7, 100 } }
            << QStringList {};
        // The bank of the selection before comes first: the program button's own bytes.
        QTest::newRow("bank select and program change")
            << Messages { { 0xB2, 0, 8 }, { 0xB2, 32, 0 }, { 0xC2, 4 } }
            << Messages { { 0xB0, 0, 0xFF }, { 0xC0, 4 }, { 0xB0, 0, 8 }, { 0xB0, 32, 0 },
                   { 0xC0, 4 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("system messages go nowhere")
            << Messages { { 0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7 }, { 0xF8 }, { 0x90, 61, 5 },
                   { 0x90, 61, 0 } }
            << Messages { { 0x90, 61, 5 }, { 0x90, 61, 0 } } << QStringList {};
    }
    void keyboardPlaysOnTheDevice()
    {
        QFETCH(Messages, played);
        QFETCH(Messages, arriving);
        QFETCH(QStringList, shown);
        Bytes expected;
        bool retried = false;
        const auto events = capture_->deliver(kDeviceA, joinedMessages(arriving).size(), [&] {
            // An attempt lost to the platform may have left keys held in the program; leaving
            // the device ends them there, before this attempt's capture starts.
            if (std::exchange(retried, true))
                switchTo(1, kDeviceB);
            switchTo(0, kDeviceA);
            // 0xFF stands for the bank selected when the messages are played.
            const auto bank = std::uint8_t(testing::ApplicationPeer::selection(*app_).currentBank);
            expected = joinedMessages(arriving);
            std::replace(expected.begin(), expected.end(), std::uint8_t(0xFF), bank);
            play(played);
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(testing::joined(events), expected);
        // The window follows what the keyboard selected, a moment after the device has it.
        if (!shown.isEmpty())
            QTRY_COMPARE(readouts(), shown);
        QVERIFY(capture_->takeEvents(kDeviceB).empty());
    }

    // A note reaches the device in the very period the keyboard played it, at the same frame of
    // that period: the program adds nothing to JACK's own timing, wherever in the period it comes.
    void noteKeepsItsPeriodAndFrame_data()
    {
        QTest::addColumn<double>("place"); // where in the period, as a fraction of it
        QTest::newRow("at the period's start") << 0.0;
        QTest::newRow("in the middle of the period") << 0.5;
        QTest::newRow("at the period's last frame") << 1.0;
    }
    void noteKeepsItsPeriodAndFrame()
    {
        QFETCH(double, place);
        const auto period = capture_->periodFrames();
        const auto frame = std::min(std::uint32_t(place * period), period - 1);
        const Messages played { { 0x93, 60, 100 }, { 0x83, 60, 64 } };
        const Messages heard { { 0x90, 60, 100 }, { 0x80, 60, 64 } };
        Messages events;
        // Frames from the start of the period each message was played in to its arrival.
        QList<qint64> arrivedAt;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            // An attempt lost to the platform may have left the key held in the program; leaving
            // the device ends it there.
            if (attempt > 1)
                switchTo(1, kDeviceB);
            switchTo(0, kDeviceA);
            capture_->clear(kDeviceA);
            const auto xruns = capture_->xruns();
            QList<std::uint32_t> periods;
            for (std::size_t i = 0; i < played.size(); ++i) {
                keyboard_->play(played[i], frame);
                capture_->waitForBytes(kDeviceA, 3 * (i + 1), 3);
                periods.append(keyboard_->lastWrittenPeriod());
            }
            events = capture_->takeEvents(kDeviceA);
            const auto& frames = capture_->framesOf(kDeviceA);
            arrivedAt.clear();
            for (qsizetype i = 0; i < std::min(periods.size(), qsizetype(frames.size())); ++i)
                arrivedAt.append(std::int32_t(frames[std::size_t(i)] - periods[i]));
            capture_->waitForCycle();
            const bool onTime = events == heard && arrivedAt == QList<qint64>(heard.size(), frame);
            if (onTime || capture_->xruns() == xruns)
                break;
            qWarning("attempt %d of 3 lost to the platform's xruns", attempt);
        }
        QCOMPARE(events, heard);
        QCOMPARE(arrivedAt, QList<qint64>(heard.size(), frame));
    }

    // A switch made while keys and the pedal are held on the keyboard ends them on the device
    // being left, before the next one opens; that one hears none of them.
    void switchWithKeysHeldLeavesNothingSounding()
    {
        const Messages held { { 0x90, 60, 70 }, { 0x95, 64, 90 }, { 0xB0, 64, 127 } };
        const Messages heard { { 0x90, 60, 70 }, { 0x90, 64, 90 }, { 0xB0, 64, 127 },
            { 0x90, 60, 0 }, { 0x90, 64, 0 }, { 0xB0, 64, 0 } };
        const auto atA = capture_->deliver(kDeviceA, joinedMessages(heard).size(), [&] {
            switchTo(0, kDeviceA);
            capture_->clear(kDeviceB);
            play(held);
            capture_->waitForBytes(kDeviceA, joinedMessages(held).size(), 3);
            switchDevice();
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(testing::joined(atA), joinedMessages(heard));
        QCOMPARE(currentDevice(), 1);
        // The next device hears its reset and the GS reset, and no note.
        const auto atB = capture_->waitForBytes(kDeviceB, 16 * 9 + 11, 3);
        for (const auto& event : atB)
            QVERIFY(event.empty() || (event[0] & 0xF0) != 0x90);
        // Released now, the keys end nothing more there.
        capture_->clear(kDeviceA);
        play({ { 0x80, 60, 0 }, { 0x85, 64, 0 }, { 0xB0, 64, 0 } });
        QTest::qWait(50);
        QVERIFY(capture_->takeEvents(kDeviceA).empty());
    }

    // The keyboard going away, disconnected or closed, releases on the device the keys and the
    // pedal it held; a note a preview holds too sounds on until the preview's own release.
    void keyboardGoingAwayReleasesWhatItHeld_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("previewHolds");
        QTest::newRow("disconnected") << false << false;
        QTest::newRow("closed") << true << false;
        QTest::newRow("disconnected, a preview holding the note") << false << true;
    }
    void keyboardGoingAwayReleasesWhatItHeld()
    {
        QFETCH(bool, closed);
        QFETCH(bool, previewHolds);
        auto* button = window().programButtons()[0];
        const std::size_t pressBytes = previewHolds ? 8 : 0;
        std::uint8_t note = 60;
        const auto heldBytes = pressBytes + (previewHolds ? 6 : 3) + 3;
        const auto events
            = capture_->deliver(kDeviceA, heldBytes + 3 + (previewHolds ? 3 : 0), [&] {
                  switchTo(0, kDeviceA);
                  connectKeyboard();
                  if (previewHolds) {
                      QTest::mousePress(button, Qt::LeftButton);
                      const auto pressed = capture_->waitForBytes(kDeviceA, pressBytes, 3);
                      if (pressed.size() == 3 && pressed[2].size() == 3)
                          note = pressed[2][1];
                  }
                  play({ { 0x92, note, 70 }, { 0xB2, 64, 127 } });
                  capture_->waitForBytes(kDeviceA, heldBytes, 3);
                  if (closed)
                      keyboard_.reset();
                  else
                      QVERIFY(keyboard_->disconnectFrom(kClient + ":in"));
                  if (previewHolds) {
                      capture_->waitForBytes(kDeviceA, heldBytes + 3, 3);
                      QTest::mouseRelease(button, Qt::LeftButton);
                  }
              });
        // For the tests that follow, whatever became of this one.
        connectKeyboard();
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        const Messages released = previewHolds ? Messages { { 0x90, note, 0 }, { 0x90, note, 70 },
            { 0xB0, 64, 127 }, { 0xB0, 64, 0 }, { 0x90, note, 0 } }
                                               : Messages { { 0x90, note, 70 }, { 0xB0, 64, 127 },
                                                     { 0x90, note, 0 }, { 0xB0, 64, 0 } };
        QCOMPARE(Messages(events.begin() + (previewHolds ? 3 : 0), events.end()), released);
    }

    // A patchbay connecting the program's own output to its input would play everything back
    // into it for ever: the program undoes the connection, and a press sounds once.
    void ownOutputIntoInputIsUndone()
    {
        const auto out = kClient + ":out";
        const auto in = kClient + ":in";
        switchTo(0, kDeviceA);
        QVERIFY(keyboard_->connectPorts(out, in));
        QTRY_VERIFY_WITH_TIMEOUT(!keyboard_->portsConnected(out, in), 5000);
        auto* button = window().programButtons()[0];
        const auto events = capture_->deliver(kDeviceA, 11, [&] {
            QTest::mousePress(button, Qt::LeftButton);
            QTest::mouseRelease(button, Qt::LeftButton);
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(events.size(), std::size_t { 4 });
        QCOMPARE(events[3], (Bytes { 0x90, events[2][1], 0 }));
        // Nothing comes back out afterwards.
        capture_->clear(kDeviceA);
        QTest::qWait(50);
        QVERIFY(capture_->takeEvents(kDeviceA).empty());
    }

    // A flood of program changes around the release of a held key, all of it arriving while the
    // GUI thread is busy: far more than the program's input queue holds, each one then sent on as
    // five messages, far more than its output holds. The release still reaches the device, so
    // every key ends balanced, and the last program is the one selected there and shown.
    void floodNeverDropsANoteOff()
    {
        constexpr int kFlood = 10'000;
        // Each attempt holds a key of its own: one an attempt before left sounding would be ended
        // by the program before it sounds again.
        const auto flood = [](std::uint8_t key) {
            Messages played { { 0x90, key, 100 } };
            for (int i = 0; i < 2 * kFlood; ++i) {
                if (i == kFlood)
                    played.push_back({ 0x80, key, 64 });
                played.push_back({ 0xC0, std::uint8_t(i % 128) });
            }
            return played;
        };
        const Bytes lastProgram { 0xC0, std::uint8_t((2 * kFlood - 1) % 128) };
        switchTo(0, kDeviceA);
        const Messages* heardSoFar = nullptr;
        // Collected as they come: the capture's own queue holds far less than the flood.
        const auto listen = [&] {
            QTest::qWait(1);
            heardSoFar = &capture_->collect(kDeviceA);
        };
        const auto sounding = [&] {
            const auto& heard = *heardSoFar;
            std::array<int, 128> balance {};
            for (const auto& event : heard) {
                if (event.size() == 3 && (event[0] & 0xE0) == 0x80)
                    balance[event[1]] += (event[0] & 0xF0) == 0x90 && event[2] > 0 ? 1 : -1;
            }
            return std::count_if(balance.begin(), balance.end(), [](int n) { return n != 0; });
        };
        const auto done = [&] {
            const auto& heard = *heardSoFar;
            const auto lastChange = std::find_if(heard.rbegin(), heard.rend(),
                [](const Bytes& event) { return !event.empty() && (event[0] & 0xF0) == 0xC0; });
            return sounding() == 0 && lastChange != heard.rend() && *lastChange == lastProgram;
        };
        bool lostToThePlatform = false;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            capture_->clear(kDeviceA);
            const auto xrunsBefore = capture_->xruns();
            // The GUI thread (this one) does nothing until the whole flood has reached "in".
            const auto waitUntilPlayed = [&] {
                QDeadlineTimer bound(5'000);
                while (!keyboard_->drained() && !bound.hasExpired())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
            for (const auto& message : flood(std::uint8_t(60 + attempt))) {
                while (!keyboard_->play(message))
                    waitUntilPlayed();
            }
            waitUntilPlayed();
            QDeadlineTimer bound(20'000);
            do
                listen();
            while (!done() && !bound.hasExpired());
            lostToThePlatform = !done() && capture_->xruns() != xrunsBefore;
            if (!lostToThePlatform)
                break;
            qWarning("attempt %d of 3 lost to the platform's xruns", attempt);
        }
        // A machine too busy to run a single flood without missing a period (a sanitizer's build,
        // say) cannot tell the program's losses from its own.
        if (lostToThePlatform)
            QSKIP("every attempt lost events to the platform's xruns");
        QCOMPARE(sounding(), 0);
        QVERIFY(done());
        // The readouts follow on the GUI thread's next turn, after the wire has the bytes.
        QTRY_COMPARE_WITH_TIMEOUT(
            window().programReadout().text(), QString::number(lastProgram[1] + 1), 5'000);
    }
};

QTEST_MAIN(TestJackInput)
#include "test_jack_input.moc"
