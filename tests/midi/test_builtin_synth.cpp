#include "midi/system_midi_out_service.h"
#include "rendered_output.h"
#include "service_calls.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace tonalyx;
using midi::kMidiOk;
using midi::SystemMidiOutService;
using testing::pack;
using testing::sendLong;
using Bytes = std::vector<std::uint8_t>;
using Preset = midi::BuiltInSynth::Preset;
using testing::kAudible;
using testing::kSilent;
using testing::renderRms;

Q_DECLARE_METATYPE(Bytes)

namespace {

const Bytes kGsReset { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };

midi::SystemMidiOutConfig offline()
{
    return testing::offlineSynthConfig();
}

} // namespace

class TestBuiltInSynth : public QObject {
    Q_OBJECT

private slots:
    void deviceZeroIsTheBuiltInSynth()
    {
        SystemMidiOutService service(offline());
        QVERIFY(service.deviceCount() >= 1);
        midi::MidiOutCaps caps;
        QCOMPARE(service.deviceCaps(0, caps), kMidiOk);
        QCOMPARE(QByteArray(caps.productName.data()), QByteArray("Built-in GS Synth (FluidSynth)"));
    }

    void noteSoundsAndVelocityZeroEndsIt()
    {
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        auto& synth = *service.builtInSynth();
        QVERIFY(renderRms(synth, 0.05) < kSilent);

        QCOMPARE(service.shortMessage(handle, pack(0xC0, 0)), kMidiOk);
        QCOMPARE(service.shortMessage(handle, pack(0x90, 60, 127)), kMidiOk);
        QVERIFY(renderRms(synth, 0.3) > kAudible);

        QCOMPARE(service.shortMessage(handle, pack(0x90, 60, 0)), kMidiOk);
        renderRms(synth, 1.0); // the release and the reverb's tail
        QVERIFY(renderRms(synth, 0.05) < kSilent);
    }

    void bankSelectChoosesTheVariationOrFallsBack_data()
    {
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("program");
        QTest::addColumn<int>("soundingBank");
        QTest::addColumn<int>("soundingProgram");
        QTest::newRow("bank 0") << 0 << 4 << 0 << 4;
        QTest::newRow("bank 8 variation") << 8 << 4 << 8 << 4;
        QTest::newRow("bank 127 falls back") << 127 << 4 << 0 << 4;
        QTest::newRow("bank 9 of another program falls back") << 9 << 0 << 0 << 0;
        // Only the GS add-on has these: it is searched before the GM font.
        QTest::newRow("gs add-on bank 1") << 1 << 125 << 1 << 125;
        QTest::newRow("gs add-on bank 8") << 8 << 125 << 8 << 125;
        QTest::newRow("gs add-on bank 2 lacks 121") << 2 << 121 << 0 << 121;
    }
    void bankSelectChoosesTheVariationOrFallsBack()
    {
        QFETCH(int, bank);
        QFETCH(int, program);
        QFETCH(int, soundingBank);
        QFETCH(int, soundingProgram);
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        QCOMPARE(service.shortMessage(handle, pack(0xB0, 0, std::uint8_t(bank))), kMidiOk);
        QCOMPARE(service.shortMessage(handle, pack(0xB0, 32, 0)), kMidiOk);
        QCOMPARE(service.shortMessage(handle, pack(0xC0, std::uint8_t(program))), kMidiOk);
        const auto preset = service.builtInSynth()->presetOn(0);
        QVERIFY(preset.has_value());
        QCOMPARE(preset->bank, soundingBank);
        QCOMPARE(preset->program, soundingProgram);

        QCOMPARE(service.shortMessage(handle, pack(0x90, 60, 127)), kMidiOk);
        QVERIFY(renderRms(*service.builtInSynth(), 0.3) > kAudible);
    }

    void gsResetActsOnlyWhenWellFormed_data()
    {
        QTest::addColumn<Bytes>("message");
        QTest::addColumn<bool>("resets");
        QTest::newRow("gs reset") << kGsReset << true;
        Bytes wrongChecksum = kGsReset;
        wrongChecksum[9] = 0x42;
        QTest::newRow("wrong checksum") << wrongChecksum << false;
        Bytes otherDevice = kGsReset;
        otherDevice[2] = 0x11;
        QTest::newRow("other device id") << otherDevice << false;
    }
    void gsResetActsOnlyWhenWellFormed()
    {
        QFETCH(Bytes, message);
        QFETCH(bool, resets);
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        auto& synth = *service.builtInSynth();
        service.shortMessage(handle, pack(0xB0, 0, 8));
        service.shortMessage(handle, pack(0xC0, 4));
        service.shortMessage(handle, pack(0xB0, 7, 20));
        QCOMPARE(synth.presetOn(0), (Preset { 8, 4 }));
        QCOMPARE(synth.controllerValue(0, 7), 20);

        // Delivered either way, as to any device; what the synth makes of it is its own affair.
        QCOMPARE(sendLong(service, handle, message), kMidiOk);

        QCOMPARE(synth.presetOn(0), (resets ? Preset { 0, 0 } : Preset { 8, 4 }));
        QCOMPARE(synth.controllerValue(0, 7), resets ? 100 : 20);
    }

    void resetCutsEverySoundingNoteAtOnce()
    {
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        auto& synth = *service.builtInSynth();
        // Without the reverb's tail, which is the room's and not the notes'.
        synth.setEffects(false);
        // Notes on three channels, one held by the sustain pedal.
        service.shortMessage(handle, pack(0xC0, 48)); // strings: a long release
        service.shortMessage(handle, pack(0xC5, 19));
        service.shortMessage(handle, pack(0xBF, 64, 127));
        for (std::uint8_t status : { 0x90, 0x95, 0x9F })
            service.shortMessage(handle, pack(status, 60, 127));
        QVERIFY(renderRms(synth, 0.3) > kAudible);

        QCOMPARE(service.reset(handle), kMidiOk);
        QVERIFY(renderRms(synth, 0.002) < kSilent);
    }

    void brokenSoundFontFailsTheOpen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("not a soundfont") << "text";
        QTest::newRow("cut short") << "truncated";
        QTest::newRow("empty") << "empty";
    }
    void brokenSoundFontFailsTheOpen()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("font.sf2");
        if (kind == "folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind != "missing") {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            if (kind == "text") {
                out.write(QByteArray(4096, 'x'));
            } else if (kind == "truncated") {
                QFile font(QString::fromStdString(midi::defaultSoundFonts().back()));
                QVERIFY(font.open(QIODevice::ReadOnly));
                out.write(font.read(font.size() / 2));
            }
        }
        auto config = offline();
        config.soundFonts.push_back(path.toStdString());
        SystemMidiOutService service(config);

        midi::MidiOutHandle handle = 12345;
        QVERIFY(service.open(handle, 0) != kMidiOk);
        QCOMPARE(handle, midi::MidiOutHandle(0));
        QVERIFY(service.builtInSynth() == nullptr);
        QVERIFY(service.shortMessage(handle, pack(0x90, 60, 127)) != kMidiOk);
        QVERIFY(service.reset(handle) != kMidiOk);
        QVERIFY(sendLong(service, handle, kGsReset) != kMidiOk);
        QVERIFY(service.close(handle) != kMidiOk);
    }

    void noAudioOutputFailsTheOpenAndKeepsTheFonts()
    {
        auto config = offline();
        config.audioDrivers = { "no-such-driver", "nor-this-one" };
        SystemMidiOutService service(config);
        midi::MidiOutHandle handle = 0;
        QVERIFY(service.open(handle, 0) != kMidiOk);
        QVERIFY(service.shortMessage(handle, pack(0x90, 60, 127)) != kMidiOk);
        // The fonts stay loaded for the next try.
        const auto* synth = service.builtInSynth();
        QVERIFY(synth != nullptr);
        QVERIFY(service.open(handle, 0) != kMidiOk);
        QCOMPARE(service.builtInSynth(), synth);
    }

    void reopeningKeepsTheLoadedFonts()
    {
        QTemporaryDir dir;
        auto config = offline();
        config.soundFonts.clear();
        for (const auto& font : midi::defaultSoundFonts()) {
            const auto link = dir.filePath(QString::fromStdString(font).section('/', -1));
            QVERIFY(QFile::link(QString::fromStdString(font), link));
            config.soundFonts.push_back(link.toStdString());
        }
        SystemMidiOutService service(config);
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        const auto* synth = service.builtInSynth();
        QCOMPARE(service.close(handle), kMidiOk);

        // A reload would now fail: the fonts' paths are gone.
        for (const auto& path : config.soundFonts)
            QVERIFY(QFile::remove(QString::fromStdString(path)));
        QCOMPARE(service.open(handle, 0), kMidiOk);
        QCOMPARE(service.builtInSynth(), synth);
        service.shortMessage(handle, pack(0x90, 60, 127));
        QVERIFY(renderRms(*service.builtInSynth(), 0.3) > kAudible);
    }

    void closingSilencesSoNothingResumesOnReopen()
    {
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        service.builtInSynth()->setEffects(false);
        service.shortMessage(handle, pack(0x90, 60, 127));
        QVERIFY(renderRms(*service.builtInSynth(), 0.1) > kAudible);
        QCOMPARE(service.close(handle), kMidiOk);
        QCOMPARE(service.open(handle, 0), kMidiOk);
        QVERIFY(renderRms(*service.builtInSynth(), 0.002) < kSilent);
    }

    void staleAndInvalidHandlesAreRefused()
    {
        SystemMidiOutService service(offline());
        midi::MidiOutHandle first = 0;
        QCOMPARE(service.open(first, 0), kMidiOk);
        QVERIFY(first != 0);
        midi::MidiOutHandle again = 0;
        QVERIFY(service.open(again, 0) != kMidiOk); // already open
        QCOMPARE(service.close(first), kMidiOk);
        QVERIFY(service.close(first) != kMidiOk);

        midi::MidiOutHandle second = 0;
        QCOMPARE(service.open(second, 0), kMidiOk);
        QVERIFY(second != first);
        auto& synth = *service.builtInSynth();
        // The old handle reaches nothing, not even the device opened again.
        QVERIFY(service.shortMessage(first, pack(0x90, 60, 127)) != kMidiOk);
        QVERIFY(sendLong(service, first, kGsReset) != kMidiOk);
        QVERIFY(service.reset(first) != kMidiOk);
        QVERIFY(renderRms(synth, 0.1) < kSilent);
        for (const midi::MidiOutHandle bogus : { midi::MidiOutHandle(0), second + 1, ~second })
            QVERIFY(service.shortMessage(bogus, pack(0x90, 60, 127)) != kMidiOk);
        QVERIFY(renderRms(synth, 0.1) < kSilent);
        QCOMPARE(service.shortMessage(second, pack(0x90, 60, 127)), kMidiOk);
        QVERIFY(renderRms(synth, 0.1) > kAudible);
    }

    void unknownDevicesAreRefused_data()
    {
        QTest::addColumn<int>("offset"); // from the device count
        QTest::newRow("count") << 0;
        QTest::newRow("count + 1") << 1;
        QTest::newRow("huge") << 1000000;
        QTest::newRow("-1") << -1000000;
    }
    void unknownDevicesAreRefused()
    {
        QFETCH(int, offset);
        SystemMidiOutService service(offline());
        const auto count = static_cast<std::int32_t>(service.deviceCount());
        const auto device = offset < 0 ? -1 : count + offset;
        midi::MidiOutHandle handle = 99;
        QVERIFY(service.open(handle, device) != kMidiOk);
        QCOMPARE(handle, midi::MidiOutHandle(0));
        midi::MidiOutCaps caps;
        caps.productName.fill('x');
        QVERIFY(service.deviceCaps(device, caps) != kMidiOk);
        QCOMPARE(caps.productName, midi::MidiOutCaps {}.productName);
    }

    void malformedOrUnpreparedMessagesAreRefused()
    {
        SystemMidiOutService service(offline());
        midi::MidiOutHandle handle = 0;
        QCOMPARE(service.open(handle, 0), kMidiOk);
        service.shortMessage(handle, pack(0xC0, 4));
        service.shortMessage(handle, pack(0xB0, 7, 20));
        midi::MidiLongMessageHeader unprepared { kGsReset.data(), std::uint32_t(kGsReset.size()),
            0 };
        QVERIFY(service.longMessage(handle, unprepared) != kMidiOk);
        const Bytes cut(kGsReset.begin(), kGsReset.end() - 1);
        QVERIFY(sendLong(service, handle, cut) != kMidiOk);
        QVERIFY(service.shortMessage(handle, pack(0x3C, 0x7F)) != kMidiOk);
        QCOMPARE(service.builtInSynth()->presetOn(0), (Preset { 0, 4 }));
        QCOMPARE(service.builtInSynth()->controllerValue(0, 7), 20);
    }
};

QTEST_APPLESS_MAIN(TestBuiltInSynth)
#include "test_builtin_synth.moc"
