// SPDX-License-Identifier: GPL-3.0-or-later
// The program on the machine's real outputs when they fail: a JACK port whose client or server
// dies while the program sends to it, and a built-in synth whose SoundFont cannot be loaded. The
// JACK server is this test's own, started and killed here; the far ends are processes of their
// own so that they can be killed like any crashed synthesiser. Once the test has ended, a server
// whose pid is still there would refuse a new one of the same name, so the test is the server's
// parent and reaps it.
#include "app/application.h"
#include "application_peer.h"
#include "file_permissions.h"
#include "jack_server_process.h"
#include "recording_platform.h"
#include "system_devices_under_test.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <random>

using namespace tonalyx;
using testing::RecordingPlatform;
using Box = RecordingPlatform::Box;
using testing::BuiltInSynthPeer;
using Preset = BuiltInSynthPeer::Preset;
namespace fs = std::filesystem;

namespace {

const QString kCannotOpen = QStringLiteral("ＭＩＤＩデバイスが開けません");
const std::string kBuiltInName = "Built-in GS Synth (FluidSynth)";

enum class Fault { CaptureClientKilled, ServerKilled };
enum class BrokenFont { Missing, NoReadPermission, NotASoundFont, CutShort, HeaderThenNoise };

// The built-in synth without an audio output (there is no sound card), under a client name that
// no other test uses.
midi::SystemDevicesConfig devicesConfig()
{
    midi::SystemDevicesConfig config;
    config.builtInSynth.audioDrivers.clear();
    config.clientName = "tonalyx-fault-test";
    return config;
}

std::int32_t deviceNamed(midi::DeviceList& devices, const std::string& name)
{
    for (std::int32_t device = 0; device < devices.count(); ++device) {
        if (devices.name(device) == name)
            return device;
    }
    return -1;
}

// A far end in a process of its own: one JACK MIDI input that prints what it receives.
class CaptureProcess {
public:
    explicit CaptureProcess(const QString& client)
        : name_(client.toStdString() + ":in")
    {
        process_.start(QStringLiteral(TONALYX_JACK_CAPTURE_CLIENT), { client, "in" });
    }
    ~CaptureProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    CaptureProcess(const CaptureProcess&) = delete;
    CaptureProcess& operator=(const CaptureProcess&) = delete;

    const std::string& portName() const { return name_; }
    bool waitUntilReady() { return waitForLine("ready"); }
    // Waits for a line (one event's bytes in hex) that has not been seen yet; false if none
    // came within ten seconds.
    bool waitForLine(const QString& line)
    {
        QDeadlineTimer deadline(10000);
        for (;;) {
            while (process_.canReadLine()) {
                const QString next = QString::fromLatin1(process_.readLine()).trimmed();
                if (next == line)
                    return true;
                // The capture client's report of a period some client missed.
                xruns_ += next == QLatin1String("xrun");
            }
            if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
                return false;
        }
    }
    // Runs `send` and waits for these lines, in this order. When one does not come and an xrun
    // was reported meanwhile, the loss may be the platform's: `send` runs again, up to three
    // times in all, each retry reported. A loss without an xrun is the program's: false at once.
    bool deliver(const QStringList& lines, const std::function<void()>& send)
    {
        constexpr int kAttempts = 3;
        for (int attempt = 1; attempt <= kAttempts; ++attempt) {
            const auto xrunsBefore = xruns_;
            send();
            if (std::all_of(lines.begin(), lines.end(),
                    [&](const QString& line) { return waitForLine(line); }))
                return true;
            if (xruns_ == xrunsBefore)
                return false;
            qInfo("%s: '%s' lost with %d xrun(s) in attempt %d of %d", name_.c_str(),
                qPrintable(lines.join(QStringLiteral(", "))), xruns_ - xrunsBefore, attempt,
                kAttempts);
        }
        return false;
    }
    void kill()
    {
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished();
    }

private:
    std::string name_;
    QProcess process_;
    int xruns_ = 0;
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(BrokenFont)

class TestDeviceFaults : public QObject {
    Q_OBJECT

private:
    static void clickProgram(ui::MainWindow& window, int program)
    {
        window.pageControl().setCurrentIndex(0);
        QTest::mouseClick(
            window.programButtons()[static_cast<std::size_t>(program)], Qt::LeftButton);
    }

    // Every kind of press the window offers, for a device that is gone.
    static void pressEverything(ui::MainWindow& window)
    {
        clickProgram(window, 5);
        window.pageControl().setCurrentIndex(1);
        QTest::mouseClick(window.bankButtons()[8], Qt::LeftButton);
        auto* focused = window.bankButtons()[9];
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_A);
        QTest::mouseClick(window.keys()[3].shape, Qt::LeftButton);
        QTest::mouseClick(&window.octaveUpButton(), Qt::LeftButton);
        QTest::mouseClick(&window.gsResetButton(), Qt::LeftButton);
        window.pageControl().setCurrentIndex(0);
    }

private slots:
    // Presses on a device that vanished go nowhere without a word; a switch then reports the
    // device it cannot open and goes on to the next, which works.
    void vanishedDevice_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("capture client killed") << Fault::CaptureClientKilled;
        QTest::newRow("JACK server killed") << Fault::ServerKilled;
    }
    void vanishedDevice()
    {
        QFETCH(Fault, fault);
        testing::JackServerProcess server(qEnvironmentVariable("JACK_DEFAULT_SERVER"));
        QByteArray serverOutput;
        QVERIFY2(server.waitUntilReady(serverOutput), serverOutput.constData());
        CaptureProcess first(QStringLiteral("tonalyx-fault-a"));
        CaptureProcess second(QStringLiteral("tonalyx-fault-b"));
        QVERIFY(first.waitUntilReady());
        QVERIFY(second.waitUntilReady());

        testing::SystemDevicesUnderTest devices(devicesConfig());
        QTemporaryDir folder;
        RecordingPlatform platform(
            fs::path(folder.path().toStdString()) / "tonalyx", [] { return 0; });
        app::Application application(devices.list(), platform);
        const auto& current = testing::ApplicationPeer::currentDevice(application);
        const auto firstDevice = deviceNamed(devices.list(), first.portName());
        const auto secondDevice = deviceNamed(devices.list(), second.portName());
        QVERIFY(firstDevice > 0 && secondDevice > 0);
        {
            QFile settings(folder.filePath("tonalyx.ini"));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[dev]\r\ndev_num=" + QByteArray::number(firstDevice) + "\r\n");
        }
        application.start(app::loadSettings(platform));
        platform.letTimePass();
        auto& window = application.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(platform.boxes.empty());
        QCOMPARE(current.number, firstDevice);
        QVERIFY(first.deliver({ "90 3c 00" }, [&] { clickProgram(window, 4); }));

        if (fault == Fault::CaptureClientKilled)
            first.kill();
        else
            server.kill();

        // Enough presses to fill any buffer on the way to the dead end many times over.
        for (int i = 0; i < 300; ++i)
            pressEverything(window);
        QVERIFY(platform.boxes.empty());

        // Round the whole list once: every device still there opens and sounds.
        const auto count = devices.list().count();
        for (std::int32_t i = 0; i < count; ++i) {
            platform.boxes.clear();
            QTest::mouseClick(&window.deviceSwitchButton(), Qt::LeftButton);
            const auto device = current.number;
            const bool gone
                = device == firstDevice || (fault == Fault::ServerKilled && device != 0);
            QVERIFY2((platform.boxes
                         == (gone ? std::vector<Box> { { Box::Message, kCannotOpen } }
                                  : std::vector<Box> {})),
                qPrintable(QStringLiteral("device %1").arg(device)));
            QCOMPARE(
                window.deviceReadout().text(), QString::fromStdString(devices.list().name(device)));

            if (device == secondDevice && !gone) {
                const int note
                    = selection::previewNote(testing::ApplicationPeer::selection(application));
                QVERIFY(second.deliver(
                    { "c0 06", QStringLiteral("90 %1 00").arg(note, 2, 16, QChar('0')) },
                    [&] { clickProgram(window, 6); }));
            } else {
                clickProgram(window, 6);
            }
            if (device == 0)
                QCOMPARE(BuiltInSynthPeer::presetOn(*devices.synth(), 0), (Preset { 0, 6 }));
            QVERIFY(platform.boxes.size() <= 1);
        }

        // The close goes on as always.
        QVERIFY(window.close());
        QVERIFY(QFile::exists(folder.filePath("tonalyx.ini")));
    }

    // The built-in synth's SoundFont cannot be loaded: its open fails with the box, the program
    // runs on, presses go nowhere, and a second try fails the same way.
    void brokenSoundFont_data()
    {
        QTest::addColumn<BrokenFont>("broken");
        QTest::newRow("missing") << BrokenFont::Missing;
        QTest::newRow("no read permission") << BrokenFont::NoReadPermission;
        QTest::newRow("not a SoundFont") << BrokenFont::NotASoundFont;
        QTest::newRow("cut short") << BrokenFont::CutShort;
        QTest::newRow("a SoundFont's header, then noise") << BrokenFont::HeaderThenNoise;
    }
    void brokenSoundFont()
    {
        QFETCH(BrokenFont, broken);
        QTemporaryDir folder;
        const QString font = folder.filePath("font.sf2");
        if (broken != BrokenFont::Missing) {
            QFile real(QString::fromStdString(midi::defaultSoundFonts().back()));
            QVERIFY(real.open(QIODevice::ReadOnly));
            QByteArray bytes = real.readAll();
            if (broken == BrokenFont::NotASoundFont) {
                bytes = QByteArray(bytes.size(), 'x');
            } else if (broken == BrokenFont::CutShort) {
                bytes.truncate(bytes.size() / 2);
            } else if (broken == BrokenFont::HeaderThenNoise) {
                std::mt19937 random(20240601);
                for (qsizetype i = 256; i < bytes.size(); ++i)
                    bytes[i] = static_cast<char>(random());
            }
            QFile out(font);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(bytes), bytes.size());
            out.close();
            if (broken == BrokenFont::NoReadPermission)
                QVERIFY(out.setPermissions({}));
        }

        auto config = devicesConfig();
        config.builtInSynth.soundFonts = { font.toStdString() };
        testing::SystemDevicesUnderTest devices(config);
        RecordingPlatform platform(
            fs::path(folder.path().toStdString()) / "tonalyx", [] { return 0; });
        app::Application application(devices.list(), platform);
        // For the whole run: the synth tries its font again at the switch below.
        const testing::PermissionsApply permissions;
        if (broken == BrokenFont::NoReadPermission && QFile(font).open(QIODevice::ReadOnly))
            QSKIP("this user reads files whatever their permissions say");
        application.start(app::loadSettings(platform));
        platform.letTimePass();
        auto& window = application.window();
        QCOMPARE(devices.list().count(), 1);
        QVERIFY((platform.boxes == std::vector<Box> { { Box::Message, kCannotOpen } }));
        QCOMPARE(window.deviceReadout().text(), QString::fromStdString(kBuiltInName));
        QVERIFY(devices.synth() == nullptr);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        pressEverything(window);
        QTest::mouseClick(&window.deviceSwitchButton(), Qt::LeftButton);
        QVERIFY((platform.boxes
            == std::vector<Box> { { Box::Message, kCannotOpen }, { Box::Message, kCannotOpen } }));
        QCOMPARE(window.programReadout().text(), QStringLiteral("6"));
        QVERIFY(window.close());
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "test_device_faults.moc"
