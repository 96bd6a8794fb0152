// SPDX-License-Identifier: GPL-3.0-or-later
// The drum set page through the window: presses in, bytes on the drum channel out.
#define QTEST_QPA_MOUSE_HANDLING

#include "running_program.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>

using namespace tonalyx;
using Messages = std::vector<testing::Bytes>;

Q_DECLARE_METATYPE(Messages)

namespace {

constexpr int kDrumPage = 4;

void sendKey(QWidget* widget, QEvent::Type type, bool autoRepeat)
{
    QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestDrumPreviews : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;

    QPushButton* button(const QString& name)
    {
        run_->window().pageControl().setCurrentIndex(kDrumPage);
        auto* found = run_->window().findChild<QPushButton*>(name);
        Q_ASSERT(found);
        return found;
    }

    QString shown() { return run_->window().findChild<QLabel*>(QStringLiteral("Label10"))->text(); }

private slots:
    void init()
    {
        run_ = std::make_unique<testing::RunningProgram>();
        QVERIFY(run_->ready);
    }
    void cleanup() { run_.reset(); }

    // A set button selects its set on channel 10 and sounds its kick while held, a sound button
    // its key in the set selected; the mouse and a key held on a focused button (its repeats
    // sounding nothing) alike. The page shows the set and the sound played last, and its sound
    // buttons take the set's names; nothing else on the window changes.
    void pressesSoundOnTheDrumChannel_data()
    {
        QTest::addColumn<QString>("selectFirst");
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<Messages>("released");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QString>("kickCaption");
        const Messages kickEnds { { 0x99, 0x24, 0x00 } };
        QTest::newRow("Jazz set, mouse")
            << ""
            << "DrumSet6" << false << Messages { { 0xC9, 0x20 }, { 0x99, 0x24, 0x7F } } << kickEnds
            << "Jazz · 36 Jazz Kick 1"
            << "Jazz Kick 1";
        QTest::newRow("808 set, key")
            << ""
            << "DrumSet5" << true << Messages { { 0xC9, 0x19 }, { 0x99, 0x24, 0x7F } } << kickEnds
            << "808 · 36 808 Kick"
            << "808 Kick";
        QTest::newRow("set of program 128, key")
            << ""
            << "DrumSet10" << true << Messages { { 0xC9, 0x7F }, { 0x99, 0x24, 0x7F } } << kickEnds
            << "Older Map · 36 Kick Drum"
            << "Kick Drum";
        QTest::newRow("snare, mouse")
            << ""
            << "DrumSound38" << false << Messages { { 0x99, 0x26, 0x7F } }
            << Messages { { 0x99, 0x26, 0x00 } } << "Standard · 38 Snare 1"
            << "Kick Drum 1";
        QTest::newRow("snare in the Jazz set, key")
            << "DrumSet6"
            << "DrumSound38" << true << Messages { { 0x99, 0x26, 0x7F } }
            << Messages { { 0x99, 0x26, 0x00 } } << "Jazz · 38 Snare 1"
            << "Jazz Kick 1";
        QTest::newRow("highest key in the SFX set, mouse")
            << "DrumSet9"
            << "DrumSound88" << false << Messages { { 0x99, 0x58, 0x7F } }
            << Messages { { 0x99, 0x58, 0x00 } } << "SFX · 88 (No Sound)"
            << "(No Sound)";
    }
    void pressesSoundOnTheDrumChannel()
    {
        QFETCH(QString, selectFirst);
        QFETCH(QString, pressed);
        QFETCH(bool, byKey);
        QFETCH(Messages, sent);
        QFETCH(Messages, released);
        QFETCH(QString, shownAfter);
        QFETCH(QString, kickCaption);

        if (!selectFirst.isEmpty())
            QTest::mouseClick(button(selectFirst), Qt::LeftButton);
        const QStringList readouts = run_->readouts();
        run_->recorder().clearCalls();
        auto* target = button(pressed);
        if (byKey) {
            target->setFocus(Qt::TabFocusReason);
            sendKey(target, QEvent::KeyPress, false);
            for (int i = 0; i < 3; ++i) {
                sendKey(target, QEvent::KeyRelease, true);
                sendKey(target, QEvent::KeyPress, true);
            }
        } else {
            QTest::mousePress(target, Qt::LeftButton);
        }
        QCOMPARE(run_->sentMessages(), sent);
        QCOMPARE(shown(), shownAfter);
        QCOMPARE(button(QStringLiteral("DrumSound36"))->text(), kickCaption);

        run_->recorder().clearCalls();
        if (byKey)
            sendKey(target, QEvent::KeyRelease, false);
        else
            QTest::mouseRelease(target, Qt::LeftButton);
        QCOMPARE(run_->sentMessages(), released);
        QCOMPARE(run_->readouts(), readouts);
    }

    // While the drum page is shown, the on-screen keyboard plays the selected set on channel 10,
    // in the octave chosen, and the page shows the key; elsewhere it plays channel 1. A release
    // ends its own press's note wherever the page is by then, and a device switch ends it first.
    void keyboardPlaysTheDrumSetOnItsPage_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("selectFirst");
        QTest::addColumn<QString>("octave");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<Messages>("released");
        QTest::addColumn<QString>("shownAfter");
        const QPoint middleC(200, 420);
        const Messages middleCEnds { { 0x99, 0x3C, 0x00 } };
        QTest::newRow("middle C") << kDrumPage << ""
                                  << "" << middleC << "release"
                                  << Messages { { 0xC9, 0x00 }, { 0x99, 0x3C, 0x7F } }
                                  << middleCEnds << "Standard · 60 High Bongo";
        QTest::newRow("lowest key an octave down, Jazz set")
            << kDrumPage << "DrumSet6"
            << "Button258" << QPoint(20, 420) << "release"
            << Messages { { 0xC9, 0x20 }, { 0x99, 0x1D, 0x7F } }
            << Messages { { 0x99, 0x1D, 0x00 } } << "Jazz · 29 Scratch Push";
        QTest::newRow("highest key an octave up, beyond the drum map")
            << kDrumPage << ""
            << "Button260" << QPoint(536, 420) << "release"
            << Messages { { 0xC9, 0x00 }, { 0x99, 0x6C, 0x7F } }
            << Messages { { 0x99, 0x6C, 0x00 } } << "Standard · 108";
        QTest::newRow("released after leaving the page")
            << kDrumPage << ""
            << "" << middleC << "page left" << Messages { { 0xC9, 0x00 }, { 0x99, 0x3C, 0x7F } }
            << middleCEnds << "Standard · 60 High Bongo";
        QTest::newRow("ended by a device switch")
            << kDrumPage << ""
            << "" << middleC << "switch" << Messages { { 0xC9, 0x00 }, { 0x99, 0x3C, 0x7F } }
            << middleCEnds << "Standard";
        QTest::newRow("first page, released on the drum page")
            << 0 << ""
            << "" << middleC << "page left"
            << Messages { { 0xB0, 0x00, 0x00 }, { 0xC0, 0x00 }, { 0x90, 0x3C, 0x7F } }
            << Messages { { 0x90, 0x3C, 0x00 } } << "Standard";
    }
    void keyboardPlaysTheDrumSetOnItsPage()
    {
        QFETCH(int, page);
        QFETCH(QString, selectFirst);
        QFETCH(QString, octave);
        QFETCH(QPoint, at);
        QFETCH(QString, ending);
        QFETCH(Messages, sent);
        QFETCH(Messages, released);
        QFETCH(QString, shownAfter);

        if (!selectFirst.isEmpty())
            QTest::mouseClick(button(selectFirst), Qt::LeftButton);
        if (!octave.isEmpty())
            QTest::mouseClick(run_->window().findChild<QPushButton*>(octave), Qt::LeftButton);
        auto& pages = run_->window().pageControl();
        pages.setCurrentIndex(page);
        run_->recorder().clearCalls();
        QTest::mousePress(&run_->window().canvas(), Qt::RightButton, {}, at);
        QCOMPARE(run_->sentMessages(), sent);

        run_->recorder().clearCalls();
        if (ending == "page left")
            pages.setCurrentIndex(page == kDrumPage ? 0 : kDrumPage);
        if (ending == "switch") {
            run_->window().deviceSwitchButton().click();
            QCOMPARE(run_->sentMessages().front(), released.front());
            run_->recorder().clearCalls();
            released.clear();
        }
        QTest::mouseRelease(&run_->window().canvas(), Qt::RightButton, {}, at);
        QCOMPARE(run_->sentMessages(), released);
        QCOMPARE(shown(), shownAfter);
    }

    // In every set, each button shows its whole name, within the page.
    void everySetsNamesFitTheirButtons()
    {
        const auto fits = [](QPushButton* target) {
            QStyleOptionButton option;
            option.initFrom(target);
            const QRect contents
                = target->style()->subElementRect(QStyle::SE_PushButtonContents, &option, target);
            return target->fontMetrics().horizontalAdvance(target->text()) <= contents.width()
                && target->parentWidget()->rect().contains(target->geometry());
        };
        for (int set = 1; set <= 10; ++set) {
            auto* setButton = button(QStringLiteral("DrumSet%1").arg(set));
            QVERIFY2(fits(setButton), qPrintable(setButton->text()));
            QTest::mouseClick(setButton, Qt::LeftButton);
            for (int note = 27; note <= 88; ++note) {
                auto* sound = button(QStringLiteral("DrumSound%1").arg(note));
                QVERIFY2(fits(sound), qPrintable(sound->text()));
            }
        }
    }
};

QTEST_MAIN(TestDrumPreviews)
#include "test_drum_previews.moc"
