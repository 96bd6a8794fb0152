// SPDX-License-Identifier: GPL-3.0-or-later
// The selection logic on its own, without the window: gestures and the MIDI input's messages in,
// wire bytes and readouts out.
#include "midi/midi_out_port.h"
#include "recording_backend.h"
#include "selection/held_notes.h"
#include "selection/midi_thru.h"
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

// The selection logic on one recorded device, with a MIDI input playing into it.
struct Selection {
    testing::RecordedDevices devices { { "Synth" } };
    midi::MidiOutPort port { devices.list() };
    RecordedReadouts shown;
    selection::HeldNotes held;
    selection::Previewer previewer { port, shown, held };
    selection::MidiThru thru { port, previewer, held };

    Selection() { port.open(0); }
};

// Runs one gesture written as "what value…", e.g. "programDown 4", "keyUp" or "input 91 3C 40"
// (a message arriving at the MIDI input, in hexadecimal). Mouse presses and releases are of the
// left button, or of the right one with "right" last ("pianoDown 0 right", "pianoUp right").
void perform(Selection& selection, const QString& gesture)
{
    auto& previewer = selection.previewer;
    const QStringList words = gesture.split(QLatin1Char(' '));
    const int value = words.size() > 1 ? words[1].toInt() : 0;
    const QString& what = words[0];
    const selection::Previewer::MouseButton mouse = words.last() == "right" ? 2 : 1;
    if (what == "input") {
        midi::ShortMessage message;
        for (qsizetype i = 1; i < words.size(); ++i)
            message.data[std::size_t(i - 1)] = std::uint8_t(words[i].toUInt(nullptr, 16));
        message.size = std::uint8_t(words.size() - 1);
        selection.thru.receive(message);
    } else if (what == "releaseInput")
        selection.thru.releaseHeld();
    else if (what == "inputGone")
        selection.thru.sourcesGone();
    else if (what == "programDown")
        previewer.programMouseDown(value, mouse);
    else if (what == "programKey")
        previewer.programKeyDown(value);
    else if (what == "bankDown")
        previewer.bankMouseDown(value, mouse);
    else if (what == "bankKey")
        previewer.bankKeyDown(value);
    else if (what == "buttonUp")
        previewer.buttonMouseUp(mouse);
    else if (what == "keyUp")
        previewer.buttonKeyUp();
    else if (what == "pianoDown")
        previewer.keyMouseDown(value, mouse);
    else if (what == "pianoUp")
        previewer.keyMouseUp(mouse);
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
        QTest::newRow("release after a shift ends the note its press started")
            << QStringList { "pianoDown 36", "octave 1", "pianoUp" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 96, 127 }, { 0x90, 96, 0 } }
            << QStringList {};
        QTest::newRow("each mouse button's release ends its own press")
            << QStringList { "pianoDown 0", "octave 1", "pianoDown 0 right", "pianoUp",
                   "pianoUp right" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 60, 127 }, { 0xB0, 0, 0 },
                   { 0xC0, 0 }, { 0x90, 72, 127 }, { 0x90, 60, 0 }, { 0x90, 72, 0 } }
            << QStringList {};
        QTest::newRow("after a switch the piano plays program 0 in bank 0")
            << QStringList { "programDown 4", "bankDown 8", "switched", "pianoDown 0" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0xB0, 0, 8 },
                   { 0xB0, 32, 0 }, { 0xC0, 4 }, { 0x90, 60, 127 }, { 0xB0, 0, 0 }, { 0xC0, 0 },
                   { 0x90, 60, 127 } }
            << QStringList { "5", "8", "Detuned EP 1" };

        // The MIDI input: any channel sounds on channel 1, in the selected tone.
        QTest::newRow("input notes, pressures, bend and controllers on channel 1")
            << QStringList { "input 93 40 64", "input A3 40 10", "input D3 20", "input E3 00 50",
                   "input B3 01 7F", "input 83 40 30" }
            << Messages { { 0x90, 0x40, 0x64 }, { 0xA0, 0x40, 0x10 }, { 0xD0, 0x20 },
                   { 0xE0, 0x00, 0x50 }, { 0xB0, 0x01, 0x7F }, { 0x80, 0x40, 0x30 } }
            << QStringList {};
        // Bank Select and Program Change from the input select as the two buttons would.
        QTest::newRow("input bank and program select with the buttons' bytes, no note")
            << QStringList { "input B5 00 08", "input B5 20 01", "input C5 04" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 4 }, { 0xB0, 0, 8 }, { 0xB0, 32, 0 },
                   { 0xC0, 4 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("input program change alone keeps the bank")
            << QStringList { "bankDown 8", "input C0 04" }
            << Messages { { 0xB0, 0, 8 }, { 0xB0, 32, 0 }, { 0xC0, 0 }, { 0x90, 60, 127 },
                   { 0xB0, 0, 8 }, { 0xC0, 4 }, { 0xB0, 0, 8 }, { 0xB0, 32, 0 }, { 0xC0, 4 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        // Neither ends a note that the other still holds, and the one starting a note the other
        // holds ends it first: never two Note Ons of one number outstanding.
        QTest::newRow("preview release keeps the input's note")
            << QStringList { "input 90 3C 50", "programDown 0", "buttonUp", "input 90 3C 00" }
            << Messages { { 0x90, 60, 0x50 }, { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 60, 0 },
                   { 0x90, 60, 127 }, { 0x90, 60, 0 } }
            << QStringList { "1", "0", "piano 1" };
        QTest::newRow("input release keeps the preview's note")
            << QStringList { "programDown 0", "input 90 3C 50", "input 80 3C 00", "buttonUp" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 60, 127 }, { 0x90, 60, 0 },
                   { 0x90, 60, 0x50 }, { 0x90, 60, 0 } }
            << QStringList { "1", "0", "piano 1" };
        QTest::newRow("input starts its own sounding note again")
            << QStringList { "input 90 3C 50", "input 91 3C 60", "input 80 3C 00" }
            << Messages { { 0x90, 60, 0x50 }, { 0x90, 60, 0 }, { 0x90, 60, 0x60 }, { 0x80, 60, 0 } }
            << QStringList {};
        // Before the device is left: the input's held notes and pedal end, once.
        QTest::newRow("held input notes and sustain end before a switch")
            << QStringList { "input 90 3C 50", "input 90 40 50", "input 80 3C 00", "input B0 40 7F",
                   "releaseInput", "releaseInput" }
            << Messages { { 0x90, 60, 0x50 }, { 0x90, 64, 0x50 }, { 0x80, 60, 0 },
                   { 0xB0, 64, 127 }, { 0x90, 64, 0 }, { 0xB0, 64, 0 } }
            << QStringList {};
        QTest::newRow("a note a preview holds too ends before a switch all the same")
            << QStringList { "programDown 0", "input 90 3C 50", "releaseInput" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 60, 127 }, { 0x90, 60, 0 },
                   { 0x90, 60, 0x50 }, { 0x90, 60, 0 } }
            << QStringList { "1", "0", "piano 1" };
        QTest::newRow("the input's notes end when its sources go, drums on their channel")
            << QStringList { "input 99 24 64", "input 92 3C 50", "inputGone", "inputGone" }
            << Messages { { 0x99, 36, 0x64 }, { 0x90, 60, 0x50 }, { 0x90, 60, 0 }, { 0x99, 36, 0 } }
            << QStringList {};
        QTest::newRow("nothing held from the input: nothing sent")
            << QStringList { "programDown 0", "releaseInput" }
            << Messages { { 0xB0, 0, 0 }, { 0xC0, 0 }, { 0x90, 60, 127 } }
            << QStringList { "1", "0", "piano 1" };
    }
    void gesturesSendTheirMessagesAndShowTheSelection()
    {
        QFETCH(QStringList, gestures);
        QFETCH(Messages, sent);
        QFETCH(QStringList, readouts);
        Selection selection;
        for (const auto& gesture : gestures)
            perform(selection, gesture);
        QCOMPARE(selection.devices.recorder().sentMessages(), sent);
        QCOMPARE(selection.shown.shown, readouts);
    }
};

QTEST_APPLESS_MAIN(TestPreviewer)
#include "test_previewer.moc"
