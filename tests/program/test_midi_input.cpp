// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI keyboard playing into the whole program: what reaches the device, what the readouts
// show, and what is left sounding when the device is left.
#include "running_program.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace tonalyx;
using testing::Bytes;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

// Lets the GUI thread take what arrived at the input.
void deliver()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

class TestMidiInput : public QObject {
    Q_OBJECT

private slots:
    // Notes sound on channel 1 in the selected tone; Bank Select and Program Change select, and
    // the readouts follow.
    void keyboardPlaysAndSelects()
    {
        testing::RunningProgram run;
        QVERIFY(run.ready);
        for (const Bytes& message : { Bytes { 0xB2, 0, 8 }, Bytes { 0xC2, 4 },
                 Bytes { 0x92, 64, 90 }, Bytes { 0x82, 64, 0 }, Bytes { 0xF8 } })
            run.recorder().play(message);
        deliver();
        QCOMPARE(run.sentMessages(),
            (Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0xB0, 0, 8 }, { 0xB0, 32, 0 }, { 0xC0, 4 },
                { 0x90, 64, 90 }, { 0x80, 64, 0 } }));
        QCOMPARE(run.readouts(), (QStringList { "5", "8", "Detuned EP 1" }));
    }

    // A Bank Select waits on its own input channel for a Program Change there, and what the user
    // selects in the window, or a device switch, clears it. The readouts give program and bank.
    void bankSelectWaitsOnItsOwnChannel_data()
    {
        QTest::addColumn<QString>("between");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("nothing between") << QString() << QStringList { "6", "127" };
        QTest::newRow("Bank Select on channel 10, Program Change on 1")
            << QString("channel 10") << QStringList { "6", "0" };
        QTest::newRow("a bank pressed") << QString("Button137") << QStringList { "6", "8" };
        QTest::newRow("a program pressed") << QString("Button3") << QStringList { "6", "0" };
        QTest::newRow("a device switch") << QString("switch") << QStringList { "6", "0" };
    }
    void bankSelectWaitsOnItsOwnChannel()
    {
        QFETCH(QString, between);
        QFETCH(QStringList, selected);
        testing::RunningProgram run({ "Synth A", "Synth B" });
        QVERIFY(run.ready);
        const std::uint8_t channel = between == "channel 10" ? 9 : 0;
        run.recorder().play(Bytes { std::uint8_t(0xB0 | channel), 0, 127 });
        deliver();
        if (between == "switch") {
            QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);
        } else if (between.startsWith("Button")) {
            const bool bank = between == "Button137";
            run.window().pageControl().setCurrentIndex(bank ? 1 : 0);
            auto* button = run.window().findChild<QPushButton*>(between);
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
        run.recorder().play(Bytes { 0xC0, 5 });
        deliver();
        QCOMPARE(run.readouts().mid(0, 2), selected);
    }

    // What the keyboard still holds ends on the device being left, before it is closed, on the
    // channel it sounds on (the drum channel keeps its notes and key pressures as they come); with
    // nothing held, leaving sends nothing.
    void heldNotesEndOnTheDeviceBeingLeft_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<Messages>("played");
        QTest::addColumn<Bytes>("leftDeviceHears");
        QTest::newRow("switch, a note and the pedal held")
            << false << Messages { { 0x90, 60, 80 }, { 0xB0, 64, 127 } }
            << Bytes { 0x90, 60, 80, 0xB0, 64, 127, 0x90, 60, 0, 0xB0, 64, 0 };
        QTest::newRow("switch, nothing held")
            << false << Messages { { 0x90, 60, 80 }, { 0x90, 60, 0 } }
            << Bytes { 0x90, 60, 80, 0x90, 60, 0 };
        QTest::newRow("close, a note held")
            << true << Messages { { 0x91, 67, 1 } } << Bytes { 0x90, 67, 1, 0x90, 67, 0 };
        QTest::newRow("switch, drums played on channel 10 stay there, one held")
            << false
            << Messages { { 0x99, 36, 100 }, { 0xA9, 36, 40 }, { 0x99, 38, 90 }, { 0x89, 38, 64 } }
            << Bytes { 0x99, 36, 100, 0xA9, 36, 40, 0x99, 38, 90, 0x89, 38, 64, 0x99, 36, 0 };
        QTest::newRow("close, a drum ended by its velocity 0")
            << true << Messages { { 0x99, 42, 70 }, { 0x99, 42, 0 } }
            << Bytes { 0x99, 42, 70, 0x99, 42, 0 };
    }
    void heldNotesEndOnTheDeviceBeingLeft()
    {
        QFETCH(bool, byClose);
        QFETCH(Messages, played);
        QFETCH(Bytes, leftDeviceHears);
        testing::RunningProgram run({ "Synth A", "Synth B" });
        QVERIFY(run.ready);
        for (const auto& message : played)
            run.recorder().play(message);
        deliver();
        if (byClose)
            QVERIFY(run.window().close());
        else
            QTest::mouseClick(&run.window().deviceSwitchButton(), Qt::LeftButton);
        QCOMPARE(run.recorder().deliveredTo(0), leftDeviceHears);
        QCOMPARE(run.recorder().callKinds().back(),
            byClose ? testing::RecordingBackend::CallKind::Close
                    : testing::RecordingBackend::CallKind::Send);
    }
};

QTEST_MAIN(TestMidiInput)
#include "test_midi_input.moc"
