// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/alsa/alsa_backend.h"
#include "midi/device_name.h"

#include <QTest>

using namespace tonalyx;

class TestDeviceName : public QObject {
    Q_OBJECT

private slots:
    void alsaAddressIsDropped_data()
    {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("midi through") << QByteArray("Midi Through:Midi Through Port-0 14:0")
                                      << QByteArray("Midi Through:Midi Through Port-0");
        QTest::newRow("three-digit client")
            << QByteArray("SC-8850:SC-8850 Part A 128:10") << QByteArray("SC-8850:SC-8850 Part A");
        QTest::newRow("jack name unchanged")
            << QByteArray("fluidsynth:midi_00") << QByteArray("fluidsynth:midi_00");
        QTest::newRow("numbers without colon kept")
            << QByteArray("Synth:Port 14") << QByteArray("Synth:Port 14");
        QTest::newRow("half an address kept")
            << QByteArray("Synth:Port 14:") << QByteArray("Synth:Port 14:");
        QTest::newRow("letters in address kept")
            << QByteArray("Synth:Port 1a:0") << QByteArray("Synth:Port 1a:0");
        QTest::newRow("no space") << QByteArray("14:0") << QByteArray("14:0");
    }
    void alsaAddressIsDropped()
    {
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, name);
        QCOMPARE(
            QByteArray::fromStdString(std::string(midi::withoutAlsaAddress(port.toStdString()))),
            name);
    }

    void namesAreCutWithoutSplittingACharacter_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("field");
        const QByteArray ascii33 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456";
        QTest::newRow("short") << QByteArray("Synth") << QByteArray("Synth");
        QTest::newRow("exactly 32") << ascii33.left(32) << ascii33.left(32);
        QTest::newRow("33 cut to 32") << ascii33 << ascii33.left(32);
        // "音" is three bytes: at bytes 31..33 it would be split, so it goes whole.
        const QByteArray threeByteAcross = ascii33.left(30) + "音";
        QTest::newRow("3-byte char across the end") << threeByteAcross << ascii33.left(30);
        const QByteArray threeByteFits = ascii33.left(29) + "音" + "x";
        QTest::newRow("3-byte char ending at 32") << threeByteFits << ascii33.left(29) + "音";
        const QByteArray fourByte = ascii33.left(29) + "\xF0\x9F\x8E\xB9";
        QTest::newRow("4-byte char across the end") << fourByte << ascii33.left(29);
        QTest::newRow("all 2-byte chars")
            << QByteArray("éééééééééééééééééééé") << QByteArray("éééééééééééééééé");
        const QByteArray latin1 = ascii33.left(31) + "\xE9\xE9";
        QTest::newRow("not utf-8 cut at 32") << latin1 << latin1.left(32);
    }
    void namesAreCutWithoutSplittingACharacter()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, field);
        const std::string whole = text.toStdString();
        const auto cut = midi::cutUtf8(whole, midi::kMaxDeviceNameBytes);
        QCOMPARE(QByteArray(cut.data(), qsizetype(cut.size())), field);
    }
};

QTEST_APPLESS_MAIN(TestDeviceName)
#include "test_device_name.moc"
