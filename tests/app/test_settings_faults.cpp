// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file when the disk lets the program down: a close that cannot write keeps the
// window and the old file, and a kill at any moment of a save leaves a whole file behind.
#include "app/application.h"
#include "file_permissions.h"
#include "folder_contents.h"
#include "recording_backend.h"
#include "recording_platform.h"
#include "settings/settings_file.h"
#include "settings_contents.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

using namespace tonalyx;
using testing::RecordedDevices;
using testing::RecordingPlatform;
using Box = RecordingPlatform::Box;
namespace fs = std::filesystem;

namespace {

enum class Block { ReadOnlyFolder, ReadOnlyFileSystem, FullDisk };

// A file as a user may leave it: the comment goes at the next save, so a save shows.
const QByteArray kOldFile = "; kept by hand\r\n[window]\r\nHeight=600\r\n[dev]\r\ndev_num=1\r\n";
const QByteArray kNewFile = "[window]\r\nHeight=600\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                            "[dev]\r\ndev_num=1\r\n\r\n";

using tonalyx::testing::entriesOf;
using tonalyx::testing::readFile;

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const auto value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

} // namespace

Q_DECLARE_METATYPE(Block)

class TestSettingsFaults : public QObject {
    Q_OBJECT

private:
    // Mounts of the test's own, for a read-only or full file system: a mount namespace of this
    // thread's own, detached from the machine's so that nothing mounted here is seen outside
    // and everything goes with the process.
    QString noMountsBecause_;

private slots:
    void initTestCase()
    {
        if (::unshare(CLONE_NEWNS) != 0) {
            noMountsBecause_ = QStringLiteral("no mount namespace of its own: %1")
                                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            noMountsBecause_ = QStringLiteral("mounts cannot be made private: %1")
                                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }

    void unwritableAtClose_data()
    {
        QTest::addColumn<Block>("block");
        QTest::newRow("read-only folder") << Block::ReadOnlyFolder;
        QTest::newRow("read-only file system") << Block::ReadOnlyFileSystem;
        QTest::newRow("full disk") << Block::FullDisk;
    }
    void unwritableAtClose()
    {
        QFETCH(Block, block);
        const bool needsMount = block != Block::ReadOnlyFolder;
        if (needsMount && !noMountsBecause_.isEmpty())
            QSKIP(qPrintable(noMountsBecause_));

        QTemporaryDir top;
        const QString folder = top.filePath("disk");
        const QByteArray nativeFolder = QFile::encodeName(folder);
        QVERIFY(QDir().mkdir(folder));
        if (needsMount) {
            QVERIFY2(
                ::mount("tonalyx-test", nativeFolder.constData(), "tmpfs", 0, "size=256k,mode=0755")
                    == 0,
                std::strerror(errno));
        }
        const auto unmount = qScopeGuard([&] {
            if (needsMount)
                ::umount2(nativeFolder.constData(), MNT_DETACH);
            ::chmod(nativeFolder.constData(), 0755);
        });

        RecordedDevices devices({ "Synth A", "Synth B" });
        RecordingPlatform platform(fs::path(folder.toStdString()) / "tonalyx",
            [&] { return devices.recorder().calls().size(); });
        const QString path = folder + "/tonalyx.ini";
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QCOMPARE(old.write(kOldFile), kOldFile.size());
        }
        app::Application application(devices.list(), platform);
        application.start(app::loadSettings(platform));
        platform.letTimePass();
        auto& window = application.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(platform.boxes.empty());

        switch (block) {
        case Block::ReadOnlyFolder:
            QCOMPARE(::chmod(nativeFolder.constData(), 0555), 0);
            break;
        case Block::ReadOnlyFileSystem:
            QVERIFY2(
                ::mount(nullptr, nativeFolder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr)
                    == 0,
                std::strerror(errno));
            break;
        case Block::FullDisk: {
            QFile filler(folder + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray page(4096, 'x');
            while (filler.write(page) == page.size()) { }
            break;
        }
        }
        const QStringList entries = entriesOf(folder);

        bool closed = true;
        {
            const testing::PermissionsApply permissions;
            closed = window.close();
        }
        QVERIFY(!closed);
        QVERIFY(window.isVisible());
        QVERIFY((platform.boxes
            == std::vector<Box> {
                { Box::Error, QStringLiteral("ファイル %1 を作成できません.").arg(path) } }));
        QCOMPARE(readFile(path), kOldFile);
        // No temporary file left behind, not even an empty one.
        QCOMPARE(entriesOf(folder), entries);

        switch (block) {
        case Block::ReadOnlyFolder:
            QCOMPARE(::chmod(nativeFolder.constData(), 0755), 0);
            break;
        case Block::ReadOnlyFileSystem:
            QVERIFY2(::mount(nullptr, nativeFolder.constData(), nullptr, MS_REMOUNT, nullptr) == 0,
                std::strerror(errno));
            break;
        case Block::FullDisk:
            QVERIFY(QFile::remove(folder + "/filler"));
            break;
        }
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(readFile(path), kNewFile);
        QCOMPARE(platform.boxes.size(), std::size_t { 1 });
    }

    // A writer saving in a loop is killed at random moments; whenever it dies, the file is one
    // of the two it alternates between, whole.
    void killDuringSaveLeavesOldOrNew()
    {
        const std::uint64_t rounds = fromEnvironment("TONALYX_KILL_ROUNDS", 200);
        const std::uint64_t seed = fromEnvironment("TONALYX_KILL_SEED", std::random_device {}());
        qInfo("kill during save: %llu rounds, seed %llu (repeat with TONALYX_KILL_SEED)",
            static_cast<unsigned long long>(rounds), static_cast<unsigned long long>(seed));
        std::mt19937_64 random(seed);

        QTemporaryDir folder;
        const QString path = folder.filePath("tonalyx.ini");
        const QByteArray small = QByteArray::fromStdString(testing::smallSettings());
        const QByteArray large = QByteArray::fromStdString(testing::largeSettings());

        // The kills are spread over a few saves of the large file as this machine makes them, so
        // they land in every part of a save wherever the test runs.
        settings::IniDocument timing;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 3; ++i) {
            timing.parse(large.toStdString());
            QCOMPARE(settings::writeSettings(path.toStdString(), timing),
                settings::WriteResult::Written);
        }
        const auto spread = std::max<std::int64_t>(clock.nsecsElapsed() / 1000, 1000);
        timing.parse(small.toStdString());
        QCOMPARE(
            settings::writeSettings(path.toStdString(), timing), settings::WriteResult::Written);

        std::uint64_t foundSmall = 0;
        std::uint64_t foundLarge = 0;
        std::uint64_t killedMidSave = 0;
        for (std::uint64_t round = 0; round < rounds; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(TONALYX_SETTINGS_WRITER), { path });
            QVERIFY2(writer.waitForStarted(), qPrintable(writer.errorString()));
            QVERIFY(writer.waitForReadyRead(60000));
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<std::int64_t>(0, spread)(random)));
            ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(60000));
            QVERIFY2(writer.exitStatus() == QProcess::CrashExit,
                writer.readAllStandardError().constData());

            const QByteArray found = readFile(path);
            QVERIFY2(found == small || found == large,
                qPrintable(QStringLiteral("round %1: a file of %2 bytes that is neither")
                               .arg(round)
                               .arg(found.size())));
            ++(found == small ? foundSmall : foundLarge);
            // A temporary file is all a kill in the middle of a save leaves besides.
            for (const QString& entry : entriesOf(folder.path())) {
                if (entry == QLatin1String("tonalyx.ini"))
                    continue;
                QVERIFY2(entry.startsWith(QLatin1String(".tonalyx.ini.")), qPrintable(entry));
                QVERIFY(QFile::remove(folder.filePath(entry)));
                ++killedMidSave;
            }
        }
        qInfo("kill during save: old or new file each time (small %llu, large %llu); %llu kills "
              "fell inside a save, between its temporary file and its rename",
            static_cast<unsigned long long>(foundSmall),
            static_cast<unsigned long long>(foundLarge),
            static_cast<unsigned long long>(killedMidSave));
        // Many kills must have hit a save in progress, or the test proved nothing.
        if (rounds >= 50)
            QVERIFY(killedMidSave > 0);
    }
};

QTEST_MAIN(TestSettingsFaults)
#include "test_settings_faults.moc"
