// SPDX-License-Identifier: GPL-3.0-or-later
#include "running_program.h"
#include "ui/preview_button.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

using namespace tonalyx;
using testing::RecordingPlatform;
using CallKind = testing::RecordingBackend::CallKind;
using Box = RecordingPlatform::Box;
namespace fs = std::filesystem;

namespace {

const std::string kFreshFile = "[window]\r\nHeight=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                               "[dev]\r\ndev_num=0\r\n\r\n";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// One run of the program in a folder of its own, not yet started.
struct Run : testing::RunningProgram {
    explicit Run(std::vector<std::string> devices)
        : RunningProgram(std::move(devices), NotStarted {})
    { }
    std::vector<CallKind> callKinds() const { return devices.recorder().callKinds(); }
    std::vector<testing::RecordingBackend::Call> calls() const
    {
        return devices.recorder().calls();
    }
};

Box message(const QString& text)
{
    return { Box::Message, text };
}

const QString kNoDevice = QStringLiteral("ＭＩＤＩ音源がないのでこのソフトは利用できません");
const QString kCannotOpen = QStringLiteral("ＭＩＤＩデバイスが開けません");

} // namespace

Q_DECLARE_METATYPE(Box)
Q_DECLARE_METATYPE(std::vector<Box>)
Q_DECLARE_METATYPE(std::vector<testing::Bytes>)

class TestLifecycle : public QObject {
    Q_OBJECT

private slots:
    void firstRunStartsOnDeviceZeroAndWritesTheFreshFile()
    {
        Run run({ "Synth A", "Synth B" });
        run.app->start(app::loadSettings(run.platform));

        const std::vector<CallKind> startup { CallKind::Open, CallKind::Send };
        QVERIFY(run.callKinds() == startup);
        QCOMPARE(run.calls()[0].device, 0);
        QCOMPARE(run.recorder().deliveredTo(0),
            (std::vector<std::uint8_t> {
                0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 }));
        // The pause follows the GS reset and comes before the name is read.
        QVERIFY((run.platform.pauses
            == std::vector<RecordingPlatform::Pause> { { std::chrono::milliseconds(100), 2 } }));
        QVERIFY(run.platform.boxes.empty());

        auto& window = run.window();
        QCOMPARE(window.programReadout().text(), QStringLiteral("1"));
        QCOMPARE(window.bankReadout().text(), QStringLiteral("0"));
        QCOMPARE(window.toneReadout().text(), QStringLiteral("piano 1"));
        QCOMPARE(window.deviceReadout().text(), QStringLiteral("Synth A"));
        QCOMPARE(window.outerGeometry(), QRect(193, 159, 679, 526));

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.close());
        QCOMPARE(run.callKinds().back(), CallKind::Close);
        QCOMPARE(readFile(run.settingsPath()), kFreshFile);
    }

    // The device settles for 100 ms after the GS reset while the window is already up: what the
    // user does meanwhile reaches the device only after that, whole and in order.
    void inputDuringTheSettleTimeIsDeliveredAfterIt_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<std::vector<testing::Bytes>>("delivered");
        QTest::newRow("program button click")
            << "Button5"
            << std::vector<testing::Bytes> { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 },
                   { 0x90, 60, 0 } };
        QTest::newRow("key of the keyboard")
            << "Shape41"
            << std::vector<testing::Bytes> { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 61, 127 },
                   { 0x90, 61, 0 } };
        QTest::newRow("GS button") << "Button262"
                                   << std::vector<testing::Bytes> { { 0xF0, 0x41, 0x10, 0x42, 0x12,
                                          0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 } };
    }
    void inputDuringTheSettleTimeIsDeliveredAfterIt()
    {
        QFETCH(QString, control);
        QFETCH(std::vector<testing::Bytes>, delivered);
        Run run({ "Synth" });
        run.app->start(app::loadSettings(run.platform));
        run.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&run.window()));
        run.recorder().clearCalls();

        auto* widget = run.window().findChild<QWidget*>(control);
        QVERIFY(widget);
        QTest::mouseClick(widget, Qt::LeftButton);
        QVERIFY(run.recorder().calls().empty());
        run.platform.letTimePass();
        QCOMPARE(run.sentMessages(), delivered);
    }

    void savedDeviceNumber_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<int>("opened");
        QTest::addColumn<std::vector<Box>>("boxes");
        QTest::addColumn<int>("written");
        QTest::newRow("second of two") << 2 << "1" << 1 << std::vector<Box> {} << 1;
        QTest::newRow("equal to the count") << 2 << "2" << 0 << std::vector<Box> {} << 0;
        QTest::newRow("above the count") << 2 << "7" << 0 << std::vector<Box> {} << 0;
        QTest::newRow("negative is tried as it is")
            << 2 << "-1" << -1 << std::vector<Box> { message(kCannotOpen) } << -1;
        QTest::newRow("no device at all")
            << 0 << "3" << 0 << std::vector<Box> { message(kNoDevice), message(kCannotOpen) } << 0;
        QTest::newRow("not a number") << 2 << "abc" << 0 << std::vector<Box> {} << 0;
    }
    void savedDeviceNumber()
    {
        QFETCH(int, devices);
        QFETCH(QString, saved);
        QFETCH(int, opened);
        QFETCH(std::vector<Box>, boxes);
        QFETCH(int, written);

        Run run(std::vector<std::string>(static_cast<std::size_t>(devices), "Synth"));
        writeFile(run.settingsPath(), "[Dev]\r\nDev_num=" + saved.toStdString() + "\r\n");
        run.app->start(app::loadSettings(run.platform));

        QCOMPARE(run.currentDevice().number, opened);
        // A number that names no device reaches no backend.
        if (opened >= 0 && opened < devices) {
            QCOMPARE(run.calls()[0].kind, CallKind::Open);
            QCOMPARE(run.calls()[0].device, opened);
        } else {
            QVERIFY(run.calls().empty());
        }
        QVERIFY(run.platform.boxes == boxes);

        QVERIFY(run.window().close());
        const std::string expected = "[Dev]\r\ndev_num=" + std::to_string(written)
            + "\r\n\r\n[window]\r\nHeight=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n";
        QCOMPARE(readFile(run.settingsPath()), expected);
    }

    void openFailureIsReportedAndStartUpGoesOn()
    {
        Run run({ "Busy synth" });
        run.recorder().failOpenOf(0);
        run.app->start(app::loadSettings(run.platform));

        QVERIFY((run.platform.boxes == std::vector<Box> { message(kCannotOpen) }));
        // The name is still read by number; the reset reaches nothing.
        QCOMPARE(run.window().deviceReadout().text(), QStringLiteral("Busy synth"));
        QVERIFY(run.callKinds() == std::vector<CallKind> { CallKind::Open });
        QVERIFY(run.recorder().deliveredTo(0).empty());
    }

    void savedGeometryIsRestoredAndWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QRect>("restored");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("section and key in other case")
            << QByteArray("[WINDOW]\r\nHEIGHT=600\r\n") << QRect(193, 159, 679, 600)
            << QByteArray("[WINDOW]\r\nHeight=600\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                          "[dev]\r\ndev_num=0\r\n\r\n");
        QTest::newRow("all four, blanks around the equals sign")
            << QByteArray("; saved by hand\n[window]\nleft = 40\ntop=30\nwidth=700\nheight=0x258\n")
            << QRect(40, 30, 700, 600)
            << QByteArray("[window]\r\nLeft=40\r\nTop=30\r\nWidth=700\r\nHeight=600\r\n\r\n"
                          "[dev]\r\ndev_num=0\r\n\r\n");
        // A monitor that is gone leaves the window where it can still be reached.
        QTest::newRow("wholly off every screen")
            << QByteArray("[window]\r\nLeft=20000\r\nTop=20000\r\n") << QRect(193, 159, 679, 526)
            << QByteArray("[window]\r\nLeft=193\r\nTop=159\r\nHeight=526\r\nWidth=679\r\n\r\n"
                          "[dev]\r\ndev_num=0\r\n\r\n");
        QTest::newRow("partly off screen stays")
            << QByteArray("[window]\r\nLeft=-300\r\nTop=-20\r\n") << QRect(-300, -20, 679, 526)
            << QByteArray("[window]\r\nLeft=-300\r\nTop=-20\r\nHeight=526\r\nWidth=679\r\n\r\n"
                          "[dev]\r\ndev_num=0\r\n\r\n");
    }
    void savedGeometryIsRestoredAndWrittenBack()
    {
        QFETCH(QByteArray, file);
        QFETCH(QRect, restored);
        QFETCH(QByteArray, written);

        Run run({ "Synth" });
        writeFile(run.settingsPath(), file.toStdString());
        run.app->start(app::loadSettings(run.platform));
        QCOMPARE(run.window().outerGeometry(), restored);

        run.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&run.window()));
        QVERIFY(run.window().close());
        QCOMPARE(QByteArray::fromStdString(readFile(run.settingsPath())), written);
    }

    // Any four numbers leave a window that can be seen and closed: its size held between the
    // window's smallest and the whole desktop, its place as read where that can be reached.
    void savedGeometryIsKeptWithinReach_data()
    {
        QTest::addColumn<QByteArray>("saved"); // the [window] section's lines
        QTest::addColumn<QRect>("restored");
        // The scroll area's own least size: its frame, and both scroll bars working.
        const QSize least = ui::MainWindow().minimumSizeHint();
        const QSize desktop = QGuiApplication::primaryScreen()->virtualGeometry().size();
        const QPoint home(193, 159);
        QTest::newRow("in range, as read")
            << QByteArray("Left=10\nTop=20\nWidth=300\nHeight=200") << QRect(10, 20, 300, 200);
        QTest::newRow("no size") << QByteArray("Width=0\nHeight=0") << QRect(home, least);
        QTest::newRow("one pixel") << QByteArray("Width=1\nHeight=1") << QRect(home, least);
        QTest::newRow("negative size") << QByteArray("Width=-5\nHeight=-5") << QRect(home, least);
        QTest::newRow("larger than the desktop")
            << QByteArray("Width=32767\nHeight=32767") << QRect(home, desktop);
        QTest::newRow("all at the largest integer")
            << QByteArray("Left=2147483647\nTop=2147483647\nWidth=2147483647\nHeight=2147483647")
            << QRect(home, desktop);
        QTest::newRow("all at the smallest integer") << QByteArray(
            "Left=-2147483648\nTop=-2147483648\nWidth=-2147483648\n"
            "Height=-2147483648") << QRect(home, least);
        QTest::newRow("top at the largest integer")
            << QByteArray("Top=2147483647") << QRect(193, 159, 679, 526);
        QTest::newRow("left at the smallest integer")
            << QByteArray("Left=-2147483648") << QRect(193, 159, 679, 526);
        QTest::newRow("widest, partly off the left edge")
            << QByteArray("Left=-100\nWidth=0x7fffffff") << QRect(-100, 159, desktop.width(), 526);
        QTest::newRow("one pixel still on the screen")
            << QByteArray("Left=-678\nTop=-525") << QRect(-678, -525, 679, 526);
        QTest::newRow("wholly off by one pixel")
            << QByteArray("Left=-679\nTop=-525") << QRect(193, 159, 679, 526);
    }
    void savedGeometryIsKeptWithinReach()
    {
        QFETCH(QByteArray, saved);
        QFETCH(QRect, restored);

        Run run({ "Synth" });
        writeFile(run.settingsPath(), "[window]\n" + saved.toStdString() + "\n");
        run.app->start(app::loadSettings(run.platform));
        auto& window = run.window();
        QCOMPARE(window.outerGeometry(), restored);

        // The close writes what the window really is.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect shown = window.outerGeometry();
        QVERIFY(window.close());
        settings::IniDocument written;
        QCOMPARE(settings::readSettings(run.settingsPath(), written), settings::ReadResult::Loaded);
        QCOMPARE(QRect(written.readInteger("window", "Left", -1),
                     written.readInteger("window", "Top", -1),
                     written.readInteger("window", "Width", -1),
                     written.readInteger("window", "Height", -1)),
            shown);
    }

    void unreadableFileIsReportedAndLeftAlone()
    {
        Run run({ "Synth" });
        // A folder where the file should be cannot be read by anyone, root included.
        fs::create_directory(run.settingsPath());
        writeFile(run.settingsPath() / "keep", "x");
        run.app->start(app::loadSettings(run.platform));

        const QString path = QString::fromStdString(run.settingsPath().string());
        QVERIFY((run.platform.boxes
            == std::vector<Box> {
                { Box::Error, QStringLiteral("ファイル %1 は開けません.").arg(path) } }));
        QCOMPARE(run.window().outerGeometry(), QRect(193, 159, 679, 526));
        QCOMPARE(run.window().programReadout().text(), QStringLiteral("1"));

        QVERIFY(run.window().close());
        QCOMPARE(run.platform.boxes.size(), std::size_t { 1 });
        QCOMPARE(readFile(run.settingsPath() / "keep"), std::string("x"));
    }

    void unwritableFileKeepsTheWindowUntilASecondCloseSucceeds()
    {
        Run run({ "Synth" });
        run.app->start(app::loadSettings(run.platform));
        auto& window = run.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Something in the way of the file at shut-down: a folder cannot be replaced by a file.
        fs::create_directories(run.settingsPath() / "in the way");
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        const QString path = QString::fromStdString(run.settingsPath().string());
        QVERIFY((run.platform.boxes
            == std::vector<Box> {
                { Box::Error, QStringLiteral("ファイル %1 を作成できません.").arg(path) } }));
        // The port was closed all the same; a press now would reach nothing.
        QCOMPARE(run.callKinds().back(), CallKind::Close);
        QTest::mouseClick(run.window().programButtons()[0], Qt::LeftButton);
        QCOMPARE(run.callKinds().back(), CallKind::Close);

        fs::remove_all(run.settingsPath());
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(readFile(run.settingsPath()), kFreshFile);
        const auto kinds = run.callKinds();
        QCOMPARE(std::count(kinds.begin(), kinds.end(), CallKind::Close), 1);
    }

    // A box runs an event loop of its own, in which a signal's shut-down may run: the program
    // ends there, having written what a close writes (nothing before the settings are read), and
    // what came after the box is not done.
    void signalWhileABoxIsUpEndsTheProgram_data()
    {
        QTest::addColumn<int>("devices"); // the last cannot be opened
        QTest::addColumn<bool>("switching"); // the box of a switch rather than of start-up
        QTest::addColumn<Box>("box");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("no device, before the settings are read")
            << 0 << false << message(kNoDevice) << QByteArray("; by hand\n");
        QTest::newRow("the saved device cannot be opened")
            << 1 << false << message(kCannotOpen) << QByteArray::fromStdString(kFreshFile);
        QTest::newRow("the next device cannot be opened")
            << 2 << true << message(kCannotOpen)
            << QByteArray("[window]\r\nHeight=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                          "[dev]\r\ndev_num=1\r\n\r\n");
    }
    void signalWhileABoxIsUpEndsTheProgram()
    {
        QFETCH(int, devices);
        QFETCH(bool, switching);
        QFETCH(Box, box);
        QFETCH(QByteArray, file);
        Run run(std::vector<std::string>(static_cast<std::size_t>(devices), "Synth"));
        run.recorder().failOpenOf(devices - 1);
        writeFile(run.settingsPath(), "; by hand\n");
        const auto signal = [&run] { run.app->shutDownForSignal(); };
        if (switching) {
            run.app->start(app::loadSettings(run.platform));
            run.platform.letTimePass();
            run.recorder().clearCalls();
            run.platform.pauses.clear();
            run.platform.whileBoxIsUp = signal;
            run.window().deviceSwitchButton().click();
        } else {
            run.platform.whileBoxIsUp = signal;
            run.app->start(app::loadSettings(run.platform));
        }

        QVERIFY(run.app->hasEnded());
        QVERIFY(run.platform.boxes == std::vector<Box> { box });
        const auto kinds = run.callKinds();
        QCOMPARE(std::count(kinds.begin(), kinds.end(), CallKind::Send), 0);
        QVERIFY(run.platform.pauses.empty());
        QCOMPARE(QByteArray::fromStdString(readFile(run.settingsPath())), file);
    }
};

QTEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
