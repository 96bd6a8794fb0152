// SPDX-License-Identifier: GPL-3.0-or-later
#include <QProcess>
#include <QTest>

// The real program started as from a terminal without any display: what it prints, and whether
// it goes on to open its window.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        // Matched against the whole of standard output, and of standard error.
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("errors");
        const QString help
            = QStringLiteral("Usage: \\S*tonalyx \\[options\\]\n"
                             "Audition the sounds of a General MIDI / GS synthesiser.\n\n"
                             "Options:\n"
                             "  -h, --help +Show this help and exit.\n"
                             "  -v, --version +Show the version and exit.\n");
        const QString version = QStringLiteral("tonalyx 1\\.0\\.0\\.0\n");
        // The window is what the program goes on to: here there is nothing to open it on.
        const QString noWindow = QStringLiteral("tonalyx: cannot open a window: no display .*\n");
        QTest::newRow("--help") << QStringList { "--help" } << 0 << help << "";
        QTest::newRow("-h") << QStringList { "-h" } << 0 << help << "";
        QTest::newRow("--version") << QStringList { "--version" } << 0 << version << "";
        QTest::newRow("-v") << QStringList { "-v" } << 0 << version << "";
        QTest::newRow("help after an unknown option")
            << QStringList { "--bogus", "--help" } << 0 << help << "";
        QTest::newRow("unknown option") << QStringList { "--bogus" } << 1 << "" << noWindow;
        QTest::newRow("unknown argument") << QStringList { "file.mid" } << 1 << "" << noWindow;
        // The toolkit's own options are words after one dash, not bundles of -h and -v.
        QTest::newRow("toolkit options")
            << QStringList { "-reverse", "-platformpluginpath", "/nowhere" } << 1 << "" << noWindow;
        QTest::newRow("none") << QStringList {} << 1 << "" << noWindow;
    }
    void answersWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QString, errors);

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TONALYX_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);

        const QString printed = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(output))
                     .match(printed)
                     .hasMatch(),
            qPrintable(printed));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(errors))
                     .match(complained)
                     .hasMatch(),
            qPrintable(complained));
        QCOMPARE(program.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
