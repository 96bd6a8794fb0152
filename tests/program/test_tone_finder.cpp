// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window to the widget under the pointer, as on a real display, so
// that the list keeping the pointer while a row is pressed is exercised rather than assumed.
#define QTEST_QPA_MOUSE_HANDLING

#include "running_program.h"
#include "ui/tone_list_view.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace tonalyx;
using Message = std::vector<std::uint8_t>;
using Messages = std::vector<Message>;

Q_DECLARE_METATYPE(Messages)
Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

constexpr int kFinderPage = 3;

struct Tone {
    int program; // as shown, 1 to 128
    int bank;
    QString name;
};

// What a row sends when it is pressed: its bank, the bank's LSB, its program and the note.
Messages preview(const Tone& tone, int note = 60)
{
    return { { 0xB0, 0x00, std::uint8_t(tone.bank) }, { 0xB0, 0x20, 0x00 },
        { 0xC0, std::uint8_t(tone.program - 1) }, { 0x90, std::uint8_t(note), 0x7F } };
}

Message noteOff(int note = 60)
{
    return { 0x90, std::uint8_t(note), 0x00 };
}

Messages followedBy(Messages messages, const Message& last)
{
    messages.push_back(last);
    return messages;
}

QStringList readoutsOf(const Tone& tone)
{
    return { QString::number(tone.program), QString::number(tone.bank), tone.name };
}

void sendKey(QWidget* widget, QEvent::Type type, Qt::Key key, bool autoRepeat)
{
    const QString text
        = key == Qt::Key_Return || key == Qt::Key_Enter ? QStringLiteral("\r") : QString();
    QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// How a held key's repeats arrive between its press and its release: from X11 by default, as pairs
// of release and press marked as repeats; elsewhere as marked presses alone; from X11 with
// detectable repeat, as the program asks for, as presses alone that the toolkit cannot mark.
enum class Repeats { MarkedPairs, MarkedPresses, UnmarkedPresses };

void holdKey(QWidget* widget, Qt::Key key, int repeats, Repeats how = Repeats::MarkedPairs)
{
    sendKey(widget, QEvent::KeyPress, key, false);
    for (int i = 0; i < repeats; ++i) {
        if (how == Repeats::MarkedPairs)
            sendKey(widget, QEvent::KeyRelease, key, true);
        sendKey(widget, QEvent::KeyPress, key, how != Repeats::UnmarkedPresses);
    }
    sendKey(widget, QEvent::KeyRelease, key, false);
}

const Tone kStrings { 49, 0, "Strings" };
const Tone kStrings2 { 49, 1, "Strings 2" };
const Tone kChamberStrings { 49, 2, "Chamber Strings" };
const Tone kChoirStrings { 49, 11, "Choir Strings" };
const Tone kOudStrings { 106, 28, "Oud+Strings" };
const Tone kHolsStrings { 98, 4, "Hols Strings" };
const Tone kViolin { 41, 0, "Violin" };
const Tone kSlowViolin { 41, 8, "Slow Violin" };
const Tone kEchoBell { 41, 127, "Echo Bell" };
const Tone kJungleTune { 128, 127, "Jungle Tune" };
const Tone kChorusJazzBass { 34, 8, "Chorus Jazz bass" };

// A drum set selected on channel 10 with its kick sounding, and that kick's end.
Messages drumSetPreview(int program)
{
    return { { 0xC9, std::uint8_t(program - 1) }, { 0x99, 0x24, 0x7F } };
}
const Message kKickOff { 0x99, 0x24, 0x00 };

} // namespace

Q_DECLARE_METATYPE(Tone)
Q_DECLARE_METATYPE(Repeats)

class TestToneFinder : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;

    ui::ToneListView& list() { return run_->window().toneList(); }
    QLineEdit& field() { return run_->window().toneSearchField(); }

    // Turns to the finder's page and types `text` into its field.
    void search(const QString& text)
    {
        run_->window().pageControl().setCurrentIndex(kFinderPage);
        field().setFocus(Qt::MouseFocusReason);
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            QTest::keyClicks(&field(), text);
        } else {
            // Japanese comes from an input method, committed as a whole.
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(&field(), &commit);
        }
        QCOMPARE(field().text(), text);
    }

    // The middle of a row's name, scrolled into view, in the coordinates of the list's viewport.
    QPoint rowPoint(int row)
    {
        const QModelIndex index = list().model()->index(row, 2);
        list().scrollTo(index);
        return list().visualRect(index).center();
    }

    // Makes `row` the current one without a key, then gives the list the focus.
    void focusRow(int row)
    {
        list().setFocus(Qt::TabFocusReason);
        list().setCurrentIndex(list().model()->index(row, 0));
    }

    void clickWindowButton(int number)
    {
        auto* button
            = run_->window().findChild<QPushButton*>(QStringLiteral("Button%1").arg(number));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

private slots:
    void init()
    {
        run_ = std::make_unique<testing::RunningProgram>();
        QVERIFY(run_->ready);
    }
    void cleanup() { run_.reset(); }

    // A press of any mouse button on a row sends its bank, bank LSB, program and a note at the
    // preview pitch, and the readouts show the row; the release ends the note.
    void mousePressPreviewsTheRow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row");
        QTest::addColumn<Qt::MouseButton>("mouseButton");
        QTest::addColumn<QPoint>("keyFirst"); // a keyboard key pressed before; null for none
        QTest::addColumn<int>("octaveButton"); // clicked before; 0 for none
        QTest::addColumn<Tone>("tone");
        QTest::addColumn<int>("note");
        QTest::newRow("strings, first row")
            << "strings" << 0 << Qt::LeftButton << QPoint() << 0 << kStrings << 60;
        QTest::newRow("strings, last row, right button")
            << "strings" << 33 << Qt::RightButton << QPoint() << 0 << kOudStrings << 60;
        QTest::newRow("Japanese, middle button")
            << "バイオリン" << 2 << Qt::MiddleButton << QPoint() << 0 << kSlowViolin << 60;
        QTest::newRow("bank 127") << "41" << 3 << Qt::LeftButton << QPoint() << 0 << kEchoBell
                                  << 60;
        QTest::newRow("last key and octave up")
            << "strings" << 1 << Qt::LeftButton << QPoint(20, 420) << 260 << kStrings2 << 53;
        QTest::newRow("octave down")
            << "strings" << 2 << Qt::LeftButton << QPoint() << 258 << kChamberStrings << 48;
    }
    void mousePressPreviewsTheRow()
    {
        QFETCH(QString, typed);
        QFETCH(int, row);
        QFETCH(Qt::MouseButton, mouseButton);
        QFETCH(QPoint, keyFirst);
        QFETCH(int, octaveButton);
        QFETCH(Tone, tone);
        QFETCH(int, note);

        if (!keyFirst.isNull())
            QTest::mouseClick(&run_->window().canvas(), Qt::LeftButton, {}, keyFirst);
        if (octaveButton != 0)
            clickWindowButton(octaveButton);
        search(typed);
        const QPoint at = rowPoint(row);
        run_->recorder().clearCalls();

        QTest::mousePress(list().viewport(), mouseButton, {}, at);
        QCOMPARE(run_->sentMessages(), preview(tone, note));
        QCOMPARE(run_->readouts(), readoutsOf(tone));
        QCOMPARE(run_->selection().currentProgram, tone.program - 1);
        QCOMPARE(run_->selection().currentBank, tone.bank);

        run_->recorder().clearCalls();
        QTest::mouseRelease(list().viewport(), mouseButton, {}, at);
        QCOMPARE(run_->sentMessages(), (Messages { noteOff(note) }));
        QCOMPARE(run_->readouts(), readoutsOf(tone));
    }

    // The list keeps the pointer while a row is pressed: the release ends the note wherever it
    // is, and a double click's second press previews again. A press below the last row, on no
    // row, sends nothing, and neither does its release.
    void mouseGesturesEndEveryNote_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<Messages>("sent");
        const Messages violin = preview(kViolin);
        QTest::newRow("drag off the list") << "drag off" << followedBy(violin, noteOff());
        QTest::newRow("drag to another row") << "drag to row" << followedBy(violin, noteOff());
        Messages twice = violin;
        twice.push_back(noteOff());
        twice.insert(twice.end(), violin.begin(), violin.end());
        twice.push_back(noteOff());
        QTest::newRow("double click") << "double click" << twice;
        QTest::newRow("below the rows") << "below" << Messages {};
    }
    void mouseGesturesEndEveryNote()
    {
        QFETCH(QString, gesture);
        QFETCH(Messages, sent);
        search(QStringLiteral("41"));
        QWidget* viewport = list().viewport();
        const QPoint first = rowPoint(0);
        run_->recorder().clearCalls();

        if (gesture == "drag off" || gesture == "drag to row") {
            QTest::mousePress(viewport, Qt::LeftButton, {}, first);
            // Off the list, onto the keyboard below the tab control; or onto the next row.
            const QPoint to = gesture == "drag off"
                ? viewport->mapFrom(&run_->window().canvas(), QPoint(200, 420))
                : rowPoint(1);
            QTest::mouseMove(viewport, to);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        } else if (gesture == "double click") {
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, first);
        } else {
            const QPoint below(first.x(), viewport->height() - 2);
            QVERIFY(!list().indexAt(below).isValid());
            QTest::mouseClick(viewport, Qt::LeftButton, {}, below);
        }
        QCOMPARE(run_->sentMessages(), sent);
    }

    // A held key moves from row to row and each row sounds in turn, its note ending before the
    // next starts; the release ends the last. Held where the list cannot move (its first or last
    // row, a list of one row), the key sounds its row once, for as long as it is held. Whichever
    // way the repeats come, nothing is left sounding.
    void heldKeyAuditionsRowAfterRow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<Repeats>("how");
        QTest::addColumn<QList<Tone>>("sounded");
        const auto pairs = Repeats::MarkedPairs;
        const QList<Tone> firstFour { kStrings2, kChamberStrings, kChoirStrings,
            Tone { 49, 12, "Strings+Horn" } };
        QTest::newRow("down, repeats as pairs")
            << "strings" << 0 << int(Qt::Key_Down) << 3 << pairs << firstFour;
        QTest::newRow("down, repeats as presses")
            << "strings" << 0 << int(Qt::Key_Down) << 3 << Repeats::MarkedPresses << firstFour;
        QTest::newRow("down, repeats unmarked")
            << "strings" << 0 << int(Qt::Key_Down) << 3 << Repeats::UnmarkedPresses << firstFour;
        QTest::newRow("up at the top")
            << "strings" << 1 << int(Qt::Key_Up) << 4 << pairs << QList<Tone> { kStrings };
        QTest::newRow("down past the end")
            << "41" << 2 << int(Qt::Key_Down) << 5 << pairs << QList<Tone> { kEchoBell };
        QTest::newRow("end") << "strings" << 0 << int(Qt::Key_End) << 0 << pairs
                             << QList<Tone> { kOudStrings };
        QTest::newRow("home") << "strings" << 33 << int(Qt::Key_Home) << 2 << pairs
                              << QList<Tone> { kStrings };
        QTest::newRow("page down to the end")
            << "41" << 0 << int(Qt::Key_PageDown) << 1 << pairs << QList<Tone> { kEchoBell };
        QTest::newRow("page up from the end")
            << "strings" << 33 << int(Qt::Key_PageUp) << 0 << pairs << QList<Tone>();
        const struct {
            const char* where;
            const char* typed;
            int row;
            Tone tone;
        } edges[] = { { "last row", "strings", 33, kOudStrings },
            { "first row", "strings", 0, kStrings }, { "one row", "jungle tune", 0, kJungleTune } };
        const std::pair<const char*, Qt::Key> keys[] = { { "down", Qt::Key_Down },
            { "up", Qt::Key_Up }, { "home", Qt::Key_Home }, { "end", Qt::Key_End } };
        for (const auto& edge : edges) {
            for (const auto& [name, key] : keys) {
                // Only a key that cannot move from the row: down and end at the last, up and
                // home at the first, any of them in a list of one.
                const bool towardsEnd = key == Qt::Key_Down || key == Qt::Key_End;
                if (edge.row > 0 ? !towardsEnd
                                 : edge.typed == QLatin1String("strings") && towardsEnd)
                    continue;
                for (const auto how : { pairs, Repeats::UnmarkedPresses }) {
                    QTest::addRow("%s held on the %s, repeats %s", name, edge.where,
                        how == pairs ? "as pairs" : "unmarked")
                        << edge.typed << edge.row << int(key) << 4 << how
                        << QList<Tone> { edge.tone };
                }
            }
        }
    }
    void heldKeyAuditionsRowAfterRow()
    {
        QFETCH(QString, typed);
        QFETCH(int, startRow);
        QFETCH(int, key);
        QFETCH(int, repeats);
        QFETCH(Repeats, how);
        QFETCH(QList<Tone>, sounded);

        search(typed);
        focusRow(startRow);
        run_->recorder().clearCalls();
        holdKey(&list(), Qt::Key(key), repeats, how);

        const Messages sent = run_->sentMessages();
        if (sounded.isEmpty()) {
            // A page up from the last row lands a page higher, on whichever row that is.
            const int row = list().currentIndex().row();
            QVERIFY(row > 0 && row < startRow);
            QCOMPARE(sent.size(), std::size_t { 5 });
            QCOMPARE(sent.back(), noteOff());
            return;
        }
        Messages expected;
        for (qsizetype i = 0; i < sounded.size(); ++i) {
            if (i > 0)
                expected.push_back(noteOff());
            const Messages one = preview(sounded[i]);
            expected.insert(expected.end(), one.begin(), one.end());
        }
        expected.push_back(noteOff());
        QCOMPARE(sent, expected);
        QCOMPARE(run_->readouts(), readoutsOf(sounded.back()));
        QCOMPARE(run_->selection().keyHeld, false);
    }

    // Enter previews the current row once, however long it is held.
    void enterPreviewsTheCurrentRow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<Repeats>("how");
        QTest::addColumn<int>("row");
        QTest::addColumn<Tone>("tone");
        const auto pairs = Repeats::MarkedPairs;
        QTest::newRow("return") << int(Qt::Key_Return) << 0 << pairs << 2 << kSlowViolin;
        QTest::newRow("return, held")
            << int(Qt::Key_Return) << 6 << pairs << 1 << Tone { 41, 1, "Violin Atk:" };
        QTest::newRow("keypad enter, held") << int(Qt::Key_Enter) << 3 << pairs << 3 << kEchoBell;
        QTest::newRow("return, held, repeats unmarked")
            << int(Qt::Key_Return) << 4 << Repeats::UnmarkedPresses << 3 << kEchoBell;
    }
    void enterPreviewsTheCurrentRow()
    {
        QFETCH(int, key);
        QFETCH(int, repeats);
        QFETCH(Repeats, how);
        QFETCH(int, row);
        QFETCH(Tone, tone);
        search(QStringLiteral("41"));
        focusRow(row);
        run_->recorder().clearCalls();
        holdKey(&list(), Qt::Key(key), repeats, how);
        QCOMPARE(run_->sentMessages(), followedBy(preview(tone), noteOff()));
        QCOMPARE(run_->readouts(), readoutsOf(tone));
        QCOMPARE(list().currentIndex().row(), row);
    }

    // Typing in the field never sounds, and neither do keys that only edit or leave it; keys on
    // the list other than the moving ones and Enter are silent too.
    void typingNeverSounds_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QTestEventList>("keys");
        QTest::addColumn<QString>("commit"); // text from an input method; empty for none
        QTestEventList letters;
        letters.addKeyClicks(QStringLiteral("slow strings"));
        QTestEventList editing;
        editing.addKeyClicks(QStringLiteral("violin"));
        editing.addKeyClick(Qt::Key_Backspace);
        editing.addKeyClick(Qt::Key_Home);
        editing.addKeyClick(Qt::Key_End);
        editing.addKeyClick(Qt::Key_A, Qt::ControlModifier);
        editing.addKeyClick(Qt::Key_Delete);
        QTestEventList enterAndArrows;
        enterAndArrows.addKeyClicks(QStringLiteral("41"));
        enterAndArrows.addKeyClick(Qt::Key_Return);
        enterAndArrows.addKeyClick(Qt::Key_Enter);
        enterAndArrows.addKeyClick(Qt::Key_Down);
        enterAndArrows.addKeyClick(Qt::Key_Up);
        QTestEventList typedOnList;
        typedOnList.addKeyClicks(QStringLiteral("s 5"));
        typedOnList.addKeyClick(Qt::Key_Left);
        typedOnList.addKeyClick(Qt::Key_Right);
        QTest::newRow("letters") << "field" << letters << "";
        QTest::newRow("editing keys") << "field" << editing << "";
        QTest::newRow("enter and arrows in the field") << "field" << enterAndArrows << "";
        QTest::newRow("input method") << "field" << QTestEventList() << "ストリング";
        QTest::newRow("letters on the list") << "list" << typedOnList << "";
    }
    void typingNeverSounds()
    {
        QFETCH(QString, target);
        QFETCH(QTestEventList, keys);
        QFETCH(QString, commit);
        search({});
        QWidget* widget = target == "field" ? static_cast<QWidget*>(&field()) : &list();
        widget->setFocus(Qt::TabFocusReason);
        run_->recorder().clearCalls();
        keys.simulate(widget);
        if (!commit.isEmpty()) {
            QInputMethodEvent event;
            event.setCommitString(commit);
            QApplication::sendEvent(widget, &event);
        }
        QVERIFY(run_->sentMessages().empty());
        QCOMPARE(run_->readouts(), (QStringList { "1", "0", "piano 1" }));
    }

    // The focus leaving the list while a key is down ends the note: its release would go
    // elsewhere.
    void focusLeavingTheListEndsTheNote()
    {
        search(QStringLiteral("strings"));
        focusRow(0);
        sendKey(&list(), QEvent::KeyPress, Qt::Key_Down, false);
        run_->recorder().clearCalls();
        QTest::keyClick(&list(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Button257"));
        QCOMPARE(run_->sentMessages(), (Messages { noteOff() }));
        QCOMPARE(run_->selection().keyHeld, false);
        run_->recorder().clearCalls();
        sendKey(QApplication::focusWidget(), QEvent::KeyRelease, Qt::Key_Down, false);
        QVERIFY(run_->sentMessages().empty());
    }

    // The other pages go on from the finder's selection: a bank button keeps its program, a
    // program button its bank, and the keyboard plays it.
    void otherPagesUseTheFinderSelection_data()
    {
        QTest::addColumn<int>("pressed"); // a button's number; 0 for a keyboard key
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<QStringList>("readouts");
        QTest::newRow("bank button 0") << 129
                                       << Messages { { 0xB0, 0x00, 0x00 }, { 0xB0, 0x20, 0x00 },
                                              { 0xC0, 0x28 }, { 0x90, 0x3C, 0x7F } }
                                       << QStringList { "41", "0", "Violin" };
        QTest::newRow("bank button 127") << 256
                                         << Messages { { 0xB0, 0x00, 0x7F }, { 0xB0, 0x20, 0x00 },
                                                { 0xC0, 0x28 }, { 0x90, 0x3C, 0x7F } }
                                         << QStringList { "41", "127", "Echo Bell" };
        QTest::newRow("program button 49")
            << 49 << Messages { { 0xB0, 0x00, 0x08 }, { 0xC0, 0x30 }, { 0x90, 0x3C, 0x7F } }
            << QStringList { "49", "8", "Orchestra" };
        QTest::newRow("keyboard key")
            << 0 << Messages { { 0xB0, 0x00, 0x08 }, { 0xC0, 0x28 }, { 0x90, 0x3C, 0x7F } }
            << readoutsOf(kSlowViolin);
    }
    void otherPagesUseTheFinderSelection()
    {
        QFETCH(int, pressed);
        QFETCH(Messages, sent);
        QFETCH(QStringList, readouts);
        search(QStringLiteral("slow violin"));
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, rowPoint(0));
        QCOMPARE(run_->readouts(), readoutsOf(kSlowViolin));

        auto& tabs = run_->window().pageControl();
        QWidget* target = &run_->window().canvas();
        QPoint at(200, 420); // middle C of the keyboard
        if (pressed != 0) {
            tabs.setCurrentIndex(pressed <= 128 ? 0 : 1);
            target
                = run_->window().findChild<QPushButton*>(QStringLiteral("Button%1").arg(pressed));
            QVERIFY(target);
            at = target->rect().center();
        }
        run_->recorder().clearCalls();
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QCOMPARE(run_->sentMessages(), sent);
        QCOMPARE(run_->readouts(), readouts);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    }

    // A drum set's row selects the set on channel 10 as its button on the drum page does and
    // sounds its kick until the release: no Bank Select, nothing on channel 1, the readouts left
    // alone, the drum page showing the set. A key held from a tone's row onto a set's, or back,
    // ends the row before on its own channel first.
    void drumSetRowSelectsTheSet_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row"); // pressed, or current before the key
        QTest::addColumn<int>("key"); // held with one repeat; 0 for a mouse press
        QTest::addColumn<Messages>("held");
        QTest::addColumn<Messages>("released");
        QTest::addColumn<QStringList>("readouts"); // empty: as before
        QTest::addColumn<QString>("drumPageShows");
        const QString jazz = QStringLiteral("Jazz · 36 Jazz Kick 1");
        QTest::newRow("mouse") << "jazz" << 4 << 0 << drumSetPreview(33) << Messages { kKickOff }
                               << QStringList {} << jazz;
        QTest::newRow("Enter") << "jazz" << 4 << int(Qt::Key_Enter) << drumSetPreview(33)
                               << Messages { kKickOff } << QStringList {} << jazz;
        Messages toneThenSet = preview(kChorusJazzBass);
        toneThenSet.push_back(noteOff());
        for (const auto& message : drumSetPreview(33))
            toneThenSet.push_back(message);
        QTest::newRow("Down from a tone's row onto a set's")
            << "jazz" << 2 << int(Qt::Key_Down) << toneThenSet << Messages { kKickOff }
            << readoutsOf(kChorusJazzBass) << jazz;
        Messages setThenTone = drumSetPreview(1);
        setThenTone.push_back(kKickOff);
        for (const auto& message : preview(kJungleTune))
            setThenTone.push_back(message);
        QTest::newRow("Up from a set's row onto a tone's")
            << "" << 900 << int(Qt::Key_Up) << setThenTone << Messages { noteOff() }
            << readoutsOf(kJungleTune) << QStringLiteral("Standard · 36 Kick Drum 1");
    }
    void drumSetRowSelectsTheSet()
    {
        QFETCH(QString, typed);
        QFETCH(int, row);
        QFETCH(int, key);
        QFETCH(Messages, held);
        QFETCH(Messages, released);
        QFETCH(QStringList, readouts);
        QFETCH(QString, drumPageShows);

        search(typed);
        if (readouts.isEmpty())
            readouts = run_->readouts();
        const QPoint at = rowPoint(row);
        run_->recorder().clearCalls();
        if (key == 0) {
            QTest::mousePress(list().viewport(), Qt::LeftButton, {}, at);
        } else {
            focusRow(row);
            sendKey(&list(), QEvent::KeyPress, Qt::Key(key), false);
            sendKey(&list(), QEvent::KeyPress, Qt::Key(key), false); // unmarked, as X11 repeats
        }
        QCOMPARE(run_->sentMessages(), held);
        QCOMPARE(run_->readouts(), readouts);
        QCOMPARE(
            run_->window().findChild<QLabel*>(QStringLiteral("Label10"))->text(), drumPageShows);

        run_->recorder().clearCalls();
        if (key == 0)
            QTest::mouseRelease(list().viewport(), Qt::LeftButton, {}, at);
        else
            sendKey(&list(), QEvent::KeyRelease, Qt::Key(key), false);
        QCOMPARE(run_->sentMessages(), released);
        QCOMPARE(run_->readouts(), readouts);
    }
};

QTEST_MAIN(TestToneFinder)
#include "test_tone_finder.moc"
