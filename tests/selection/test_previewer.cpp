// The selection logic on its own, without the window: gestures in, wire bytes and readouts out.
#include "midi/midi_out_port.h"
#include "recording_backend.h"
#include "selection/previewer.h"
#include "selection/readouts.h"

#include <QStringList>
#include <QTest>

using namespace tonalyx;
using testing::Bytes;
using Messages = std::vector<Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

class RecordedReadouts final : public selection::Readouts {
public:
    void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName) override
    {
        shown = { QString::fromUtf8(program.data(), qsizetype(program.size())),
            QString::fromUtf8(bank.data(), qsizetype(bank.size())),
            QString::fromUtf8(toneName.data(), qsizetype(toneName.size())) };
    }
    void showDeviceName(std::string_view) override { }

    QStringList shown;
};

// Runs one gesture written as "what value", e.g. "programDown 4" or "keyUp".
void perform(selection::Previewer& previewer, const QString& gesture)
{
    const QStringList words = gesture.split(QLatin1Char(' '));
    const int value = words.size() > 1 ? words[1].toInt() : 0;
    const QString& what = words[0];
    if (what == "programDown")
        previewer.programMouseDown(value);
    else if (what == "programKey")
        previewer.programKeyDown(value);
    else if (what == "bankDown")
        previewer.bankMouseDown(value);
    else if (what == "bankKey")
        previewer.bankKeyDown(value);
    else if (what == "buttonUp")
        previewer.buttonMouseUp();
    else if (what == "keyUp")
        previewer.buttonKeyUp();
    else if (what == "pianoDown")
        previewer.keyMouseDown(value);
    else if (what == "pianoUp")
        previewer.keyMouseUp();
    else if (what == "octave")
        previewer.setOctaveShift(value);
    else if (what == "switched")
        previewer.selectFirstProgramAndBank();
    else
        QFAIL(qPrintable("unknown gesture " + gesture));
}

} // namespace

class TestPreviewer : public QObject {
    Q_OBJECT

private slots:
    // Each row plays its gestures from the start state and pins everything the device receives
    // and what the readouts show at the end (nothing, if no gesture refreshed them).
    void gesturesSendTheirMessagesAndShowTheSelection_data()
    {
        QTest::addColumn<QStringList>("gestures");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<QStringList>("readouts");
        QTest::newRow("program press and release")
            << QStringList { "programDown 4", "buttonUp" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0x90, 60, 0 } }
            << QStringList { "5", "0", "E.Piano 1" };
        QTest::newRow("bank sends the current program again")
            << QStringList { "programDown 4", "bankDown 8" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0xB0, 0, 8 },
                   { 0xB0, 32, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("held key repeats once, its release ends the note")
            << QStringList { "programKey 5", "programKey 5", "bankKey 3", "keyUp" }
            << Messages { { 0xC0, 5 }, { 0x90, 60, 127 }, { 0x90, 60, 0 } }
            << QStringList { "6", "0", "E.Piano 2" };
        QTest::newRow("piano key sets the pitch, octave shifts it, no readout")
            << QStringList { "pianoDown -19", "pianoUp", "octave -1", "programDown 0" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 41, 127 }, { 0x90, 41, 0 },
                   { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 29, 127 } }
            << QStringList { "1", "0", "piano 1" };
        QTest::newRow("release after a shift ends the shifted note")
            << QStringList { "pianoDown 36", "octave 1", "pianoUp" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 96, 127 }, { 0x90, 108, 0 } }
            << QStringList {};
        QTest::newRow("after a switch the piano plays program 0 in bank 0")
            << QStringList { "programDown 4", "bankDown 8", "switched", "pianoDown 0" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0xB0, 0, 8 },
                   { 0xB0, 32, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0xB0, 0, 0 }, { 0xC0, 0 },
                   { 0x90, 60, 127 } }
            << QStringList { "5", "8", "Detuned EP 1" };
    }
    void gesturesSendTheirMessagesAndShowTheSelection()
    {
        QFETCH(QStringList, gestures);
        QFETCH(Messages, sent);
        QFETCH(QStringList, readouts);
        testing::RecordedDevices devices({ "Synth" });
        midi::MidiOutPort port(devices.list());
        QVERIFY(port.open(0));
        RecordedReadouts shown;
        selection::Previewer previewer(port, shown);
        for (const auto& gesture : gestures)
            perform(previewer, gesture);
        QCOMPARE(devices.recorder().sentMessages(), sent);
        QCOMPARE(shown.shown, readouts);
    }
};

QTEST_APPLESS_MAIN(TestPreviewer)
#include "test_previewer.moc"
