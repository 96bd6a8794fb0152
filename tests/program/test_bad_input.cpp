// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up with whatever may lie where the settings file should be, and devices whose names are
// not clean text: the program never crashes, says so where the file cannot be read, and starts
// usable.
#include "file_permissions.h"
#include "running_program.h"
#include "settings/settings_file.h"
#include "ui/preview_button.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tonalyx;
using testing::RecordingPlatform;
using testing::RunningProgram;
using Box = RecordingPlatform::Box;

namespace {

// What lies in the settings file's place before start-up.
enum class Obstacle {
    None, // the file holds the row's bytes
    TooLarge, // the row's bytes, then zeros up to one byte over the bound
    Largest, // the row's bytes, then zeros up to the bound exactly
    Folder,
    DanglingLink,
    LinkToEndlessDevice,
    Fifo,
    NoReadPermission,
};

// What close does to what lay there.
enum class AfterClose {
    Written, // replaced by the settings, read back the same by the next start
    Untouched, // left exactly as it was
};

// Keeps embedded NUL bytes, which QByteArray(const char*) would cut off.
template <std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// What a path holds, down to the last byte, without following a link.
QString describe(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status { };
    if (::lstat(native.constData(), &status) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("folder holding ")
            + QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(',');
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("fifo");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable file");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QStringLiteral("file of %1 bytes, mode %2, sha256 %3")
        .arg(status.st_size)
        .arg(status.st_mode & 07777, 0, 8)
        .arg(QString::fromLatin1(hash.result().toHex()));
}

QByteArray sections(int first, int last)
{
    QByteArray text;
    for (int i = first; i < last; ++i)
        text += "[s" + QByteArray::number(i) + "]\r\nk=" + QByteArray::number(i) + "\r\n";
    return text;
}

// A file read back the way start-up reads it.
QRect placementIn(const settings::IniDocument& file)
{
    return QRect(file.readInteger("window", "left", -1), file.readInteger("window", "top", -1),
        file.readInteger("window", "width", -1), file.readInteger("window", "height", -1));
}

} // namespace

Q_DECLARE_METATYPE(Obstacle)
Q_DECLARE_METATYPE(AfterClose)

class TestBadInput : public QObject {
    Q_OBJECT

private slots:
    void badSettingsFile_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("errorBox");
        QTest::addColumn<QRect>("placement");
        QTest::addColumn<int>("device");
        QTest::addColumn<AfterClose>("afterClose");
        QTest::addColumn<QByteArray>("kept"); // bytes the written file still holds
        QTest::addColumn<int>("sections"); // how many sections the written file holds

        const QRect defaults(193, 159, 679, 526);
        // NUL counts as blank at either end of a name or value, and as a byte like any other
        // inside one.
        QTest::newRow("NUL bytes")
            << Obstacle::None
            << bytes("[window]\0\r\nHei\0ght=300\r\nHeight=600\0\r\nWidth=7\0"
                     "00\r\n\0[dev]\r\ndev_num=1\0\0\r\n")
            << false << QRect(193, 159, 679, 600) << 1 << AfterClose::Written
            << bytes("Hei\0ght=300\r\n") << 2;
        QTest::newRow("invalid 8-bit text")
            << Obstacle::None
            << QByteArray("\xff\xfe[wind\xf6w]\r\nHeight=600\r\n[window]\r\nWidth=\xc3\x28 700\r\n"
                          "Left=\xff"
                          "40\r\nTop=30\r\n\xed\xa0\x80=1\r\n[dev]\r\ndev_num=\x80 1\r\n")
            << false << QRect(193, 30, 679, 526) << 0 << AfterClose::Written
            << QByteArray("\xed\xa0\x80=1\r\n") << 2;
        const QByteArray megabyte(1 << 20, '9');
        QTest::newRow("lines of 1 MB")
            << Obstacle::None
            << "[window]\r\nHeight=" + megabyte + "\r\nLeft=" + megabyte + "x\r\nWidth=700\r\n["
                + megabyte + "]\r\n" + megabyte + "\r\n[dev]\r\ndev_num=1\r\n"
            << false << QRect(193, 159, 700, 526) << 1 << AfterClose::Written
            << "[" + megabyte + "]\r\n" + megabyte + "\r\n"
            << 3;
        QTest::newRow("100,000 sections")
            << Obstacle::None
            << sections(0, 50000) + "[window]\r\nHeight=600\r\n" + sections(50000, 100000)
                + "[dev]\r\ndev_num=1\r\n"
            << false << QRect(193, 159, 679, 600) << 1 << AfterClose::Written
            << QByteArray("\r\n[s49999]\r\nk=49999\r\n\r\n[window]\r\n") << 100002;
        QTest::newRow("over the size bound")
            << Obstacle::TooLarge << QByteArray("[window]\r\nHeight=600\r\n") << true << defaults
            << 0 << AfterClose::Untouched << QByteArray() << 0;
        QTest::newRow("at the size bound")
            << Obstacle::Largest << QByteArray("[window]\r\nHeight=600\r\n") << false
            << QRect(193, 159, 679, 600) << 0 << AfterClose::Written << QByteArray() << 2;
        QTest::newRow("a folder") << Obstacle::Folder << QByteArray() << true << defaults << 0
                                  << AfterClose::Untouched << QByteArray() << 0;
        // A link to nothing is a file that is not there yet: no box, and the close writes the
        // file in the link's place.
        QTest::newRow("a dangling link")
            << Obstacle::DanglingLink << QByteArray() << false << defaults << 0
            << AfterClose::Written << QByteArray() << 2;
        QTest::newRow("a link to an endless device")
            << Obstacle::LinkToEndlessDevice << QByteArray() << true << defaults << 0
            << AfterClose::Untouched << QByteArray() << 0;
        QTest::newRow("a fifo without a writer")
            << Obstacle::Fifo << QByteArray() << true << defaults << 0 << AfterClose::Untouched
            << QByteArray() << 0;
        QTest::newRow("no read permission")
            << Obstacle::NoReadPermission << QByteArray("[window]\r\nHeight=600\r\n") << true
            << defaults << 0 << AfterClose::Untouched << QByteArray() << 0;
    }
    void badSettingsFile()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, errorBox);
        QFETCH(QRect, placement);
        QFETCH(int, device);
        QFETCH(AfterClose, afterClose);
        QFETCH(QByteArray, kept);
        QFETCH(int, sections);

        RunningProgram run({ "Synth A", "Synth B" }, RunningProgram::NotStarted {});
        const QTemporaryDir& folder = run.folder;
        const QString path = QString::fromStdString(run.settingsPath().string());
        const QByteArray native = QFile::encodeName(path);
        switch (obstacle) {
        case Obstacle::None:
        case Obstacle::TooLarge:
        case Obstacle::Largest:
        case Obstacle::NoReadPermission: {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), bytes.size());
            file.close();
            if (obstacle == Obstacle::TooLarge || obstacle == Obstacle::Largest) {
                // Sparse: the zeros cost no disk.
                const auto size = settings::kMaxFileSize + (obstacle == Obstacle::TooLarge);
                QCOMPARE(::truncate(native.constData(), static_cast<off_t>(size)), 0);
            }
            if (obstacle == Obstacle::NoReadPermission)
                QCOMPARE(::chmod(native.constData(), 0), 0);
            break;
        }
        case Obstacle::Folder:
            QVERIFY(QDir(folder.path()).mkpath("tonalyx.ini/inside"));
            break;
        case Obstacle::DanglingLink:
            QVERIFY(QFile::link(folder.filePath("nowhere.ini"), path));
            break;
        case Obstacle::LinkToEndlessDevice:
            QVERIFY(QFile::link("/dev/zero", path));
            break;
        case Obstacle::Fifo:
            QCOMPARE(::mkfifo(native.constData(), 0644), 0);
            break;
        }
        const QString before = describe(path);

        {
            const testing::PermissionsApply permissions;
            if (obstacle == Obstacle::NoReadPermission) {
                const int fd = ::open(native.constData(), O_RDONLY);
                if (fd >= 0) {
                    ::close(fd);
                    QSKIP("this user reads files whatever their permissions say");
                }
            }
            run.app->start(app::loadSettings(run.platform));
            run.platform.letTimePass();
        }

        const std::vector<Box> boxes = errorBox ? std::vector<Box> { { Box::Error,
                                           QStringLiteral("ファイル %1 は開けません.").arg(path) } }
                                                : std::vector<Box> {};
        QVERIFY(run.platform.boxes == boxes);
        QCOMPARE(run.window().outerGeometry(), placement);
        QCOMPARE(testing::ApplicationPeer::currentDevice(*run.app).number, device);
        QCOMPARE(run.window().deviceReadout().text(),
            device == 0 ? QStringLiteral("Synth A") : QStringLiteral("Synth B"));

        // Usable: a program button sounds on the device and shows its selection.
        auto& window = run.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        run.devices.recorder().clearCalls();
        QTest::mouseClick(window.programButtons()[4], Qt::LeftButton);
        const std::vector<std::uint8_t> press { 0xB0, 0x00, 0x00, 0xC0, 0x04, 0x90, 0x3C, 0x7F,
            0x90, 0x3C, 0x00 };
        QCOMPARE(run.devices.recorder().deliveredTo(device), press);
        QCOMPARE(window.programReadout().text(), QStringLiteral("5"));

        // The close always ends the program: an unreadable file is not written over.
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(run.platform.boxes.size(), boxes.size());
        if (afterClose == AfterClose::Untouched) {
            QCOMPARE(describe(path), before);
            return;
        }
        QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray all = written.readAll();
        QVERIFY(all.contains(kept));
        QCOMPARE(int(all.count("\r\n\r\n[") + all.startsWith('[')), sections);
        settings::IniDocument next;
        QCOMPARE(settings::readSettings(path.toStdString(), next), settings::ReadResult::Loaded);
        QCOMPARE(placementIn(next), placement);
        QCOMPARE(next.readInteger("dev", "dev_num", -1), device);
    }

    // Device names come from other programs and from hardware: whatever their bytes, the
    // readout shows one line of valid text, with what cannot be shown as replacement characters.
    void deviceNamesAreShownSafely_data()
    {
        QTest::addColumn<QByteArray>("field"); // the 32-byte name field as the system fills it
        QTest::addColumn<QString>("shown");
        const QString r(QChar::ReplacementCharacter);
        QTest::newRow("clean") << QByteArray("Synth") << QStringLiteral("Synth");
        QTest::newRow("C0 controls and escape sequence") << QByteArray(
            "Syn\x01th\x07\x1b[31mRed\x7f") << "Syn" + r + "th" + r + r + "[31mRed" + r;
        QTest::newRow("line breaks and tab")
            << QByteArray("Line1\nLine2\r\tX") << "Line1" + r + "Line2" + r + r + "X";
        QTest::newRow("C1 controls") << QByteArray("A\xc2\x85"
                                                   "B\xc2\x9b"
                                                   "C")
                                     << "A" + r + "B" + r + "C";
        QTest::newRow("Latin-1 bytes") << QByteArray("Caf\xe9 \xff") << "Caf" + r + " " + r;
        QTest::newRow("cut-off sequence") << QByteArray("\xc3\x28x") << r + "(x";
        QTest::newRow("overlong NUL") << QByteArray("a\xc0\x80"
                                                    "b")
                                      << "a" + r + r + "b";
        QTest::newRow("encoded surrogate") << QByteArray("a\xed\xa0\x80"
                                                         "b")
                                           << "a" + r + r + r + "b";
        QTest::newRow("line and paragraph separators") << QByteArray("a\xe2\x80\xa8"
                                                                     "b\xe2\x80\xa9"
                                                                     "c")
                                                       << "a" + r + "b" + r + "c";
        // Reversing the rest of a name could make it pass for another device's.
        QTest::newRow("bidirectional override") << QByteArray("x\xe2\x80\xae"
                                                              "1 htnyS")
                                                << "x" + r + "1 htnyS";
        QTest::newRow("bidirectional isolate") << QByteArray("x\xe2\x81\xa7"
                                                             "y\xe2\x81\xa9")
                                               << "x" + r + "y" + r;
        QTest::newRow("Japanese kept")
            << QByteArray("音源\xe3\x83\xa2ジュール") << QStringLiteral("音源モジュール");
        QTest::newRow("whole field, no zero byte, character cut at its end")
            << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123\xe9\x9f\xb3xyz").left(32)
            << "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123" + r + r;
    }
    void deviceNamesAreShownSafely()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, shown);
        RunningProgram program({ "Plain", field.toStdString() });
        QTest::mouseClick(&program.window().deviceSwitchButton(), Qt::LeftButton);

        const QString text = program.window().deviceReadout().text();
        QCOMPARE(text, shown);
        QVERIFY(program.platform.boxes.empty());
    }
};

QTEST_MAIN(TestBadInput)
#include "test_bad_input.moc"
