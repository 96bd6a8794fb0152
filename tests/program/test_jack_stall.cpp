// SPDX-License-Identifier: GPL-3.0-or-later
// The program on a JACK server that stops answering, as one stopped with SIGSTOP (a debugger, a
// frozen session) does: libjack's requests wait for as long as it stays stopped. The window must
// answer throughout: at start-up, during a device switch and during the close; and the program
// must end. Once the server goes on, the program works again. The server is this test's own,
// started, stopped and continued here.
#include "app/application.h"
#include "application_peer.h"
#include "jack_capture.h"
#include "jack_server_process.h"
#include "recording_platform.h"
#include "system_devices_under_test.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>

using namespace tonalyx;
using testing::RecordingPlatform;
using Box = RecordingPlatform::Box;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

const QString kCannotOpen = QStringLiteral("ＭＩＤＩデバイスが開けません");
const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
const std::string kPort = "in";

enum class StoppedAt { StartUp, Switch, Close };

// The built-in synth with the small GS font only, quick to load: what is looked at here is JACK.
midi::SystemDevicesConfig devicesConfig(std::vector<std::string> audioDrivers)
{
    midi::SystemDevicesConfig config;
    config.clientName = "tonalyx-stall-test";
    config.builtInSynth.soundFonts = { midi::defaultSoundFonts().back() };
    config.builtInSynth.audioDrivers = std::move(audioDrivers);
    return config;
}

// How long the calling thread has run on a core or waited in line for one, in ms: whatever else
// of its time passed, it slept, waiting on something.
qint64 ranOrQueuedMs()
{
    std::ifstream stat("/proc/thread-self/schedstat");
    std::uint64_t ranNs = 0;
    std::uint64_t queuedNs = 0;
    stat >> ranNs >> queuedNs;
    return static_cast<qint64>((ranNs + queuedNs) / 1'000'000);
}

// Runs `step` on the GUI thread with a timer ticking every 50 ms, and gives the longest time the
// timer went without ticking, from just before the step until the first tick after it: the
// longest the window would have left a user without an answer. Only the time the GUI thread slept
// counts: time it ran, or was kept off the cores by a busy machine, is not a wait on a server.
qint64 longestWait(const std::function<void()>& step)
{
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 lastBusy = ranOrQueuedMs();
    qint64 longest = 0;
    QTimer ticks;
    ticks.setInterval(50);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const auto busy = ranOrQueuedMs();
        longest = std::max(longest, clock.elapsed() - lastTick - (busy - lastBusy));
        lastTick = clock.elapsed();
        lastBusy = busy;
    });
    clock.start();
    ticks.start();
    step();
    const auto stepEnded = clock.elapsed();
    if (!QTest::qWaitFor([&] { return lastTick > stepEnded; }, 10000))
        return clock.elapsed();
    return longest;
}

constexpr qint64 kAnswers = 1000;

} // namespace

Q_DECLARE_METATYPE(StoppedAt)

class TestJackStall : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::JackServerProcess> server_;
    std::unique_ptr<testing::JackCapture> capture_;
    QTemporaryDir folder_;
    std::unique_ptr<testing::SystemDevicesUnderTest> devices_;
    std::unique_ptr<RecordingPlatform> platform_;
    std::unique_ptr<app::Application> app_;

    app::CurrentDevice& current() { return testing::ApplicationPeer::currentDevice(*app_); }
    void switchDevice() { QTest::mouseClick(&app_->window().deviceSwitchButton(), Qt::LeftButton); }
    void makeDevices(std::vector<std::string> audioDrivers)
    {
        devices_ = std::make_unique<testing::SystemDevicesUnderTest>(
            devicesConfig(std::move(audioDrivers)));
        platform_ = std::make_unique<RecordingPlatform>(
            fs::path(folder_.path().toStdString()) / "tonalyx", [] { return 0; });
        app_ = std::make_unique<app::Application>(devices_->list(), *platform_);
    }
    void startOn(std::int32_t device)
    {
        QFile settings(folder_.filePath("tonalyx.ini"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[dev]\r\ndev_num=" + QByteArray::number(device) + "\r\n");
        settings.close();
        app_->start(app::loadSettings(*platform_));
        platform_->letTimePass();
        app_->window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&app_->window()));
    }
    // Switches until the JACK port is the device again, as soon as the server's stuck calls have
    // ended; the bytes of that switch.
    std::vector<Bytes> switchBackToJack()
    {
        const auto deadline = QDeadlineTimer(10000);
        while (!deadline.hasExpired()) {
            platform_->boxes.clear();
            const auto events = capture_->deliver(kPort, 16 * 9 + kGsReset.size(), [&] {
                if (current().number == 1)
                    switchDevice();
                switchDevice();
            });
            if (platform_->boxes.empty())
                return events;
            QTest::qWait(100);
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testing::JackServerProcess>(
            qEnvironmentVariable("JACK_DEFAULT_SERVER"));
        QByteArray output;
        QVERIFY2(server_->waitUntilReady(output), output.constData());
        capture_ = std::make_unique<testing::JackCapture>("tonalyx-stall-capture");
        QVERIFY(capture_->isConnected());
        QVERIFY(capture_->addInput(kPort));
    }
    void cleanup()
    {
        server_->resume();
        app_.reset();
        devices_.reset();
    }
    void cleanupTestCase()
    {
        capture_.reset();
        server_.reset();
    }

    void windowAnswersWhileTheServerIsStopped_data()
    {
        QTest::addColumn<StoppedAt>("stoppedAt");
        QTest::newRow("at start-up") << StoppedAt::StartUp;
        QTest::newRow("during a switch") << StoppedAt::Switch;
        QTest::newRow("during the close") << StoppedAt::Close;
    }
    void windowAnswersWhileTheServerIsStopped()
    {
        QFETCH(StoppedAt, stoppedAt);
        if (stoppedAt == StoppedAt::StartUp) {
            server_->pause();
            // The built-in synth's JACK audio output is asked for too: whether a server answers
            // must not wait on it either.
            QVERIFY(longestWait([&] { makeDevices({ "jack" }); }) < kAnswers);
            QVERIFY(longestWait([&] { startOn(0); }) < kAnswers);
            // A server that does not answer counts as none: no JACK port, and no JACK audio.
            QCOMPARE(devices_->list().count(), 1);
            QVERIFY((platform_->boxes == std::vector<Box> { { Box::Message, kCannotOpen } }));
            server_->resume();
            return;
        }

        makeDevices({});
        QCOMPARE(devices_->list().count(), 2);
        QCOMPARE(devices_->list().name(1), capture_->fullName(kPort));
        startOn(stoppedAt == StoppedAt::Switch ? 0 : 1);
        QVERIFY(platform_->boxes.empty());
        server_->pause();

        if (stoppedAt == StoppedAt::Switch) {
            // To the JACK port, away and back again: each answers, and each open of the port
            // says that it failed.
            for (int i = 0; i < 3; ++i)
                QVERIFY(longestWait([&] { switchDevice(); }) < kAnswers);
            QVERIFY((platform_->boxes
                == std::vector<Box> {
                    { Box::Message, kCannotOpen }, { Box::Message, kCannotOpen } }));
            server_->resume();
            const auto received = testing::joined(switchBackToJack());
            SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
            QVERIFY(received.size() >= kGsReset.size());
            QCOMPARE(Bytes(received.end() - 11, received.end()), kGsReset);
        } else {
            QVERIFY(longestWait([&] {
                QVERIFY(app_->window().close());
                app_.reset();
                devices_.reset();
            }) < kAnswers);
            server_->resume();
            // The client closes once the server goes on, port and all.
            QTRY_VERIFY_WITH_TIMEOUT(!capture_->serverHasPort("tonalyx-stall-test:out"), 10000);
        }
    }

    // The program ends while a call into libjack waits for the stopped server.
    void programEndsWhileTheServerIsStopped()
    {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(TONALYX_PROGRAM_ON_JACK),
            { QString::fromStdString(capture_->fullName(kPort)) });
        QVERIFY(program.waitForReadyRead(10000));
        QCOMPARE(program.readLine().trimmed(), QByteArray("ready"));
        server_->pause();
        program.write("close\n");
        const bool ended = program.waitForFinished(10000);
        server_->resume();
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        QVERIFY2(ended, "the program did not end");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_MAIN(TestJackStall)
#include "test_jack_stall.moc"
