// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file when the disk lets the program down: a close that cannot write keeps the
// window and the old file.
#include "file_permissions.h"
#include "folder_contents.h"
#include "running_program.h"

#include <QFile>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace tonalyx;
using testing::RecordingPlatform;
using testing::RunningProgram;
using Box = RecordingPlatform::Box;

namespace {

enum class Block { ReadOnlyFolder, ReadOnlyFileSystem, FullDisk };

// A file as a user may leave it: the comment goes at the next save, so a save shows.
const QByteArray kOldFile = "; kept by hand\r\n[window]\r\nHeight=600\r\n[dev]\r\ndev_num=1\r\n";
const QByteArray kNewFile = "[window]\r\nHeight=600\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                            "[dev]\r\ndev_num=1\r\n\r\n";

using tonalyx::testing::entriesOf;
using tonalyx::testing::readFile;

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

        RunningProgram program({ "Synth A", "Synth B" }, RunningProgram::NotStarted {});
        const QString folder = program.folder.path();
        const QByteArray nativeFolder = QFile::encodeName(folder);
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

        RecordingPlatform& platform = program.platform;
        const QString path = folder + "/tonalyx.ini";
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QCOMPARE(old.write(kOldFile), kOldFile.size());
        }
        program.app->start(app::loadSettings(platform));
        platform.letTimePass();
        auto& window = program.window();
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
};

QTEST_MAIN(TestSettingsFaults)
#include "test_settings_faults.moc"
