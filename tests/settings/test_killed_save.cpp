// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file when a save is killed at any moment: a whole file is left behind.
#include "folder_contents.h"
#include "settings/settings_file.h"
#include "settings_contents.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <random>
#include <thread>

using namespace tonalyx;

namespace {

using tonalyx::testing::entriesOf;
using tonalyx::testing::readFile;

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const auto value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

} // namespace

class TestKilledSave : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(TestKilledSave)
#include "test_killed_save.moc"
