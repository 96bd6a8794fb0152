// SPDX-License-Identifier: GPL-3.0-or-later
// Two gestures overlapping, as a person's two hands make them: every note started ends, however
// the one changes what the other would sound. Mouse events go through the window to the widget
// under the pointer, so that the pressed widget keeping the mouse is exercised rather than assumed.
#define QTEST_QPA_MOUSE_HANDLING

#include "running_program.h"
#include "ui/tone_list_view.h"

#include <QKeyEvent>
#include <QTabWidget>
#include <QTest>
#include <map>
#include <set>
#include <tuple>

using namespace tonalyx;

namespace {

constexpr int kFinderPage = 3;

struct Notes {
    QList<int> started;
    QList<int> unended;
};

// The notes these calls started, and those started more often than ended on the device and
// channel that sound them, each in rising order. A Note Off and a Note On of velocity 0 both end
// a note.
Notes notesOf(const std::vector<testing::RecordingBackend::Call>& calls)
{
    std::set<int> started;
    std::map<std::tuple<int, int, int>, int> onsLessOffs; // by device, channel and note
    for (const auto& call : calls) {
        if (call.kind != testing::RecordingBackend::CallKind::Send)
            continue;
        const auto& message = call.bytes;
        const int kind = message.at(0) & 0xF0;
        if (kind != 0x80 && kind != 0x90)
            continue;
        const int note = message.at(1);
        const bool on = kind == 0x90 && message.at(2) > 0;
        onsLessOffs[{ call.device, message.at(0) & 0x0F, note }] += on ? 1 : -1;
        if (on)
            started.insert(note);
    }
    std::set<int> unended;
    for (const auto& [where, balance] : onsLessOffs) {
        if (balance > 0)
            unended.insert(std::get<2>(where));
    }
    return { { started.begin(), started.end() }, { unended.begin(), unended.end() } };
}

Qt::Key keyNamed(const QString& name)
{
    if (name == "Down")
        return Qt::Key_Down;
    if (name == "Space")
        return Qt::Key_Space;
    if (name == "Tab" || name == "Ctrl+Tab")
        return Qt::Key_Tab;
    return Qt::Key_A;
}

void sendKey(QEvent::Type type, const QString& name)
{
    const Qt::Key key = keyNamed(name);
    const auto modifiers = name.startsWith("Ctrl+") ? Qt::ControlModifier : Qt::NoModifier;
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ")
        : key == Qt::Key_A                    ? QStringLiteral("a")
                                              : QString();
    QKeyEvent event(type, key, modifiers, text);
    QApplication::sendEvent(QApplication::focusWidget(), &event);
}

} // namespace

class TestEveryNoteEnds : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;

    ui::ToneListView& list() { return run_->window().toneList(); }

    // Where a step's target is: "key60" the on-screen key of that note (without a shift), "row1"
    // a row of the finder's list, else the control of that name, its page turned to first.
    std::pair<QWidget*, QPoint> place(const QString& target, bool turnToIt)
    {
        auto& window = run_->window();
        if (target.startsWith("key")) {
            const int x = target == "key60" ? 200 : 20; // middle C, else the lowest key, 41
            return { &window.canvas(), QPoint(x, 420) };
        }
        if (target.startsWith("row")) {
            const QModelIndex index = list().model()->index(target.mid(3).toInt(), 2);
            return { list().viewport(), list().visualRect(index).center() };
        }
        auto* widget = window.findChild<QWidget*>(target);
        Q_ASSERT(widget);
        for (int page = 0; turnToIt && !widget->isVisible() && page < window.pageControl().count();
             ++page)
            window.pageControl().setCurrentIndex(page);
        return { widget, widget->rect().center() };
    }

    // One step, written "what target…": "press key60 right", "release Button5 left", "doubleClick
    // key60 right", "focus Button260", "focus row0" (the list, that row current), "keyDown A",
    // "keyUp A", "keyClick Space", "search strings", "close" (the window).
    void perform(const QString& step)
    {
        const QStringList words = step.split(' ');
        const QString& what = words[0];
        const QString& target = words.value(1);
        const Qt::MouseButton mouse = words.value(2) == "right" ? Qt::RightButton : Qt::LeftButton;
        if (what == "press" || what == "release" || what == "doubleClick") {
            const auto [widget, at] = place(target, what == "press");
            if (what == "press")
                QTest::mousePress(widget, mouse, {}, at);
            else if (what == "release")
                QTest::mouseRelease(widget, mouse, {}, at);
            else
                QTest::mouseDClick(widget, mouse, {}, at);
        } else if (what == "focus" && target.startsWith("row")) {
            list().setFocus(Qt::TabFocusReason);
            list().setCurrentIndex(list().model()->index(target.mid(3).toInt(), 0));
        } else if (what == "focus") {
            place(target, true).first->setFocus(Qt::TabFocusReason);
        } else if (what == "keyDown" || what == "keyClick") {
            sendKey(QEvent::KeyPress, target);
        }
        if (what == "keyUp" || what == "keyClick")
            sendKey(QEvent::KeyRelease, target);
        if (what == "close")
            run_->window().close();
        if (what == "search") {
            run_->window().pageControl().setCurrentIndex(kFinderPage);
            QTest::keyClicks(&run_->window().toneSearchField(), target);
        }
    }

private slots:
    void init()
    {
        // Two devices, so that a switch leaves one for the other.
        run_ = std::make_unique<testing::RunningProgram>(std::vector<std::string> { "A", "B" });
        QVERIFY(run_->ready);
    }
    void cleanup() { run_.reset(); }

    // Each row holds one gesture, makes another in the meantime and lets go: whatever changed in
    // between, each release ends the note its own press started, and nothing is left sounding.
    void overlappingGesturesLeaveNothingSounding_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("started");
        QTest::newRow("key held on a program button, on-screen key clicked") << QStringList {
            "focus Button5", "keyDown A", "press key41", "release key41", "keyUp A"
        } << QList<int> { 41, 60 };
        QTest::newRow("bank button held with the right button, octave up by keyboard")
            << QStringList { "press Button137 right", "focus Button260", "keyClick Space",
                   "release Button137 right" }
            << QList<int> { 60 };
        QTest::newRow("Down held on the finder, on-screen key clicked")
            << QStringList { "search strings", "focus row0", "keyDown Down", "press key41",
                   "release key41", "keyUp Down" }
            << QList<int> { 41, 60 };
        QTest::newRow("Down held onto a drum set in the finder, device switched by mouse")
            << QStringList { "search jazz", "focus row3", "keyDown Down", "press Button257",
                   "release Button257", "keyUp Down" }
            << QList<int> { 36 };
        QTest::newRow("finder row held, the row changed by a key") << QStringList {
            "search strings", "press row0", "keyDown Down", "keyUp Down", "release row0"
        } << QList<int> { 60 };
        QTest::newRow("on-screen key held, octave up by keyboard") << QStringList { "press key60",
            "focus Button260", "keyClick Space", "release key60" } << QList<int> { 60 };
        QTest::newRow("on-screen key held, octave up, double click of another button")
            << QStringList { "press key60", "focus Button260", "keyClick Space",
                   "doubleClick key60 right", "release key60" }
            << QList<int> { 60, 72 };
        QTest::newRow("program button held, key held on the next button") << QStringList {
            "press Button5", "keyClick Tab", "keyDown A", "keyUp A", "release Button5"
        } << QList<int> { 60 };
        QTest::newRow("key held on a program button, page turned, on-screen key clicked")
            << QStringList { "focus Button5", "keyDown A", "keyClick Ctrl+Tab", "press key41",
                   "release key41", "keyUp A" }
            << QList<int> { 41, 60 };
        QTest::newRow("on-screen key held, device switched by keyboard")
            << QStringList { "focus Button257", "press key60", "keyClick Space", "release key60" }
            << QList<int> { 60 };
        QTest::newRow("key held on a program button, window closed")
            << QStringList { "focus Button5", "keyDown A", "close" } << QList<int> { 60 };
        QTest::newRow("drum sound held, device switched by keyboard") << QStringList {
            "press DrumSound38", "focus Button257", "keyClick Space", "release DrumSound38"
        } << QList<int> { 38 };
        QTest::newRow("key held on a drum set, device switched by mouse") << QStringList {
            "focus DrumSet6", "keyDown A", "press Button257", "release Button257", "keyUp A"
        } << QList<int> { 36 };
        QTest::newRow("drum set held, key held on a drum sound, window closed")
            << QStringList { "press DrumSet2", "focus DrumSound60", "keyDown A", "close" }
            << QList<int> { 36, 60 };
        QTest::newRow("key held on a program button, same key of the drum channel clicked")
            << QStringList { "focus Button5", "keyDown A", "press DrumSound60",
                   "release DrumSound60", "keyUp A" }
            << QList<int> { 60 };
    }
    void overlappingGesturesLeaveNothingSounding()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, started);
        for (const auto& step : steps)
            perform(step);
        const Notes notes = notesOf(run_->recorder().calls());
        QCOMPARE(notes.started, started);
        QCOMPARE(notes.unended, QList<int> {});
    }
};

QTEST_MAIN(TestEveryNoteEnds)
#include "test_every_note_ends.moc"
