// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/platform.h"

#include <QTest>

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void boxCaptionIsTheExecutableName_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << "/usr/bin/tonalyx"
                               << "tonalyx";
        QTest::newRow("extension and case") << "/opt/TONALYX.Bin"
                                            << "Tonalyx";
        QTest::newRow("first full stop") << "/x/Tona.lyx.app"
                                         << "Tona";
        QTest::newRow("folder with a full stop") << "/a.b/MyTool"
                                                 << "Mytool";
    }
    void boxCaptionIsTheExecutableName()
    {
        QFETCH(QString, executable);
        QFETCH(QString, title);
        QCOMPARE(tonalyx::shell::applicationTitle(executable.toStdString()), title);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
