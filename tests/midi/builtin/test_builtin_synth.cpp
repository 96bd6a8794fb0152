// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtin_synth_peer.h"
#include "midi/builtin/sound_font_folder.h"
#include "midi/midi_messages.h"
#include "midi/midi_out_port.h"
#include "shell/user_sound_fonts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace tonalyx;
using testing::BuiltInSynthPeer;
using testing::kAudible;
using testing::kSilent;
using testing::OpenedSynth;
using testing::renderRms;
using Bytes = std::vector<std::uint8_t>;
using Preset = BuiltInSynthPeer::Preset;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(std::vector<Preset>)

namespace {

const Bytes kGsReset(midi::GsResetMessage.begin(), midi::GsResetMessage.end());

// While it lives, what the process writes to standard error goes to a file instead.
class StandardErrorTo {
public:
    explicit StandardErrorTo(const QString& file)
        : saved_(::dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        const int redirected = ::open(
            QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(redirected, STDERR_FILENO);
        ::close(redirected);
    }
    ~StandardErrorTo()
    {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    StandardErrorTo(const StandardErrorTo&) = delete;
    StandardErrorTo& operator=(const StandardErrorTo&) = delete;

private:
    int saved_;
};

} // namespace

class TestBuiltInSynth : public QObject {
    Q_OBJECT

private slots:
    void isOnePortNamedForTheUser()
    {
        midi::BuiltInSynthBackend backend(testing::offlineSynthConfig());
        const auto ports = backend.ports();
        QCOMPARE(ports.size(), std::size_t { 1 });
        QCOMPARE(ports.front().name, std::string("Built-in GS Synth (FluidSynth)"));
        QVERIFY(backend.open("no such port") == nullptr);
    }

    void noteSoundsAndVelocityZeroEndsIt()
    {
        OpenedSynth opened;
        QVERIFY(opened.connection);
        auto& synth = opened.synth();
        QVERIFY(renderRms(synth, 0.05) < kSilent);

        QVERIFY(opened.send({ 0xC0, 0 }));
        QVERIFY(opened.send({ 0x90, 60, 127 }));
        QVERIFY(renderRms(synth, 0.3) > kAudible);

        QVERIFY(opened.send({ 0x90, 60, 0 }));
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
        OpenedSynth opened;
        QVERIFY(opened.send({ 0xB0, 0, std::uint8_t(bank) }));
        QVERIFY(opened.send({ 0xB0, 32, 0 }));
        QVERIFY(opened.send({ 0xC0, std::uint8_t(program) }));
        QCOMPARE(BuiltInSynthPeer::presetOn(opened.synth(), 0),
            (Preset { soundingBank, soundingProgram }));

        QVERIFY(opened.send({ 0x90, 60, 127 }));
        QVERIFY(renderRms(opened.synth(), 0.3) > kAudible);
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
        OpenedSynth opened;
        auto& synth = opened.synth();
        opened.send({ 0xB0, 0, 8 });
        opened.send({ 0xC0, 4 });
        opened.send({ 0xB0, 7, 20 });
        QCOMPARE(BuiltInSynthPeer::presetOn(synth, 0), (Preset { 8, 4 }));
        QCOMPARE(BuiltInSynthPeer::controllerValue(synth, 0, 7), 20);

        // Taken either way, as by any device; what the synth makes of it is its own affair.
        QVERIFY(opened.connection->send(message));

        QCOMPARE(
            BuiltInSynthPeer::presetOn(synth, 0), (resets ? Preset { 0, 0 } : Preset { 8, 4 }));
        QCOMPARE(BuiltInSynthPeer::controllerValue(synth, 0, 7), resets ? 100 : 20);
    }

    // The port's reset is controller messages on every channel; the synth must take them as a
    // cut of every sounding note, a held pedal included.
    void portResetCutsEverySoundingNoteAtOnce()
    {
        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        backends.push_back(
            std::make_unique<midi::BuiltInSynthBackend>(testing::offlineSynthConfig()));
        auto& backend = static_cast<midi::BuiltInSynthBackend&>(*backends.front());
        midi::DeviceList devices(std::move(backends));
        midi::MidiOutPort port(devices);
        QVERIFY(port.open(0));
        auto& synth = *BuiltInSynthPeer::synthOf(backend);
        // Without the reverb's tail, which is the room's and not the notes'.
        BuiltInSynthPeer::setEffects(synth, false);
        // Notes on three channels, one held by the sustain pedal.
        port.send(midi::programChange(48)); // strings: a long release
        for (const auto& message : { Bytes { 0xC5, 19 }, Bytes { 0xBF, 64, 127 },
                 Bytes { 0x90, 60, 127 }, Bytes { 0x95, 60, 127 }, Bytes { 0x9F, 60, 127 } })
            synth.play(message);
        QVERIFY(renderRms(synth, 0.3) > kAudible);

        port.reset();
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
        auto config = testing::offlineSynthConfig();
        config.soundFonts.push_back(path.toStdString());
        OpenedSynth opened(config);
        QVERIFY(opened.connection == nullptr);
        QVERIFY(BuiltInSynthPeer::synthOf(opened.backend) == nullptr);
    }

    // The user's own fonts, found where the program looks for them, come after the default
    // ones, so their presets are heard first; one that cannot be loaded is left out, with a line
    // on standard error that shows the control characters of its name as escapes, and the synth
    // opens all the same; one each of whose presets a later one has is never heard, and not
    // loaded. Each row is the folder's entries: "copy" a copy of the GS add-on, which answers
    // bank 1 program 125 as the add-on does, "gm" a link to the GM font, which has no bank 1,
    // "broken" text that is no SoundFont, "text" a file of another kind, "folder" a folder.
    void userSoundFontsAreHeardFirstAndBrokenOnesLeftOut_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("answering"); // the file name of the font that sounds
        QTest::addColumn<QStringList>("leftOut"); // as the lines name them
        QTest::addColumn<int>("fontsLoaded"); // the default two included
        const QString gs = QStringLiteral("FluidR3_GS.sf2");
        QTest::newRow("no folder") << QStringList {} << gs << QStringList {} << 2;
        QTest::newRow("a font of one's own")
            << QStringList { "copy mine.sf2" } << "mine.sf2" << QStringList {} << 3;
        QTest::newRow("the later name is heard first, the other never")
            << QStringList { "copy b.SF3", "copy a.sf2" } << "b.SF3" << QStringList {} << 3;
        QTest::newRow("an earlier font with presets of its own is kept")
            << QStringList { "copy a.sf2", "gm b.sf2" } << "a.sf2" << QStringList {} << 4;
        QTest::newRow("a broken font is left out")
            << QStringList { "copy mine.sf2", "broken z.sf2" } << "mine.sf2"
            << QStringList { "z.sf2" } << 3;
        QTest::newRow("only broken fonts") << QStringList { "broken a.sf2", "broken b.sf3" } << gs
                                           << QStringList { "a.sf2", "b.sf3" } << 2;
        QTest::newRow("control characters in a name")
            << QStringList { "broken bad\x01\x1b[31m.sf2" } << gs
            << QStringList { "bad\\x01\\x1b[31m.sf2" } << 2;
        QTest::newRow("other entries are no fonts")
            << QStringList { "text readme.txt", "folder more.sf2", "copy mine.sf2.bak" } << gs
            << QStringList {} << 2;
    }
    void userSoundFontsAreHeardFirstAndBrokenOnesLeftOut()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, answering);
        QFETCH(QStringList, leftOut);
        QFETCH(int, fontsLoaded);
        QTemporaryDir dataHome;
        QVERIFY(dataHome.isValid());
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
        const auto folder = shell::userSoundFontFolder();
        qputenv("XDG_DATA_HOME", previous);
        QCOMPARE(QString::fromStdString(folder.string()),
            dataHome.filePath(QStringLiteral("tonalyx/soundfonts")));

        const QString gsFont = QString::fromStdString(midi::defaultSoundFonts().back());
        const QDir fonts(QString::fromStdString(folder.string()));
        if (!entries.isEmpty())
            QVERIFY(QDir().mkpath(fonts.path()));
        for (const QString& entry : entries) {
            const QString kind = entry.section(' ', 0, 0);
            const QString path = fonts.filePath(entry.section(' ', 1));
            if (kind == "copy") {
                QVERIFY(QFile::copy(gsFont, path));
            } else if (kind == "gm") {
                QVERIFY(
                    QFile::link(QString::fromStdString(midi::defaultSoundFonts().front()), path));
            } else if (kind == "folder") {
                QVERIFY(QDir().mkdir(path));
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(kind == "broken" ? QByteArray(4096, 'x') : QByteArray("notes\n"));
            }
        }

        auto config = testing::offlineSynthConfig();
        config.extraSoundFonts = midi::soundFontsIn(folder);
        const QString complaints = dataHome.filePath(QStringLiteral("stderr.txt"));
        std::optional<OpenedSynth> opened;
        {
            const StandardErrorTo redirected(complaints);
            opened.emplace(config);
        }
        QVERIFY(opened->connection);
        QVERIFY(opened->send({ 0xB0, 0, 1 }));
        QVERIFY(opened->send({ 0xC0, 125 }));
        QCOMPARE(BuiltInSynthPeer::presetOn(opened->synth(), 0), (Preset { 1, 125 }));
        QCOMPARE(QFileInfo(QString::fromStdString(BuiltInSynthPeer::fontOn(opened->synth(), 0)))
                     .fileName(),
            answering);
        QVERIFY(opened->send({ 0x90, 60, 127 }));
        QVERIFY(renderRms(opened->synth(), 0.3) > kAudible);
        QCOMPARE(BuiltInSynthPeer::fontCount(opened->synth()), fontsLoaded);

        QFile printed(complaints);
        QVERIFY(printed.open(QIODevice::ReadOnly));
        const QStringList lines
            = QString::fromLocal8Bit(printed.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), leftOut.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].startsWith(QStringLiteral("tonalyx: SoundFont %1 left out: ")
                                             .arg(fonts.filePath(leftOut[i]))),
                qPrintable(lines[i]));
        }
    }

    // An open waits a bounded time for the fonts; a load that outlasts it goes on. Meanwhile an
    // open fails at once, and the first open after it has ended takes its synth.
    void loadThatOutlastsTheOpenGoesOn()
    {
        auto config = testing::offlineSynthConfig();
        config.loadTime = std::chrono::milliseconds::zero();
        midi::BuiltInSynthBackend backend(config);
        const auto identity = backend.ports().front().identity;
        QVERIFY(backend.open(identity) == nullptr);
        QVERIFY(BuiltInSynthPeer::synthOf(backend) == nullptr);
        std::unique_ptr<midi::MidiConnection> connection;
        QTRY_VERIFY_WITH_TIMEOUT((connection = backend.open(identity)) != nullptr, 60000);
        QVERIFY(connection->send(std::vector<std::uint8_t> { 0x90, 60, 127 }));
        QVERIFY(renderRms(*BuiltInSynthPeer::synthOf(backend), 0.3) > kAudible);
    }

    void noAudioOutputFailsTheOpenAndKeepsTheFonts()
    {
        auto config = testing::offlineSynthConfig();
        config.audioDrivers = { "no-such-driver", "nor-this-one" };
        OpenedSynth opened(config);
        QVERIFY(opened.connection == nullptr);
        // The fonts stay loaded for the next try.
        const auto* synth = BuiltInSynthPeer::synthOf(opened.backend);
        QVERIFY(synth != nullptr);
        QVERIFY(opened.backend.open(opened.backend.ports().front().identity) == nullptr);
        QCOMPARE(BuiltInSynthPeer::synthOf(opened.backend), synth);
    }

    void reopeningKeepsTheLoadedFonts()
    {
        QTemporaryDir dir;
        auto config = testing::offlineSynthConfig();
        config.soundFonts.clear();
        for (const auto& font : midi::defaultSoundFonts()) {
            const auto link = dir.filePath(QString::fromStdString(font).section('/', -1));
            QVERIFY(QFile::link(QString::fromStdString(font), link));
            config.soundFonts.push_back(link.toStdString());
        }
        OpenedSynth opened(config);
        QVERIFY(opened.connection);
        const auto* synth = BuiltInSynthPeer::synthOf(opened.backend);
        opened.connection.reset();

        // A reload would now fail: the fonts' paths are gone.
        for (const auto& path : config.soundFonts)
            QVERIFY(QFile::remove(QString::fromStdString(path)));
        opened.connection = opened.backend.open(opened.backend.ports().front().identity);
        QVERIFY(opened.connection);
        QCOMPARE(BuiltInSynthPeer::synthOf(opened.backend), synth);
        opened.send({ 0x90, 60, 127 });
        QVERIFY(renderRms(opened.synth(), 0.3) > kAudible);
    }

    void closingSilencesSoNothingResumesOnReopen()
    {
        OpenedSynth opened;
        BuiltInSynthPeer::setEffects(opened.synth(), false);
        opened.send({ 0x90, 60, 127 });
        QVERIFY(renderRms(opened.synth(), 0.1) > kAudible);
        opened.connection.reset();
        opened.connection = opened.backend.open(opened.backend.ports().front().identity);
        QVERIFY(renderRms(opened.synth(), 0.002) < kSilent);
    }

    // One output at a time: a second open while the first is in use is refused.
    void secondOpenWhileOpenIsRefused()
    {
        OpenedSynth opened;
        const auto identity = opened.backend.ports().front().identity;
        QVERIFY(opened.backend.open(identity) == nullptr);
        opened.connection.reset();
        QVERIFY(opened.backend.open(identity) != nullptr);
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
        std::vector<std::unique_ptr<midi::MidiBackend>> backends;
        backends.push_back(
            std::make_unique<midi::BuiltInSynthBackend>(testing::offlineSynthConfig()));
        midi::DeviceList devices(std::move(backends));
        const auto device = offset < 0 ? -1 : devices.count() + offset;
        QVERIFY(devices.open(device) == nullptr);
        QCOMPARE(devices.name(device), std::string());
    }

    // A preset a press may ask for is read ahead, silently, and found the way the press would
    // find it; no more presets are held for presses that have not come than the bound.
    void preparedPresetsAreReadAheadWithinTheBound_data()
    {
        QTest::addColumn<std::vector<Preset>>("asked"); // bank and program, in turn
        QTest::addColumn<std::vector<Preset>>("held");
        QTest::newRow("a variation")
            << std::vector<Preset> { { 8, 4 } } << std::vector<Preset> { { 8, 4 }, { 0, 0 } };
        QTest::newRow("a missing variation, as its bank 0 preset")
            << std::vector<Preset> { { 8, 1 } } << std::vector<Preset> { { 0, 1 }, { 0, 0 } };
        QTest::newRow("more than the bound: the oldest goes") << std::vector<Preset> { { 0, 10 },
            { 0, 20 }, { 0, 30 } } << std::vector<Preset> { { 0, 30 }, { 0, 20 } };
    }
    void preparedPresetsAreReadAheadWithinTheBound()
    {
        QFETCH(std::vector<Preset>, asked);
        QFETCH(std::vector<Preset>, held);
        OpenedSynth opened;
        auto& synth = opened.synth();
        for (const auto& preset : asked) {
            opened.connection->prepare(preset.bank, preset.program);
            // Each is read before the next comes, as a pointer resting on each button would.
            QTRY_VERIFY(std::ranges::any_of(BuiltInSynthPeer::prefetched(synth),
                [&](const Preset& p) { return p.program == preset.program; }));
        }
        QCOMPARE(BuiltInSynthPeer::prefetched(synth), held);
        QCOMPARE(BuiltInSynthPeer::presetOn(synth, 0), (Preset { 0, 0 }));
        QVERIFY(renderRms(synth, 0.05) < kSilent);
    }

    void malformedMessagesAreRefused()
    {
        OpenedSynth opened;
        opened.send({ 0xC0, 4 });
        opened.send({ 0xB0, 7, 20 });
        QVERIFY(!opened.send({}));
        QVERIFY(!opened.send({ 0x3C, 0x7F }));
        // Cut off: read whole, they would select program 0 and set the volume to 0.
        QVERIFY(!opened.send({ 0xC0 }));
        QVERIFY(!opened.send({ 0xB0, 7 }));
        QCOMPARE(BuiltInSynthPeer::presetOn(opened.synth(), 0), (Preset { 0, 4 }));
        QCOMPARE(BuiltInSynthPeer::controllerValue(opened.synth(), 0, 7), 20);
    }
};

QTEST_APPLESS_MAIN(TestBuiltInSynth)
#include "test_builtin_synth.moc"
