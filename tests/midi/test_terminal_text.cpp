// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/terminal_text.h"

#include <QTest>

using namespace tonalyx;

class TestTerminalText : public QObject {
    Q_OBJECT

private slots:
    void controlsAreEscapedAndTextKept_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain path")
            << QByteArray("/home/me/a b.sf2") << QByteArray("/home/me/a b.sf2");
        QTest::newRow("colour escape and C0")
            << QByteArray("bad\x01\x1b[31m.sf2") << QByteArray("bad\\x01\\x1b[31m.sf2");
        QTest::newRow("line ends, tab and DEL")
            << QByteArray("a\nb\rc\td\x7f") << QByteArray("a\\x0ab\\x0dc\\x09d\\x7f");
        QTest::newRow("a zero byte") << QByteArray("a\0b", 3) << QByteArray("a\\x00b");
        QTest::newRow("backslash") << QByteArray("a\\x01") << QByteArray("a\\\\x01");
        QTest::newRow("UTF-8 kept") << QByteArray("音色 é €.sf2") << QByteArray("音色 é €.sf2");
        QTest::newRow("C1 control in UTF-8 (CSI)") << QByteArray("a\xc2\x9b"
                                                                 "31m")
                                                   << QByteArray("a\\xc2\\x9b31m");
        QTest::newRow("no-break space after C1 range")
            << QByteArray("a\xc2\xa0") << QByteArray("a\xc2\xa0");
        QTest::newRow("stray C1 byte of another encoding") << QByteArray("a\x9b"
                                                                         "31m")
                                                           << QByteArray("a\\x9b31m");
        QTest::newRow("Latin-1 letter kept") << QByteArray("caf\xe9") << QByteArray("caf\xe9");
        QTest::newRow("cut sequence before a control")
            << QByteArray("\xe3\x81\n") << QByteArray("\xe3\\x81\\x0a");
        QTest::newRow("overlong form of a control")
            << QByteArray("\xc0\x8a") << QByteArray("\xc0\\x8a");
    }
    void controlsAreEscapedAndTextKept()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, written);
        QCOMPARE(QByteArray::fromStdString(midi::escapedForTerminal(bytes.toStdString())), written);
    }
};

QTEST_APPLESS_MAIN(TestTerminalText)
#include "test_terminal_text.moc"
