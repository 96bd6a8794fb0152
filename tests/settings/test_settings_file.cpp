// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_permissions.h"
#include "folder_contents.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using tonalyx::settings::IniDocument;
using tonalyx::settings::ReadResult;
using tonalyx::settings::SavedSettings;
using tonalyx::settings::SettingsFile;
using tonalyx::settings::WriteResult;

namespace {

constexpr std::int32_t kFallback = -77;

// Keeps embedded NUL bytes, which a plain QByteArray(const char*) would cut off.
template <std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

std::string_view view(const QByteArray& text)
{
    return { text.constData(), static_cast<std::size_t>(text.size()) };
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

using tonalyx::testing::entriesOf;
using tonalyx::testing::readFile;

// A settings file read and written at one path.
SettingsFile settingsAt(const QString& path)
{
    return SettingsFile({ path.toStdString(), path.toStdString() });
}

// What the program writes when it shuts down.
const SavedSettings kShutDownValues { { 193, 159, 679, 526 }, 0 };

const QByteArray kWindowWritten = "Height=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n";
const QByteArray kFresh = "[window]\r\n" + kWindowWritten + "\r\n[dev]\r\ndev_num=0\r\n\r\n";

enum class Obstacle { Missing, DanglingSymlink, Directory, NoPermission, Fifo, TooLarge, Largest };
enum class SaveObstacle { ParentIsFile, TargetIsFolder, ReadOnlyFolder };
enum class Content { FourByteEntries, EmptySections, OneLongEntry };

} // namespace

Q_DECLARE_METATYPE(Obstacle)
Q_DECLARE_METATYPE(SaveObstacle)
Q_DECLARE_METATYPE(Content)
Q_DECLARE_METATYPE(ReadResult)

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void pathBesideExecutable_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no full stop") << "/a.b/tonalyx"
                                      << "/a.b/tonalyx.ini";
        QTest::newRow("extension replaced") << "/x/prog.exe"
                                            << "/x/prog.ini";
        QTest::newRow("only the last full stop") << "/x/a.b.c"
                                                 << "/x/a.b.ini";
        QTest::newRow("trailing full stop") << "/x/prog."
                                            << "/x/prog.ini";
        QTest::newRow("name is all extension") << "/x/.prog"
                                               << "/x/.ini";
        QTest::newRow("relative") << "prog.exe"
                                  << "prog.ini";
        // Replacing the extension would name the executable itself.
        QTest::newRow("named like its settings") << "/x/tonalyx.ini"
                                                 << "/x/tonalyx.ini.ini";
        QTest::newRow("named like settings alone") << "/x/.ini"
                                                   << "/x/.ini.ini";
    }
    void pathBesideExecutable()
    {
        QFETCH(QString, executable);
        QFETCH(QString, expected);
        const auto path = tonalyx::settings::pathBesideExecutable(executable.toStdString());
        QCOMPARE(QString::fromStdString(path.native()), expected);
    }

    void readInteger_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("600") << 600;
        QTest::newRow("negative") << QByteArray("-5") << -5;
        QTest::newRow("plus sign") << QByteArray("+7") << 7;
        QTest::newRow("leading zeros") << QByteArray("007") << 7;
        QTest::newRow("0x") << QByteArray("0x258") << 600;
        QTest::newRow("0X") << QByteArray("0X258") << 600;
        QTest::newRow("dollar") << QByteArray("$258") << 600;
        QTest::newRow("dollar lower case") << QByteArray("$ff") << 255;
        QTest::newRow("negative dollar") << QByteArray("-$10") << -16;
        QTest::newRow("plus dollar") << QByteArray("+$10") << 16;
        QTest::newRow("all 32 bits") << QByteArray("0xFFFFFFFF") << -1;
        QTest::newRow("negated sign bit") << QByteArray("-$80000000") << INT32_MIN;
        QTest::newRow("33 bits") << QByteArray("0x100000000") << kFallback;
        QTest::newRow("33 bits dollar") << QByteArray("$100000000") << kFallback;
        QTest::newRow("int max") << QByteArray("2147483647") << INT32_MAX;
        QTest::newRow("int max + 1") << QByteArray("2147483648") << kFallback;
        QTest::newRow("int min") << QByteArray("-2147483648") << INT32_MIN;
        QTest::newRow("int min - 1") << QByteArray("-2147483649") << kFallback;
        QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999") << kFallback;
        QTest::newRow("letters") << QByteArray("abc") << kFallback;
        QTest::newRow("empty") << QByteArray() << kFallback;
        QTest::newRow("0x alone") << QByteArray("0x") << kFallback;
        QTest::newRow("dollar alone") << QByteArray("$") << kFallback;
        QTest::newRow("minus alone") << QByteArray("-") << kFallback;
        QTest::newRow("space inside") << QByteArray("12 3") << kFallback;
        QTest::newRow("trailing junk") << QByteArray("12a") << kFallback;
        QTest::newRow("sign after 0x") << QByteArray("0x-5") << kFallback;
        QTest::newRow("sign before 0x") << QByteArray("-0x5") << kFallback;
        QTest::newRow("bad hex digit") << QByteArray("$1G") << kFallback;
        QTest::newRow("blank around value") << QByteArray(" \t42 ") << 42;
    }
    void readInteger()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        writeFile(path, "[s]\r\nk=" + value + "\r\n");
        IniDocument document;
        QCOMPARE(readSettings(path.toStdString(), document), ReadResult::Loaded);
        QCOMPARE(document.readInteger("s", "k", kFallback), expected);
    }

    void lookup_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("letter case ignored") << QByteArray("[Window]\r\nHEIGHT=5\r\n")
                                             << QByteArray("wINDOW") << QByteArray("height") << 5;
        QTest::newRow("spaces around equals") << QByteArray("[window]\r\nwidth = 700\r\n")
                                              << QByteArray("window") << QByteArray("Width") << 700;
        QTest::newRow("last key wins") << QByteArray("[w]\r\nheight=1\r\nHeight=2\r\n")
                                       << QByteArray("w") << QByteArray("height") << 2;
        QTest::newRow("last section wins") << QByteArray("[w]\r\nh=1\r\n[W]\r\nh=2\r\n")
                                           << QByteArray("w") << QByteArray("h") << 2;
        QTest::newRow("earlier section not consulted")
            << QByteArray("[w]\r\nh=1\r\n[w]\r\nx=2\r\n") << QByteArray("w") << QByteArray("h")
            << kFallback;
        QTest::newRow("line without equals is no key")
            << QByteArray("[w]\r\nh=3\r\nh\r\n") << QByteArray("w") << QByteArray("h") << 3;
        QTest::newRow("value after first equals")
            << QByteArray("[w]\r\nh==5\r\n") << QByteArray("w") << QByteArray("h") << kFallback;
        QTest::newRow("missing section")
            << QByteArray("[w]\r\nh=5\r\n") << QByteArray("x") << QByteArray("h") << kFallback;
        QTest::newRow("missing key")
            << QByteArray("[w]\r\nh=5\r\n") << QByteArray("w") << QByteArray("x") << kFallback;
        QTest::newRow("high bytes compared exactly")
            << QByteArray("[\xe4]\r\n\xe4=1\r\n") << QByteArray("\xe4") << QByteArray("\xe4") << 1;
        QTest::newRow("high bytes not folded")
            << QByteArray("[\xe4]\r\n\xe4=1\r\n") << QByteArray("\xc4") << QByteArray("\xe4")
            << kFallback;
        QTest::newRow("name trimmed inside brackets")
            << QByteArray("[ w\t]\r\nh=4\r\n") << QByteArray("w") << QByteArray("h") << 4;
        QTest::newRow("control bytes trimmed")
            << QByteArray("\x01[w]\x1f\r\n\th\x0b=\x0b 7\x01\r\n") << QByteArray("w")
            << QByteArray("h") << 7;
        QTest::newRow("unclosed bracket is an entry")
            << QByteArray("[w]\r\n[x\r\nh=1\r\n") << QByteArray("w") << QByteArray("h") << 1;
        QTest::newRow("before first section")
            << QByteArray("h=9\r\n[w]\r\n") << QByteArray("w") << QByteArray("h") << kFallback;
        QTest::newRow("indented comment")
            << QByteArray("[w]\r\n  ;h=9\r\n") << QByteArray("w") << QByteArray("h") << kFallback;
        // An editor's UTF-8 byte-order mark before the first section.
        QTest::newRow("byte-order mark")
            << QByteArray("\xef\xbb\xbf[w]\r\nh=5\r\n") << QByteArray("w") << QByteArray("h") << 5;
        QTest::newRow("byte-order mark only at the start")
            << QByteArray("[w]\r\n\xef\xbb\xbfh=5\r\n") << QByteArray("w") << QByteArray("h")
            << kFallback;
    }
    void lookup()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        writeFile(path, content);
        IniDocument document;
        QCOMPARE(readSettings(path.toStdString(), document), ReadResult::Loaded);
        QCOMPARE(document.readInteger(view(section), view(key), kFallback), expected);
    }

    void freshFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        IniDocument document;
        QCOMPARE(readSettings(path.toStdString(), document), ReadResult::Missing);
        QCOMPARE(QByteArray::fromStdString(document.serialise()), QByteArray());
        SettingsFile settings = settingsAt(path);
        QCOMPARE(settings.found(), ReadResult::Missing);
        settings.store(kShutDownValues);
        QCOMPARE(settings.save(), WriteResult::Written);
        QCOMPARE(readFile(path), kFresh);
        QCOMPARE(entriesOf(dir.path()), QStringList { "settings.ini" });
        struct stat status { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0644u);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("empty file") << QByteArray() << kFresh;
        QTest::newRow("upper-case names kept")
            << QByteArray("[WINDOW]\r\nHEIGHT=600\r\n")
            << "[WINDOW]\r\n" + kWindowWritten + "\r\n[dev]\r\ndev_num=0\r\n\r\n";
        QTest::newRow("mixed-case section reused")
            << QByteArray("[Dev]\r\nDev_num=1\r\n")
            << "[Dev]\r\ndev_num=0\r\n\r\n[window]\r\n" + kWindowWritten + "\r\n";
        QTest::newRow("comments and blanks dropped, other sections kept")
            << QByteArray("; top\r\n[window]\r\n\r\n; note\r\nHeight=1\r\n[other]\r\n"
                          "foo = bar\r\nflag\r\n\r\n[dev]\r\ndev_num=3\r\n")
            << "[window]\r\n" + kWindowWritten
                + "\r\n[other]\r\nfoo=bar\r\nflag\r\n\r\n[dev]\r\ndev_num=0\r\n\r\n";
        QTest::newRow("entries replaced in place")
            << QByteArray("[window]\r\nwidth = 700\r\nTop=5\r\n")
            << QByteArray("[window]\r\nWidth=679\r\nTop=159\r\nHeight=526\r\nLeft=193\r\n\r\n"
                          "[dev]\r\ndev_num=0\r\n\r\n");
        QTest::newRow("only the last duplicate replaced")
            << QByteArray("[window]\r\nHeight=1\r\nheight=2\r\n")
            << QByteArray("[window]\r\nHeight=1\r\nHeight=526\r\nWidth=679\r\nTop=159\r\n"
                          "Left=193\r\n\r\n[dev]\r\ndev_num=0\r\n\r\n");
        QTest::newRow("only the last duplicate section changed")
            << QByteArray("[dev]\r\ndev_num=1\r\n[DEV]\r\nx=2\r\n")
            << QByteArray("[dev]\r\ndev_num=1\r\n\r\n[DEV]\r\nx=2\r\ndev_num=0\r\n\r\n[window]\r\n")
                + kWindowWritten + "\r\n";
        QTest::newRow("lone CR, lone LF, no final line end")
            << QByteArray("[x]\ra=1\nb=2\r\n\r\r[dev]\n\ndev_num=4\nend")
            << "[x]\r\na=1\r\nb=2\r\n\r\n[dev]\r\ndev_num=0\r\nend\r\n\r\n[window]\r\n"
                + kWindowWritten + "\r\n";
        QTest::newRow("lines before first section dropped")
            << QByteArray("Height=5\r\nstray\r\n[window]\r\n")
            << "[window]\r\n" + kWindowWritten + "\r\n[dev]\r\ndev_num=0\r\n\r\n";
        QTest::newRow("entries without equals kept")
            << QByteArray("[x]\r\n  just words \r\n[dev]\r\n=\r\n")
            << "[x]\r\njust words\r\n\r\n[dev]\r\n=\r\ndev_num=0\r\n\r\n[window]\r\n"
                + kWindowWritten + "\r\n";
        QTest::newRow("byte-order mark not written back")
            << QByteArray("\xef\xbb\xbf[x]\r\na=1\r\n")
            << "[x]\r\na=1\r\n\r\n[window]\r\n" + kWindowWritten + "\r\n[dev]\r\ndev_num=0\r\n\r\n";
        QTest::newRow("NUL and 0xFF carried through")
            << bytes("[\xff\0x]\r\na\0b=c\0\xff d\r\n\xff\0\xfe\r\n")
            << bytes("[\xff\0x]\r\na\0b=c\0\xff d\r\n\xff\0\xfe\r\n\r\n[window]\r\n")
                + kWindowWritten + "\r\n[dev]\r\ndev_num=0\r\n\r\n";
    }
    void roundTrip()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        writeFile(path, before);
        SettingsFile settings = settingsAt(path);
        QCOMPARE(settings.found(), ReadResult::Loaded);
        settings.store(kShutDownValues);
        QCOMPARE(settings.save(), WriteResult::Written);
        QCOMPARE(readFile(path), after);
        QCOMPARE(entriesOf(dir.path()), QStringList { "settings.ini" });
    }

    void loadFailure_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<ReadResult>("expected");
        QTest::addColumn<int>("height");
        using R = ReadResult;
        QTest::newRow("missing") << Obstacle::Missing << R::Missing << kFallback;
        QTest::newRow("dangling symlink") << Obstacle::DanglingSymlink << R::Missing << kFallback;
        QTest::newRow("directory") << Obstacle::Directory << R::Unreadable << kFallback;
        QTest::newRow("no permission") << Obstacle::NoPermission << R::Unreadable << kFallback;
        QTest::newRow("fifo") << Obstacle::Fifo << R::Unreadable << kFallback;
        QTest::newRow("one byte too large") << Obstacle::TooLarge << R::Unreadable << kFallback;
        QTest::newRow("largest allowed") << Obstacle::Largest << R::Loaded << 1;
    }
    void loadFailure()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(ReadResult, expected);
        QFETCH(int, height);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        const QByteArray native = QFile::encodeName(path);
        const QByteArray good = "[w]\r\nh=1\r\n";
        writeFile(path, good);
        IniDocument document;
        // Loaded first, so a failed load must also forget what was held.
        QCOMPARE(readSettings(path.toStdString(), document), ReadResult::Loaded);

        if (obstacle != Obstacle::NoPermission && obstacle != Obstacle::TooLarge
            && obstacle != Obstacle::Largest)
            QVERIFY(QFile::remove(path));
        switch (obstacle) {
        case Obstacle::Missing:
            break;
        case Obstacle::DanglingSymlink:
            QCOMPARE(::symlink("nowhere.ini", native.constData()), 0);
            break;
        case Obstacle::Directory:
            QVERIFY(QDir(dir.path()).mkdir("settings.ini"));
            break;
        case Obstacle::NoPermission:
            QCOMPARE(::chmod(native.constData(), 0), 0);
            break;
        case Obstacle::Fifo:
            QCOMPARE(::mkfifo(native.constData(), 0644), 0);
            break;
        case Obstacle::TooLarge:
        case Obstacle::Largest: {
            // Sparse, so the size costs no disk; the zeros read as one blank line.
            const auto size = tonalyx::settings::kMaxFileSize + (obstacle == Obstacle::TooLarge);
            QCOMPARE(::truncate(native.constData(), static_cast<off_t>(size)), 0);
            break;
        }
        }

        {
            // Root reads any file unless its capabilities are lowered.
            const tonalyx::testing::PermissionsApply permissions;
            if (obstacle == Obstacle::NoPermission) {
                QFile probe(path);
                if (probe.open(QIODevice::ReadOnly))
                    QSKIP("this user reads files whatever their permissions say");
            }
            QCOMPARE(readSettings(path.toStdString(), document), expected);
        }
        QCOMPARE(document.readInteger("w", "h", kFallback), height);
        if (expected != ReadResult::Loaded)
            QCOMPARE(QByteArray::fromStdString(document.serialise()), QByteArray());
    }

    // Whatever a start accepts, the close writes back in a form the next start reads, even with
    // every setting at its longest, although the written form can be twice as long.
    void writtenFileIsReadBack_data()
    {
        QTest::addColumn<Content>("content");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<ReadResult>("expected");
        using R = ReadResult;
        const qint64 always = tonalyx::settings::kAlwaysReadSize;
        QTest::newRow("16 MiB of four-byte entries")
            << Content::FourByteEntries << always << R::Loaded;
        QTest::newRow("16 MiB of empty sections") << Content::EmptySections << always << R::Loaded;
        // Already in the written form, where the program's settings at their longest add 116
        // bytes: the largest file that still fits once written, and one byte more.
        const qint64 largest = tonalyx::settings::kMaxFileSize - 116;
        QTest::newRow("largest that fits once written")
            << Content::OneLongEntry << largest << R::Loaded;
        QTest::newRow("one byte more") << Content::OneLongEntry << largest + 1 << R::Unreadable;
    }
    void writtenFileIsReadBack()
    {
        QFETCH(Content, content);
        QFETCH(qint64, size);
        QFETCH(ReadResult, expected);
        QByteArray bytes;
        switch (content) {
        case Content::FourByteEntries:
            bytes = "[s]\n" + QByteArray("a=b\n").repeated(int(size / 4 - 1));
            break;
        case Content::EmptySections:
            bytes = QByteArray("[]\n").repeated(int(size / 3)) + QByteArray(int(size % 3), '\n');
            break;
        case Content::OneLongEntry:
            bytes = "[s]\r\nk=" + QByteArray(int(size - 11), 'x') + "\r\n\r\n";
            break;
        }
        QCOMPARE(bytes.size(), size);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        writeFile(path, bytes);

        SettingsFile settings = settingsAt(path);
        QCOMPARE(settings.found(), expected);
        if (expected != ReadResult::Loaded)
            return;
        const SavedSettings longest { { INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN }, INT32_MIN };
        settings.store(longest);
        QCOMPARE(settings.save(), WriteResult::Written);
        const qint64 written = QFileInfo(path).size();
        qInfo("%lld bytes read, %lld written", static_cast<long long>(size),
            static_cast<long long>(written));

        const SettingsFile next = settingsAt(path);
        QCOMPARE(next.found(), ReadResult::Loaded);
        QVERIFY(next.values() == longest);
    }

    void savePermissions_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::newRow("0600") << 0600;
        QTest::newRow("0640") << 0640;
        QTest::newRow("0755") << 0755;
    }
    void savePermissions()
    {
        QFETCH(int, oldMode);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        const QByteArray native = QFile::encodeName(path);
        writeFile(path, "[w]\r\n");
        QCOMPARE(::chmod(native.constData(), static_cast<mode_t>(oldMode)), 0);
        const SettingsFile settings = settingsAt(path);
        QCOMPARE(settings.found(), ReadResult::Loaded);
        QCOMPARE(settings.save(), WriteResult::Written);
        struct stat status { };
        QCOMPARE(::stat(native.constData(), &status), 0);
        QCOMPARE(static_cast<int>(status.st_mode & 07777), oldMode);
    }

    void saveFailure_data()
    {
        QTest::addColumn<SaveObstacle>("obstacle");
        QTest::newRow("parent is a file") << SaveObstacle::ParentIsFile;
        QTest::newRow("target is a folder") << SaveObstacle::TargetIsFolder;
        QTest::newRow("read-only folder") << SaveObstacle::ReadOnlyFolder;
    }
    void saveFailure()
    {
        QFETCH(SaveObstacle, obstacle);
        QTemporaryDir dir;
        const QByteArray old = "[w]\r\nh=1\r\n";
        QString folder = dir.path();
        QString path;
        QString survivor; // a file whose bytes must not change
        switch (obstacle) {
        case SaveObstacle::ParentIsFile:
            survivor = dir.filePath("blocker");
            path = survivor + "/settings.ini";
            break;
        case SaveObstacle::TargetIsFolder:
            path = dir.filePath("settings.ini");
            QVERIFY(QDir(dir.path()).mkdir("settings.ini"));
            survivor = path + "/inner";
            break;
        case SaveObstacle::ReadOnlyFolder:
            QVERIFY(QDir(dir.path()).mkdir("locked"));
            folder = dir.filePath("locked");
            path = folder + "/settings.ini";
            survivor = path;
            break;
        }
        writeFile(survivor, old);
        if (obstacle == SaveObstacle::ReadOnlyFolder)
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        const QStringList entriesBefore = entriesOf(folder);

        SettingsFile settings = settingsAt(path);
        settings.store(kShutDownValues);
        bool saved = true;
        {
            // Root writes into any folder unless its capabilities are lowered.
            const tonalyx::testing::PermissionsApply permissions;
            saved = settings.save() == WriteResult::Written;
        }
        if (obstacle == SaveObstacle::ReadOnlyFolder)
            ::chmod(QFile::encodeName(folder).constData(), 0755);

        QVERIFY(!saved);
        QCOMPARE(entriesOf(folder), entriesBefore);
        QCOMPARE(readFile(survivor), old);
        if (obstacle == SaveObstacle::TargetIsFolder)
            QVERIFY(QFileInfo(path).isDir());
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
