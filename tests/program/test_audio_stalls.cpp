// SPDX-License-Identifier: GPL-3.0-or-later
// The running program with the built-in synth on a real sound server, PulseAudio or JACK, which
// the test stops (SIGSTOP) at start-up, during a device switch and during the close, as a server
// that hangs or is held in a debugger: the window must go on answering. Both servers are the
// test's own (fixture "stalled_servers"), so that stopping them disturbs no other test.
#include "app/application.h"
#include "app/current_device.h"
#include "application_peer.h"
#include "builtin_synth_peer.h"
#include "recording_backend.h"
#include "recording_platform.h"
#include "shell/messages.h"
#include "stopped_server.h"
#include "ui/preview_button.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tonalyx;
using testing::BuiltInSynthPeer;
using testing::RecordingPlatform;
using testing::StoppedServer;
using Box = RecordingPlatform::Box;

namespace {

enum class Server { PulseAudio, Jack };
enum class Moment { StartUp, SwitchAway, SwitchBack, Close };

pid_t pidOf(Server server)
{
    return server == Server::PulseAudio
        ? testing::processIdIn(std::filesystem::path(TONALYX_PULSE_DIR) / "pulse.pid")
        : testing::processIdIn(std::filesystem::path(TONALYX_JACK_DIR) / "jackd.pid");
}

// Runs `action` as the handler of an event, as a click or the window system's close would, and
// says whether the event loop came to its next event within a second of the action's start:
// whether the window answers again.
bool answersWithinASecond(const std::function<void()>& action)
{
    QElapsedTimer clock;
    qint64 answeredAfter = -1;
    QTimer::singleShot(0, qApp, [&] {
        clock.start();
        action();
    });
    QTimer::singleShot(0, qApp, [&] { answeredAfter = clock.elapsed(); });
    // However long a wait on the server lasts, the test sees it through and says so.
    static_cast<void>(QTest::qWaitFor([&] { return answeredAfter >= 0; }, 120000));
    qInfo("answered after %lld ms", answeredAfter);
    return answeredAfter >= 0 && answeredAfter < 1000;
}

const Box kCannotOpen { Box::Message, shell::messages::cannotOpenDevice() };

} // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(Moment)

class TestAudioStalls : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    midi::BuiltInSynthBackend* builtIn_ = nullptr;
    testing::RecordingBackend* recorder_ = nullptr;
    std::unique_ptr<midi::DeviceList> devices_;
    std::unique_ptr<RecordingPlatform> platform_;
    std::unique_ptr<app::Application> app_;

    ui::MainWindow& window() { return app_->window(); }
    midi::BuiltInSynth& synth() { return *BuiltInSynthPeer::synthOf(*builtIn_); }
    void switchDevice() { QTest::mouseClick(&window().deviceSwitchButton(), Qt::LeftButton); }
    void pressProgram5() { QTest::mousePress(window().programButtons()[4], Qt::LeftButton); }

    // Device 0 is the built-in synth on the server alone, device 1 a recorded one.
    void build(Server server)
    {
        midi::BuiltInSynthConfig config;
        config.audioDrivers = { server == Server::PulseAudio ? "pulseaudio" : "jack" };
        auto builtIn = std::make_unique<midi::BuiltInSynthBackend>(config);
        builtIn_ = builtIn.get();
        auto recorder
            = std::make_unique<testing::RecordingBackend>(std::vector<std::string> { "Synth" });
        recorder_ = recorder.get();
        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        backends.push_back(std::move(builtIn));
        backends.push_back(std::move(recorder));
        devices_ = std::make_unique<midi::DeviceList>(std::move(backends));
        platform_ = std::make_unique<RecordingPlatform>(
            std::filesystem::path(folder_.path().toStdString()) / "tonalyx",
            [this] { return recorder_->calls().size(); });
        app_ = std::make_unique<app::Application>(*devices_, *platform_);
    }
    void start()
    {
        app_->start(app::loadSettings(*platform_));
        platform_->letTimePass();
        window().show();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(pidOf(Server::PulseAudio) > 0 && pidOf(Server::Jack) > 0,
            "the stalled_servers fixture starts the servers");
    }
    void cleanup()
    {
        app_.reset();
        devices_.reset();
    }

    void windowAnswersWhileTheServerIsStopped_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<Moment>("moment");
        for (const auto& [server, name] : { std::pair { Server::PulseAudio, "PulseAudio" },
                 std::pair { Server::Jack, "JACK" } }) {
            QTest::addRow("%s stopped at start-up", name) << server << Moment::StartUp;
            QTest::addRow("%s stopped, switching away", name) << server << Moment::SwitchAway;
            QTest::addRow("%s stopped, switching back", name) << server << Moment::SwitchBack;
            QTest::addRow("%s stopped, closing", name) << server << Moment::Close;
        }
    }
    void windowAnswersWhileTheServerIsStopped()
    {
        QFETCH(Server, server);
        QFETCH(Moment, moment);
        build(server);
        std::optional<StoppedServer> stopped;
        if (moment == Moment::StartUp) {
            // The open gives up: device 0 cannot be opened, as with no server at all.
            stopped.emplace(pidOf(server));
            QVERIFY(answersWithinASecond([&] { start(); }));
            QCOMPARE(platform_->boxes, std::vector { kCannotOpen });
        } else {
            start();
            QVERIFY(platform_->boxes.empty());
            QVERIFY(BuiltInSynthPeer::hasAudio(synth()));
            pressProgram5();
        }

        switch (moment) {
        case Moment::StartUp:
            break;
        case Moment::SwitchAway:
            stopped.emplace(pidOf(server));
            QVERIFY(answersWithinASecond([&] { switchDevice(); }));
            QVERIFY(platform_->boxes.empty());
            QVERIFY(!recorder_->deliveredTo(0).empty());
            break;
        case Moment::SwitchBack:
            switchDevice();
            stopped.emplace(pidOf(server));
            QVERIFY(answersWithinASecond([&] { switchDevice(); }));
            QCOMPARE(platform_->boxes, std::vector { kCannotOpen });
            break;
        case Moment::Close:
            stopped.emplace(pidOf(server));
            QVERIFY(answersWithinASecond([&] { window().close(); }));
            QVERIFY(std::filesystem::exists(platform_->executablePath().string() + ".ini"));
            return;
        }

        // Once the server goes on, so does device 0: at once on PulseAudio; on JACK as soon as
        // the calls the stop left stuck in libjack have ended.
        stopped.reset();
        const QDeadlineTimer deadline(server == Server::Jack ? 10000 : 0);
        auto& device = testing::ApplicationPeer::currentDevice(*app_);
        for (;;) {
            platform_->boxes.clear();
            do
                switchDevice();
            while (device.number != 0);
            if (platform_->boxes.empty() || deadline.hasExpired())
                break;
            QTest::qWait(100);
        }
        QVERIFY(platform_->boxes.empty());
        QVERIFY(BuiltInSynthPeer::hasAudio(synth()));
    }
};

QTEST_MAIN(TestAudioStalls)
#include "test_audio_stalls.moc"
