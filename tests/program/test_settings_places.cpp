// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings file lives and how a close keeps it as its owner arranged it: links followed,
// hard links and owners kept, a read-only file left alone, and a program folder that cannot be
// written leading to the user's configuration folder.
#include "file_permissions.h"
#include "folder_contents.h"
#include "running_program.h"

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace tonalyx;
using testing::RunningProgram;
using Box = testing::RecordingPlatform::Box;
namespace fs = std::filesystem;

namespace {

// Hand-written, so that a save shows: the comment goes and the line ends change.
const QByteArray kHandWritten = "; by hand\n[window]\nHeight=600\n[dev]\ndev_num=0\n";

QByteArray savedWithHeight(int height)
{
    return "[window]\r\nHeight=" + QByteArray::number(height)
        + "\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n[dev]\r\ndev_num=0\r\n\r\n";
}

QByteArray handWrittenWithHeight(int height)
{
    return "; by hand\n[window]\nHeight=" + QByteArray::number(height) + "\n";
}

void writeFile(const fs::path& path, const QByteArray& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes.toStdString();
}

// A file's bytes, or "<nothing>" when nothing is there.
QByteArray contents(const fs::path& path)
{
    if (!fs::exists(fs::symlink_status(path)))
        return "<nothing>";
    std::ifstream in(path, std::ios::binary);
    return QByteArray::fromStdString({ std::istreambuf_iterator<char>(in), {} });
}

// What the owner arranged: a link's target, or a file's owner, group and permissions.
QString arrangement(const fs::path& path)
{
    struct stat status { };
    if (::lstat(path.c_str(), &status) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("link to ") + QString::fromStdString(fs::read_symlink(path));
    return QStringLiteral("owner %1:%2, mode %3")
        .arg(status.st_uid)
        .arg(status.st_gid)
        .arg(status.st_mode & 07777, 0, 8);
}

QStringList entriesOf(const fs::path& folder)
{
    return testing::entriesOf(QString::fromStdString(folder));
}

enum class Arranged {
    LinkIntoDotfiles,
    ChainOfLinks,
    HardLink,
    OtherOwner,
    OtherOwnerOpenToAll,
    ReadOnly
};

// For a test that lowers root's power over files while the program runs.
void runAs(bool user, const std::function<void()>& step)
{
    if (!user)
        return step();
    const testing::PermissionsApply permissions;
    step();
}

} // namespace

Q_DECLARE_METATYPE(Arranged)

class TestSettingsPlaces : public QObject {
    Q_OBJECT

private slots:
    void linksAndPermissions_data()
    {
        QTest::addColumn<Arranged>("arranged");
        QTest::addColumn<bool>("asUser"); // root's power over files lowered while the program runs
        QTest::addColumn<bool>("saved");
        QTest::newRow("link into a dotfiles folder") << Arranged::LinkIntoDotfiles << true << true;
        QTest::newRow("chain of links") << Arranged::ChainOfLinks << true << true;
        QTest::newRow("hard link") << Arranged::HardLink << true << true;
        // Root gives the new file the old one's owner.
        QTest::newRow("another user's file") << Arranged::OtherOwner << false << true;
        // A user cannot: the file is written in place, as the same file.
        QTest::newRow("another user's file that anyone may write")
            << Arranged::OtherOwnerOpenToAll << true << true;
        QTest::newRow("read-only by its mode") << Arranged::ReadOnly << true << false;
    }
    void linksAndPermissions()
    {
        QFETCH(Arranged, arranged);
        QFETCH(bool, asUser);
        QFETCH(bool, saved);

        RunningProgram run({ "Synth" }, RunningProgram::NotStarted {});
        const fs::path folder = run.folder.path().toStdString();
        const fs::path settings = run.settingsPath();
        const fs::path dotfiles = folder / "dotfiles";
        fs::create_directories(dotfiles);
        fs::path file = settings; // where the bytes are
        std::vector<fs::path> names { settings }; // every name that must keep its arrangement
        switch (arranged) {
        case Arranged::LinkIntoDotfiles:
            file = dotfiles / "tonalyx.ini";
            fs::create_symlink("dotfiles/tonalyx.ini", settings);
            break;
        case Arranged::ChainOfLinks:
            file = dotfiles / "tonalyx.ini";
            fs::create_symlink("tonalyx.ini", dotfiles / "current.ini");
            fs::create_symlink(dotfiles / "current.ini", settings);
            names.push_back(dotfiles / "current.ini");
            break;
        case Arranged::HardLink:
            writeFile(file, kHandWritten);
            fs::create_hard_link(file, dotfiles / "tonalyx.ini");
            names.push_back(dotfiles / "tonalyx.ini");
            break;
        case Arranged::OtherOwner:
        case Arranged::OtherOwnerOpenToAll:
        case Arranged::ReadOnly:
            break;
        }
        writeFile(file, kHandWritten);
        if (arranged == Arranged::OtherOwner || arranged == Arranged::OtherOwnerOpenToAll)
            QCOMPARE(::chown(file.c_str(), 1234, 5678), 0);
        if (arranged == Arranged::OtherOwner)
            fs::permissions(file, fs::perms(0640));
        if (arranged == Arranged::OtherOwnerOpenToAll)
            fs::permissions(file, fs::perms(0666));
        if (arranged == Arranged::ReadOnly)
            fs::permissions(file, fs::perms(0444));
        if (file != settings)
            names.push_back(file);

        QStringList before;
        for (const auto& name : names)
            before << arrangement(name);
        const QStringList folderBefore = entriesOf(folder);
        const QStringList dotfilesBefore = entriesOf(dotfiles);

        runAs(asUser, [&] { run.app->start(app::loadSettings(run.platform)); });
        run.platform.letTimePass();
        auto& window = run.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool closed = false;
        runAs(asUser, [&] { closed = window.close(); });

        QVERIFY(closed);
        QVERIFY(run.platform.boxes.empty());
        const QStringList notices = saved
            ? QStringList {}
            : QStringList { QStringLiteral("tonalyx: the settings were not saved: %1 is "
                                           "read-only")
                                .arg(QString::fromStdString(settings)) };
        QCOMPARE(run.platform.notices, notices);
        for (const auto& name : names)
            QCOMPARE(contents(name), saved ? savedWithHeight(600) : kHandWritten);
        QStringList after;
        for (const auto& name : names)
            after << arrangement(name);
        QCOMPARE(after, before);
        // No temporary file or copy left beside any of them.
        QCOMPARE(entriesOf(folder), folderBefore);
        QCOMPARE(entriesOf(dotfiles), dotfilesBefore);
    }

    // A program folder that cannot be written, as /usr/bin, sends the settings to the user's
    // configuration folder; one that can keeps them beside the program, as always.
    void systemWideInstall_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<int>("beside"); // the height in a file beside the program, 0 for none
        QTest::addColumn<int>("own"); // the same in the configuration folder's file
        QTest::addColumn<bool>("ownBlocked"); // the configuration folder cannot be made
        QTest::addColumn<int>("height"); // as restored
        QTest::newRow("per-user install") << true << 500 << 510 << false << 500;
        QTest::newRow("system-wide, first run") << false << 0 << 0 << false << 526;
        QTest::newRow("system-wide, defaults beside the program")
            << false << 500 << 0 << false << 500;
        QTest::newRow("system-wide, own file") << false << 500 << 510 << false << 510;
        QTest::newRow("system-wide, configuration folder cannot be made")
            << false << 0 << 0 << true << 526;
    }
    void systemWideInstall()
    {
        QFETCH(bool, folderWritable);
        QFETCH(int, beside);
        QFETCH(int, own);
        QFETCH(bool, ownBlocked);
        QFETCH(int, height);

        RunningProgram run({ "Synth" }, RunningProgram::NotStarted {});
        const fs::path folder = run.folder.path().toStdString();
        const fs::path home = folder / (ownBlocked ? "locked home" : "home");
        fs::create_directories(home);
        run.platform.configurationFolder = home / ".config";
        const fs::path besideFile = run.settingsPath();
        const fs::path ownFile = home / ".config" / "tonalyx" / "tonalyx.ini";
        if (beside)
            writeFile(besideFile, handWrittenWithHeight(beside));
        if (own) {
            fs::create_directories(ownFile.parent_path());
            writeFile(ownFile, handWrittenWithHeight(own));
        }
        const QByteArray besideBefore = contents(besideFile);
        const QByteArray ownBefore = contents(ownFile);
        if (ownBlocked)
            fs::permissions(home, fs::perms(0555));
        if (!folderWritable)
            fs::permissions(folder, fs::perms(0555));
        const auto restore = qScopeGuard([&] {
            fs::permissions(folder, fs::perms(0700));
            fs::permissions(home, fs::perms(0755));
        });

        runAs(true, [&] { run.app->start(app::loadSettings(run.platform)); });
        run.platform.letTimePass();
        auto& window = run.window();
        QCOMPARE(window.outerGeometry().height(), height);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool closed = false;
        runAs(true, [&] { closed = window.close(); });

        if (ownBlocked) {
            // Put right, the first close would have saved; a second one ends all the same.
            const Box box {
                Box::Error,
                QStringLiteral("ファイル %1 を作成できません.").arg(QString::fromStdString(ownFile))
            };
            QVERIFY(!closed);
            QVERIFY(run.platform.boxes == std::vector<Box> { box });
            runAs(true, [&] { closed = window.close(); });
            QVERIFY(closed);
            QVERIFY((run.platform.boxes == std::vector<Box> { box, box }));
            QCOMPARE(contents(ownFile), QByteArray("<nothing>"));
            QCOMPARE(contents(besideFile), besideBefore);
            return;
        }
        QVERIFY(closed);
        QVERIFY(run.platform.boxes.empty());
        if (folderWritable) {
            QCOMPARE(contents(besideFile), savedWithHeight(height));
            QCOMPARE(contents(ownFile), ownBefore);
            return;
        }
        QCOMPARE(contents(ownFile), savedWithHeight(height));
        QCOMPARE(contents(besideFile), besideBefore);
        if (!own)
            QCOMPARE(fs::status(ownFile.parent_path()).permissions(), fs::perms::owner_all);
    }
};

QTEST_MAIN(TestSettingsPlaces)
#include "test_settings_places.moc"
