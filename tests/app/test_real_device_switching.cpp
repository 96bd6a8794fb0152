#include "app/program.h"
#include "jack_capture.h"
#include "midi/system_midi_out_service.h"
#include "recording_platform.h"
#include "rendered_output.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using Preset = midi::BuiltInSynth::Preset;
using testing::kAudible;
using testing::kSilent;
using testing::renderRms;

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
const std::string kPort = "synth-in";

} // namespace

// The running program on the machine's real devices: the built-in synth (rendered by hand, as
// there is no sound card) and a JACK port of this test's own.
class TestRealDeviceSwitching : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<testing::JackCapture> capture_;
    std::unique_ptr<midi::SystemMidiOutService> service_;
    std::unique_ptr<testing::RecordingPlatform> platform_;
    std::unique_ptr<app::Program> program_;

    midi::BuiltInSynth& synth() { return *service_->builtInSynth(); }
    ui::TForm1& window() { return program_->window(); }
    void clickButton5() { QTest::mouseClick(window().programButtons()[4], Qt::LeftButton); }
    void switchDevice() { QTest::mouseClick(&window().deviceSwitchButton(), Qt::LeftButton); }

private slots:
    void init()
    {
        capture_ = std::make_unique<testing::JackCapture>("tonalyx-switch-test");
        QVERIFY2(
            capture_->isConnected(), "no JACK server: the jack fixture should have started one");
        QVERIFY(capture_->addInput(kPort));

        auto config = testing::offlineSynthConfig();
        config.clientName = "tonalyx-under-test";
        service_ = std::make_unique<midi::SystemMidiOutService>(config);
        platform_ = std::make_unique<testing::RecordingPlatform>(
            std::filesystem::path(folder_.path().toStdString()) / "tonalyx", [] { return 0; });
        program_ = std::make_unique<app::Program>(*service_, *platform_);
        program_->start();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));

        // The built-in synth first, then this test's port among the JACK inputs.
        QVERIFY(platform_->boxes.empty());
        QCOMPARE(program_->port().deviceCount(), 2);
        QCOMPARE(program_->port().deviceName(1), capture_->fullName(kPort));
        synth().setEffects(false);
    }
    void cleanup()
    {
        program_.reset();
        service_.reset();
        capture_.reset();
    }

    // The preview goes to whichever device is open, and only there.
    void previewsFollowTheOpenDevice()
    {
        clickButton5();
        QCOMPARE(synth().presetOn(0), (Preset { 0, 4 }));
        QVERIFY(capture_->takeEvents(kPort).empty());

        switchDevice();
        const auto arrival = capture_->waitForBytes(kPort, 16 * 9 + kGsReset.size());
        const Bytes received = testing::joined(arrival);
        QCOMPARE(Bytes(received.end() - 11, received.end()), kGsReset);

        capture_->clear(kPort);
        QTest::mousePress(window().programButtons()[4], Qt::LeftButton);
        QTest::mouseRelease(window().programButtons()[4], Qt::LeftButton);
        const Bytes press { 0xB0, 0x00, 0x00, 0xC0, 0x04, 0x90, 0x3C, 0x7F, 0x90, 0x3C, 0x00 };
        QCOMPARE(testing::joined(capture_->waitForBytes(kPort, press.size())), press);
        QVERIFY(renderRms(synth(), 0.2) < kSilent);

        switchDevice();
        capture_->clear(kPort);
        QTest::mousePress(window().keys()[1].shape, Qt::LeftButton);
        QVERIFY(renderRms(synth(), 0.2) > kAudible);
        QTest::qWait(100);
        QVERIFY(capture_->takeEvents(kPort).empty());
    }

    // Coming back to the built-in synth resets it: a note left sounding stops at once, and the
    // program and volume are back at their GS defaults.
    void switchingBackSilencesAndResetsTheBuiltInSynth()
    {
        QTest::mousePress(window().programButtons()[4], Qt::LeftButton);
        QVERIFY(renderRms(synth(), 0.2) > kAudible);

        switchDevice();
        switchDevice();
        QVERIFY(renderRms(synth(), 0.05) < kSilent);
        QCOMPARE(synth().presetOn(0), (Preset { 0, 0 }));
        QCOMPARE(synth().controllerValue(0, 7), 100);
    }

    // The GS button brings the built-in synth back to its defaults without a switch.
    void gsButtonResetsTheBuiltInSynth()
    {
        window().pageControl().setCurrentIndex(1);
        QTest::mouseClick(window().bankButtons()[8], Qt::LeftButton);
        window().pageControl().setCurrentIndex(0);
        clickButton5();
        QCOMPARE(synth().presetOn(0), (Preset { 8, 4 }));

        QTest::mouseClick(&window().gsResetButton(), Qt::LeftButton);
        QCOMPARE(synth().presetOn(0), (Preset { 0, 0 }));
    }
};

QTEST_MAIN(TestRealDeviceSwitching)
#include "test_real_device_switching.moc"
