// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"
#include "application_peer.h"
#include "builtin_synth_peer.h"
#include "catalogue/drum_sets.h"
#include "jack_capture.h"
#include "midi/builtin/sound_font_folder.h"
#include "midi/jack/jack_backend.h"
#include "recording_platform.h"
#include "shell/user_sound_fonts.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using testing::BuiltInSynthPeer;
using Preset = BuiltInSynthPeer::Preset;
using testing::kAudible;
using testing::kSilent;
using testing::renderRms;

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
const std::string kPort = "synth-in";

// Copies a SoundFont with its drum set of program `from` (as sent) answering `to` instead, in
// the preset headers at the end of the file: 38 bytes each, the program at 20, the bank at 22.
bool writeRenumberedSet(const QString& source, const QString& target, int from, int to)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(target).path()))
        return false;
    QByteArray font = in.readAll();
    const auto headers = font.lastIndexOf("phdr") + 8;
    bool renumbered = false;
    for (auto at = headers; at + 38 <= font.size(); at += 38) {
        const auto word = [&](qsizetype offset) {
            return std::uint8_t(font[at + offset]) | std::uint8_t(font[at + offset + 1]) << 8;
        };
        if (word(22) == 128 && word(20) == from) {
            font[at + 20] = char(to);
            renumbered = true;
            break;
        }
    }
    QFile out(target);
    return renumbered && out.open(QIODevice::WriteOnly) && out.write(font) == font.size();
}

} // namespace

// The running program on the machine's real devices: the built-in synth (rendered by hand, as
// there is no sound card) and a JACK port of this test's own.
class TestRealDeviceSwitching : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<testing::JackCapture> capture_;
    midi::BuiltInSynthBackend* builtIn_ = nullptr;
    std::unique_ptr<midi::DeviceList> devices_;
    std::unique_ptr<testing::RecordingPlatform> platform_;
    std::unique_ptr<app::Application> app_;

    midi::BuiltInSynth& synth() { return *BuiltInSynthPeer::synthOf(*builtIn_); }
    std::optional<Preset> presetOn(int channel)
    {
        return BuiltInSynthPeer::presetOn(synth(), channel);
    }
    ui::MainWindow& window() { return app_->window(); }
    void clickButton5() { QTest::mouseClick(window().programButtons()[4], Qt::LeftButton); }
    void switchDevice() { QTest::mouseClick(&window().deviceSwitchButton(), Qt::LeftButton); }
    // Goes on from the built-in synth to this test's port; returns what arrived there.
    std::vector<Bytes> switchToThePort()
    {
        return capture_->deliver(kPort, 16 * 9 + kGsReset.size(), [&] {
            // Tried again from the built-in synth, when the switch's bytes were lost.
            if (testing::ApplicationPeer::currentDevice(*app_).number == 1)
                switchDevice();
            switchDevice();
        });
    }

private slots:
    void init() { start(testing::offlineSynthConfig()); }
    void cleanup()
    {
        app_.reset();
        devices_.reset();
        capture_.reset();
    }

    // A drum set button says so while the built-in synth is the device and the fonts it really
    // loaded lack its set, naming the set that sounds instead: what a press then selects on the
    // drum channel. A port of another program cannot be asked, and marks nothing. The user's
    // font is a copy of the GS add-on whose sound-effect set answers the older map's program.
    void drumSetsTheFontsLackAreMarked_data()
    {
        QTest::addColumn<bool>("ownFont");
        QTest::addColumn<int>("marked");
        QTest::newRow("the default fonts") << false << 1;
        QTest::newRow("a font of one's own with the older map") << true << 0;
    }
    void drumSetsTheFontsLackAreMarked()
    {
        QFETCH(bool, ownFont);
        QFETCH(int, marked);
        QTemporaryDir dataHome;
        if (ownFont) {
            const QByteArray previous = qgetenv("XDG_DATA_HOME");
            qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
            const auto folder = shell::userSoundFontFolder();
            qputenv("XDG_DATA_HOME", previous);
            QVERIFY(writeRenumberedSet(QString::fromStdString(midi::defaultSoundFonts().back()),
                QString::fromStdString((folder / "older map.sf2").string()), 56, 127));
            auto config = testing::offlineSynthConfig();
            config.extraSoundFonts = midi::soundFontsIn(folder);
            start(config);
            if (QTest::currentTestFailed())
                return;
        }
        window().pageControl().setCurrentIndex(4);
        const auto& buttons = window().drumPage().setButtons;
        const auto sets = catalogue::drumSets();
        const auto hints = [&] {
            QStringList shown;
            for (auto* button : buttons) {
                shown << button->toolTip();
                if (!button->accessibleDescription().startsWith(button->toolTip() + "。"))
                    shown << "description: " + button->accessibleDescription();
            }
            return shown;
        };
        QStringList plain, expected;
        for (std::size_t i = 0; i < sets.size(); ++i) {
            QTest::mouseClick(buttons[i], Qt::LeftButton);
            const auto sounding = presetOn(9);
            QVERIFY(sounding && sounding->bank == 128);
            plain << QStringLiteral("プログラム %1").arg(sets[i].program + 1);
            expected << plain.back();
            if (sounding->program != sets[i].program)
                expected.back() += QStringLiteral(" ・ SoundFontにありません（%1で鳴ります）")
                                       .arg(QString::fromUtf8(
                                           catalogue::drumSetName(sounding->program).data()));
        }
        QCOMPARE(hints(), expected);
        QCOMPARE(expected.filter("SoundFont").size(), marked);

        switchDevice();
        QCOMPARE(hints(), plain);
        switchDevice();
        QCOMPARE(hints(), expected);
    }

private:
    void start(const midi::BuiltInSynthConfig& synthConfig)
    {
        // What a failed case left behind goes first, the program before the devices it uses.
        cleanup();
        capture_ = std::make_unique<testing::JackCapture>("tonalyx-switch-test");
        QVERIFY2(
            capture_->isConnected(), "no JACK server: the jack fixture should have started one");
        QVERIFY(capture_->addInput(kPort));

        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        auto builtIn = std::make_unique<midi::BuiltInSynthBackend>(synthConfig);
        builtIn_ = builtIn.get();
        backends.push_back(std::move(builtIn));
        backends.push_back(midi::makeJackBackend("tonalyx-under-test"));
        QVERIFY(backends.back());
        devices_ = std::make_unique<midi::DeviceList>(std::move(backends));
        platform_ = std::make_unique<testing::RecordingPlatform>(
            std::filesystem::path(folder_.path().toStdString()) / "tonalyx", [] { return 0; });
        app_ = std::make_unique<app::Application>(*devices_, *platform_);
        app_->start(app::loadSettings(*platform_));
        platform_->letTimePass();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));

        // The built-in synth first, then this test's port among the JACK inputs.
        QVERIFY(platform_->boxes.empty());
        QCOMPARE(devices_->count(), 2);
        QCOMPARE(devices_->name(1), capture_->fullName(kPort));
        BuiltInSynthPeer::setEffects(synth(), false);
    }

private slots:

    // The preview goes to whichever device is open, and only there.
    void previewsFollowTheOpenDevice()
    {
        clickButton5();
        QCOMPARE(presetOn(0), (Preset { 0, 4 }));
        QVERIFY(capture_->takeEvents(kPort).empty());

        const Bytes received = testing::joined(switchToThePort());
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QVERIFY(received.size() >= kGsReset.size());
        QCOMPARE(Bytes(received.end() - 11, received.end()), kGsReset);

        const Bytes press { 0xB0, 0x00, 0x00, 0xC0, 0x04, 0x90, 0x3C, 0x7F, 0x90, 0x3C, 0x00 };
        const auto pressed = capture_->deliver(kPort, press.size(), [&] {
            QTest::mousePress(window().programButtons()[4], Qt::LeftButton);
            QTest::mouseRelease(window().programButtons()[4], Qt::LeftButton);
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(testing::joined(pressed), press);
        QVERIFY(renderRms(synth(), 0.2) < kSilent);

        switchDevice();
        capture_->clear(kPort);
        QTest::mousePress(window().keys()[1].shape, Qt::LeftButton);
        QVERIFY(renderRms(synth(), 0.2) > kAudible);
        QTest::qWait(100);
        QVERIFY(capture_->takeEvents(kPort).empty());
    }

    // The drum page's presses reach a JACK port on channel 10 exactly as they are played.
    void drumPressesReachTheJackPort_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Bytes>("press");
        QTest::newRow("the Jazz set")
            << "DrumSet6" << Bytes { 0xC9, 0x20, 0x99, 0x24, 0x7F, 0x99, 0x24, 0x00 };
        QTest::newRow("Snare 1") << "DrumSound38" << Bytes { 0x99, 0x26, 0x7F, 0x99, 0x26, 0x00 };
    }
    void drumPressesReachTheJackPort()
    {
        QFETCH(QString, button);
        QFETCH(Bytes, press);
        switchToThePort();
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        window().pageControl().setCurrentIndex(4);
        auto* pressed = window().findChild<ui::PreviewButton*>(button);
        QVERIFY(pressed);
        const auto arrival = capture_->deliver(kPort, press.size(), [&] {
            QTest::mousePress(pressed, Qt::LeftButton);
            QTest::mouseRelease(pressed, Qt::LeftButton);
        });
        SKIP_IF_DELIVERY_LOST_TO_THE_PLATFORM(*capture_);
        QCOMPARE(testing::joined(arrival), press);
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
        QCOMPARE(presetOn(0), (Preset { 0, 0 }));
        QCOMPARE(BuiltInSynthPeer::controllerValue(synth(), 0, 7), 100);
    }

    // The keyboard focus reaching a program button has the built-in synth read that preset
    // before any press, and sends nothing anywhere.
    void focusReadsTheButtonsPresetAhead()
    {
        window().programButtons()[9]->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(
            std::ranges::count(BuiltInSynthPeer::prefetched(synth()), Preset { 0, 9 }) == 1);
        QCOMPARE(presetOn(0), (Preset { 0, 0 }));
        QVERIFY(renderRms(synth(), 0.05) < kSilent);
        QVERIFY(capture_->takeEvents(kPort).empty());
    }

    // The GS button brings the built-in synth back to its defaults without a switch.
    void gsButtonResetsTheBuiltInSynth()
    {
        window().pageControl().setCurrentIndex(1);
        QTest::mouseClick(window().bankButtons()[8], Qt::LeftButton);
        window().pageControl().setCurrentIndex(0);
        clickButton5();
        QCOMPARE(presetOn(0), (Preset { 8, 4 }));

        QTest::mouseClick(&window().gsResetButton(), Qt::LeftButton);
        QCOMPARE(presetOn(0), (Preset { 0, 0 }));
    }
};

QTEST_MAIN(TestRealDeviceSwitching)
#include "test_real_device_switching.moc"
