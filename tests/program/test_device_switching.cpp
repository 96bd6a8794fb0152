// SPDX-License-Identifier: GPL-3.0-or-later
#include "running_program.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <iterator>

using namespace tonalyx;
using testing::RecordingBackend;
using testing::RecordingPlatform;
using CallKind = RecordingBackend::CallKind;
using Box = RecordingPlatform::Box;

namespace {

const std::vector<std::uint8_t> kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00,
    0x41, 0xF7 };

std::vector<std::string> devices(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back("Synth " + std::to_string(i));
    return names;
}

std::vector<int> openedDevices(const RecordingBackend& recorder)
{
    std::vector<int> opened;
    for (const auto& call : recorder.calls()) {
        if (call.kind == CallKind::Open)
            opened.push_back(call.device);
    }
    return opened;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<int>)

class TestDeviceSwitching : public QObject {
    Q_OBJECT

private slots:
    // Successive switches visit every device and come back to the first after the last; with no
    // device the number only grows.
    void switchesVisitEveryDevice_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("saved");
        QTest::addColumn<std::vector<int>>("visited");
        QTest::newRow("no device") << 0 << 0 << std::vector<int> { 1, 2, 3, 4 };
        QTest::newRow("one device") << 1 << 0 << std::vector<int> { 0, 0, 0 };
        QTest::newRow("two devices") << 2 << 0 << std::vector<int> { 1, 0, 1, 0 };
        QTest::newRow("three from the middle") << 3 << 1 << std::vector<int> { 2, 0, 1, 2 };
    }
    void switchesVisitEveryDevice()
    {
        QFETCH(int, count);
        QFETCH(int, saved);
        QFETCH(std::vector<int>, visited);

        testing::RunningProgram run(devices(count));
        QVERIFY(run.ready);
        run.currentDevice().number = saved;
        run.platform.boxes.clear();
        std::vector<int> numbers;
        for (std::size_t i = 0; i < visited.size(); ++i) {
            QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);
            numbers.push_back(run.currentDevice().number);
        }

        QCOMPARE(numbers, visited);
        // Only the numbers that name a device reach a backend.
        if (count > 0)
            QCOMPARE(openedDevices(run.recorder()), visited);
        // Without a device every open fails, once per switch.
        QCOMPARE(run.platform.boxes.size(), count == 0 ? visited.size() : std::size_t { 0 });
        const auto last = visited.back();
        const QString name = count == 0 ? QString() : QStringLiteral("Synth %1").arg(last);
        QCOMPARE(run.window().deviceReadout().text(), name);
    }

    // One switch: close, open the next, silence it, GS reset, settle, then read its name.
    void switchResetsTheNewDevice()
    {
        testing::RunningProgram run(devices(2));
        QVERIFY(run.ready);
        run.platform.pauses.clear();
        QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);

        // The old device hears nothing more; the new one is silenced, then GS-reset.
        std::vector<CallKind> expected { CallKind::Close, CallKind::Open };
        expected.insert(expected.end(), 16 * 3 + 1, CallKind::Send);
        QVERIFY(run.recorder().callKinds() == expected);
        QCOMPARE(run.recorder().calls()[0].device, 0);
        QCOMPARE(run.recorder().calls()[1].device, 1);
        QVERIFY(run.recorder().deliveredTo(0).empty());
        const auto sent = run.sentMessages();
        QCOMPARE(sent.front(), (std::vector<std::uint8_t> { 0xB0, 64, 0 }));
        QCOMPARE(sent.back(), kGsReset);
        QVERIFY((run.platform.pauses
            == std::vector<RecordingPlatform::Pause> {
                { std::chrono::milliseconds(200), expected.size() } }));
        QCOMPARE(run.window().deviceReadout().text(), QStringLiteral("Synth 1"));
    }

    // A refused open is reported, and the switch still runs to its end.
    void failedOpenIsReportedAndTheSwitchGoesOn()
    {
        testing::RunningProgram run(devices(2));
        QVERIFY(run.ready);
        run.recorder().failOpenOf(1);
        QTest::mouseClick(run.window().programButtons()[9], Qt::LeftButton);
        QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);

        QVERIFY((run.platform.boxes
            == std::vector<Box> {
                { Box::Message, QStringLiteral("ＭＩＤＩデバイスが開けません") } }));
        QCOMPARE(run.recorder().calls().back().kind, CallKind::Open);
        QCOMPARE(run.platform.pauses.size(), std::size_t { 2 });
        QCOMPARE(run.selection().currentProgram, 0);
        QCOMPARE(run.window().deviceReadout().text(), QStringLiteral("Synth 1"));
    }

    // After a switch the readouts still show the earlier selection, while a key of the keyboard
    // already plays program 0 in bank 0.
    void switchKeepsTheReadoutsButSelectsTheFirstProgram()
    {
        testing::RunningProgram run(devices(1));
        QVERIFY(run.ready);
        auto& window = run.window();
        window.pageControl().setCurrentIndex(1);
        QTest::mouseClick(window.bankButtons()[8], Qt::LeftButton);
        window.pageControl().setCurrentIndex(0);
        QTest::mouseClick(window.programButtons()[4], Qt::LeftButton);
        const QStringList before { "5", "8", "Detuned EP 1" };
        QCOMPARE(run.readouts(), before);

        QTest::mouseClick(&window.deviceSwitchButton(), Qt::LeftButton);
        QCOMPARE(run.readouts(), before);
        QCOMPARE(window.deviceReadout().text(), QStringLiteral("Synth 0"));

        run.recorder().clearCalls();
        QTest::mouseClick(window.keys()[1].shape, Qt::LeftButton);
        const auto sent = run.sentMessages();
        QCOMPARE(sent.size(), std::size_t { 4 });
        QCOMPARE(sent[0], (std::vector<std::uint8_t> { 0xB0, 0x00, 0x00 }));
        QCOMPARE(sent[1], (std::vector<std::uint8_t> { 0xC0, 0x00 }));
    }

    // The GS button sends the same 11 bytes as start-up, each time, with no pause and nothing else.
    void gsButtonResendsTheReset()
    {
        testing::RunningProgram run(devices(1));
        QVERIFY(run.ready);
        const QStringList readouts = run.readouts();
        run.platform.pauses.clear();
        QTest::mouseClick(&run.window().gsResetButton(), Qt::LeftButton);
        QTest::mouseClick(&run.window().gsResetButton(), Qt::LeftButton);

        auto twice = kGsReset;
        twice.insert(twice.end(), kGsReset.begin(), kGsReset.end());
        QCOMPARE(run.recorder().deliveredTo(0), twice);
        QCOMPARE(run.recorder().calls().size(), std::size_t { 2 });
        QVERIFY(run.platform.pauses.empty());
        QCOMPARE(run.readouts(), readouts);
    }

    // The device number is saved only at a normal close, as it stands, even past the count.
    void switchedNumberIsSavedAtClose_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("switches");
        QTest::addColumn<int>("saved");
        QTest::newRow("second of two") << 2 << 1 << 1;
        QTest::newRow("no device, three switches") << 0 << 3 << 3;
    }
    void switchedNumberIsSavedAtClose()
    {
        QFETCH(int, count);
        QFETCH(int, switches);
        QFETCH(int, saved);
        testing::RunningProgram run(devices(count));
        QVERIFY(run.ready);
        for (int i = 0; i < switches; ++i)
            QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);
        QVERIFY(run.window().close());

        std::ifstream in(run.settingsPath(), std::ios::binary);
        const std::string file { std::istreambuf_iterator<char>(in), {} };
        QVERIFY2(
            file.find("[dev]\r\ndev_num=" + std::to_string(saved) + "\r\n") != std::string::npos,
            file.c_str());
    }
};

QTEST_MAIN(TestDeviceSwitching)
#include "test_device_switching.moc"
