// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window to the widget under the pointer, as on a real display, so
// that the pressed button keeping the pointer is exercised rather than assumed.
#define QTEST_QPA_MOUSE_HANDLING

#include "running_program.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace tonalyx;
using Message = std::vector<std::uint8_t>;
using Messages = std::vector<Message>;

Q_DECLARE_METATYPE(Messages)
Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

constexpr int kProgramPage = 0;
constexpr int kBankPage = 1;

int pageOf(int buttonNumber)
{
    return buttonNumber <= 128 ? kProgramPage : kBankPage;
}

void sendKey(QWidget* widget, QEvent::Type type, Qt::Key key, bool autoRepeat)
{
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
    QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// A key held down on a real X11 keyboard: one press, then pairs of release and press marked
// as repeats, then the real release.
void holdKey(QWidget* widget, Qt::Key key, int repeats)
{
    sendKey(widget, QEvent::KeyPress, key, false);
    for (int i = 0; i < repeats; ++i) {
        sendKey(widget, QEvent::KeyRelease, key, true);
        sendKey(widget, QEvent::KeyPress, key, true);
    }
    sendKey(widget, QEvent::KeyRelease, key, false);
}

} // namespace

class TestButtonPreviews : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;

    QPushButton* button(int number)
    {
        run_->window().pageControl().setCurrentIndex(pageOf(number));
        auto* found
            = run_->window().findChild<QPushButton*>(QStringLiteral("Button%1").arg(number));
        Q_ASSERT(found);
        return found;
    }

    void click(int number)
    {
        QTest::mouseClick(button(number), Qt::LeftButton);
        run_->recorder().clearCalls();
    }

    void pressKeyOn(int number)
    {
        auto* target = button(number);
        target->setFocus();
        sendKey(target, QEvent::KeyPress, Qt::Key_A, false);
    }

    void releaseKeyOn(QWidget* widget) { sendKey(widget, QEvent::KeyRelease, Qt::Key_A, false); }

private slots:
    void init()
    {
        run_ = std::make_unique<testing::RunningProgram>();
        QVERIFY(run_->ready);
    }
    void cleanup() { run_.reset(); }

    // A mouse press previews whichever mouse button it is; program buttons send the bank first,
    // bank buttons the bank with its LSB and then the program.
    void mousePressPreviews_data()
    {
        QTest::addColumn<int>("selectFirst");
        QTest::addColumn<int>("pressed");
        QTest::addColumn<Qt::MouseButton>("mouseButton");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<QStringList>("readouts");
        const Messages program5InBank8 { { 0xB0, 0x00, 0x08 }, { 0xC0, 0x04 },
            { 0x90, 0x3C, 0x7F } };
        const QStringList detunedEp { "5", "8", "Detuned EP 1" };
        QTest::newRow("program, left")
            << 137 << 5 << Qt::LeftButton << program5InBank8 << detunedEp;
        QTest::newRow("program, right")
            << 137 << 5 << Qt::RightButton << program5InBank8 << detunedEp;
        QTest::newRow("program, middle")
            << 137 << 5 << Qt::MiddleButton << program5InBank8 << detunedEp;
        const Messages bank8OfProgram5 { { 0xB0, 0x00, 0x08 }, { 0xB0, 0x20, 0x00 }, { 0xC0, 0x04 },
            { 0x90, 0x3C, 0x7F } };
        QTest::newRow("bank, left") << 5 << 137 << Qt::LeftButton << bank8OfProgram5 << detunedEp;
        QTest::newRow("bank, right") << 5 << 137 << Qt::RightButton << bank8OfProgram5 << detunedEp;
        QTest::newRow("bank 127 then program 1")
            << 256 << 1 << Qt::LeftButton
            << Messages { { 0xB0, 0x00, 0x7F }, { 0xC0, 0x00 }, { 0x90, 0x3C, 0x7F } }
            << QStringList { "1", "127", "Acoustic Piano 1" };
        QTest::newRow("bank 0") << 1 << 129 << Qt::LeftButton
                                << Messages { { 0xB0, 0x00, 0x00 }, { 0xB0, 0x20, 0x00 },
                                       { 0xC0, 0x00 }, { 0x90, 0x3C, 0x7F } }
                                << QStringList { "1", "0", "piano 1" };
        QTest::newRow("a bank without a name")
            << 1 << 130 << Qt::LeftButton
            << Messages { { 0xB0, 0x00, 0x01 }, { 0xB0, 0x20, 0x00 }, { 0xC0, 0x00 },
                   { 0x90, 0x3C, 0x7F } }
            << QStringList { "1", "1", "" };
        QTest::newRow("bank 127 of program 128")
            << 128 << 256 << Qt::LeftButton
            << Messages { { 0xB0, 0x00, 0x7F }, { 0xB0, 0x20, 0x00 }, { 0xC0, 0x7F },
                   { 0x90, 0x3C, 0x7F } }
            << QStringList { "128", "127", "Jungle Tune" };
    }
    void mousePressPreviews()
    {
        QFETCH(int, selectFirst);
        QFETCH(int, pressed);
        QFETCH(Qt::MouseButton, mouseButton);
        QFETCH(Messages, sent);
        QFETCH(QStringList, readouts);

        click(selectFirst);
        auto* target = button(pressed);
        QTest::mousePress(target, mouseButton);
        QCOMPARE(run_->sentMessages(), sent);
        QCOMPARE(run_->readouts(), readouts);

        run_->recorder().clearCalls();
        QTest::mouseRelease(target, mouseButton);
        QCOMPARE(run_->sentMessages(), (Messages { { 0x90, 0x3C, 0x00 } }));
        QCOMPARE(run_->readouts(), readouts);
    }

    // However long a key is held on a focused button, it previews once and ends once.
    void heldKeyPreviewsOnce_data()
    {
        QTest::addColumn<int>("selectFirst");
        QTest::addColumn<int>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<Messages>("sent");
        QTest::addColumn<QStringList>("readouts");
        QTest::newRow("program, letter")
            << 137 << 5 << int(Qt::Key_A)
            << Messages { { 0xC0, 0x04 }, { 0x90, 0x3C, 0x7F }, { 0x90, 0x3C, 0x00 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("program, space bar")
            << 137 << 5 << int(Qt::Key_Space)
            << Messages { { 0xC0, 0x04 }, { 0x90, 0x3C, 0x7F }, { 0x90, 0x3C, 0x00 } }
            << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("program 128")
            << 129 << 128 << int(Qt::Key_A)
            << Messages { { 0xC0, 0x7F }, { 0x90, 0x3C, 0x7F }, { 0x90, 0x3C, 0x00 } }
            << QStringList { "128", "0", "Gun Shot" };
        QTest::newRow("bank") << 5 << 137 << int(Qt::Key_A)
                              << Messages { { 0xB0, 0x00, 0x08 }, { 0xB0, 0x20, 0x00 },
                                     { 0xC0, 0x04 }, { 0x90, 0x3C, 0x7F }, { 0x90, 0x3C, 0x00 } }
                              << QStringList { "5", "8", "Detuned EP 1" };
        QTest::newRow("program after bank 16")
            << 145 << 1 << int(Qt::Key_A)
            << Messages { { 0xC0, 0x00 }, { 0x90, 0x3C, 0x7F }, { 0x90, 0x3C, 0x00 } }
            << QStringList { "1", "16", "Piano 1d" };
    }
    void heldKeyPreviewsOnce()
    {
        QFETCH(int, selectFirst);
        QFETCH(int, focused);
        QFETCH(int, key);
        QFETCH(Messages, sent);
        QFETCH(QStringList, readouts);

        click(selectFirst);
        auto* target = button(focused);
        target->setFocus();
        holdKey(target, Qt::Key(key), 5);

        QCOMPARE(run_->sentMessages(), sent);
        QCOMPARE(run_->readouts(), readouts);
        QCOMPARE(run_->selection().keyHeld, false);
    }

    // A key released somewhere else leaves the held flag set: key presses on the buttons are then
    // ignored until a key release on one of them, and mouse presses are not affected.
    void keyReleasedElsewhereHoldsOffKeyPresses()
    {
        pressKeyOn(5);
        releaseKeyOn(&run_->window().programReadout());
        QCOMPARE(run_->selection().keyHeld, true);
        run_->recorder().clearCalls();

        pressKeyOn(6);
        QVERIFY(run_->sentMessages().empty());
        QCOMPARE(run_->readouts().first(), QStringLiteral("5"));

        QTest::mouseClick(button(7), Qt::LeftButton);
        QCOMPARE(run_->sentMessages().size(), std::size_t { 4 });
        run_->recorder().clearCalls();

        releaseKeyOn(button(6));
        QCOMPARE(run_->sentMessages(), (Messages { { 0x90, 0x3C, 0x00 } }));
        QCOMPARE(run_->selection().keyHeld, false);

        run_->recorder().clearCalls();
        pressKeyOn(6);
        QCOMPARE(run_->sentMessages(), (Messages { { 0xC0, 0x05 }, { 0x90, 0x3C, 0x7F } }));
    }

    // One held key on a bank button holds off the program buttons too, and the other way round.
    void heldFlagIsSharedByBothFamilies_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("then");
        QTest::newRow("bank, then program") << 137 << 5;
        QTest::newRow("program, then bank") << 5 << 137;
    }
    void heldFlagIsSharedByBothFamilies()
    {
        QFETCH(int, held);
        QFETCH(int, then);
        pressKeyOn(held);
        run_->recorder().clearCalls();
        pressKeyOn(then);
        QVERIFY(run_->sentMessages().empty());
        releaseKeyOn(button(then));
        QCOMPARE(run_->sentMessages(), (Messages { { 0x90, 0x3C, 0x00 } }));
        QCOMPARE(run_->selection().keyHeld, false);
    }

    // Tab moves down a column and on to the top of the next, and moving the focus sounds nothing.
    void tabMovesToTheNextColumnSilently_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("program 8 to 9") << 8 << "Button9";
        QTest::newRow("bank 7 to 8") << 136 << "Button137";
    }
    void tabMovesToTheNextColumnSilently()
    {
        QFETCH(int, from);
        QFETCH(QString, to);
        button(from)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), to);
        QVERIFY(run_->sentMessages().empty());
    }

    // The pressed button keeps the pointer: a release off the button still ends the note.
    void releaseOffTheButtonEndsTheNote()
    {
        auto* target = button(5);
        QTest::mousePress(target, Qt::LeftButton);
        run_->recorder().clearCalls();
        const QPoint farOff = target->rect().center() + QPoint(300, 200);
        QTest::mouseMove(target, farOff);
        QTest::mouseRelease(target, Qt::LeftButton, {}, farOff);
        QCOMPARE(run_->sentMessages(), (Messages { { 0x90, 0x3C, 0x00 } }));
    }

    // The second press of a double click previews again.
    void doubleClickPreviewsTwice()
    {
        QTest::mouseDClick(button(5), Qt::LeftButton);
        const Messages once { { 0xB0, 0x00, 0x00 }, { 0xC0, 0x04 }, { 0x90, 0x3C, 0x7F } };
        Messages twice = once;
        twice.push_back({ 0x90, 0x3C, 0x00 });
        twice.insert(twice.end(), once.begin(), once.end());
        twice.push_back({ 0x90, 0x3C, 0x00 });
        QCOMPARE(run_->sentMessages(), twice);
    }

    // Program buttons show their instrument as a hint; bank buttons have none.
    void hints_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("hint");
        QTest::newRow("first") << 1 << "グラウンドピアノ";
        QTest::newRow("full-width letters and space") << 15 << "Ｔｕｂｕｌａｒ　ベル";
        QTest::newRow("full-width brackets") << 97 << "氷雨（ＳＦＸ）";
        QTest::newRow("last") << 128 << "銃声";
        QTest::newRow("bank button") << 129 << "";
    }
    void hints()
    {
        QFETCH(int, number);
        QFETCH(QString, hint);
        QCOMPARE(button(number)->toolTip(), hint);
    }

    // The pointer entering a program or bank button, or the keyboard focus arriving there, tells
    // the device what its press would select, so that it can make ready; nothing is sent.
    void approachingAButtonPreparesItsPress_data()
    {
        QTest::addColumn<int>("selectFirst");
        QTest::addColumn<int>("approached");
        QTest::addColumn<bool>("byFocus");
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("program");
        QTest::newRow("pointer onto a program, bank 8 selected") << 137 << 5 << false << 8 << 4;
        QTest::newRow("pointer onto a bank, program 5 selected") << 5 << 137 << false << 8 << 4;
        QTest::newRow("focus onto program 128") << 129 << 128 << true << 0 << 127;
        QTest::newRow("focus onto bank 127") << 1 << 256 << true << 127 << 0;
    }
    void approachingAButtonPreparesItsPress()
    {
        QFETCH(int, selectFirst);
        QFETCH(int, approached);
        QFETCH(bool, byFocus);
        QFETCH(int, bank);
        QFETCH(int, program);
        click(selectFirst);
        auto* target = button(approached);
        const auto readouts = run_->readouts();
        run_->recorder().clearCalls();
        if (byFocus)
            target->setFocus(Qt::TabFocusReason);
        else
            QTest::mouseMove(target);
        QVERIFY(run_->recorder().calls().empty());
        const auto& prepared = run_->recorder().preparations();
        QVERIFY(!prepared.empty());
        QCOMPARE(prepared.back(), (testing::RecordingBackend::Preparation { 0, bank, program }));
        QCOMPARE(run_->readouts(), readouts);
    }

    // Captions in full-width digits, laid out column by column.
    void gridPlacesAndCaptions_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Button1") << 1 << QRect(8, 8, 33, 33) << "１";
        QTest::newRow("Button8") << 8 << QRect(8, 288, 33, 33) << "８";
        QTest::newRow("Button9") << 9 << QRect(48, 8, 33, 33) << "９";
        QTest::newRow("Button128") << 128 << QRect(608, 288, 33, 33) << "１２８";
        QTest::newRow("Button129") << 129 << QRect(8, 8, 33, 33) << "０";
        QTest::newRow("Button137") << 137 << QRect(48, 8, 33, 33) << "８";
        QTest::newRow("Button170") << 170 << QRect(208, 48, 33, 33) << "４１";
        QTest::newRow("Button256") << 256 << QRect(608, 288, 33, 33) << "１２７";
    }
    void gridPlacesAndCaptions()
    {
        QFETCH(int, number);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        auto* target = button(number);
        QCOMPARE(target->geometry(), geometry);
        QCOMPARE(target->text(), caption);
        const QString page = number <= 128 ? "TabSheet1" : "TabSheet2";
        QCOMPARE(target->parentWidget()->objectName(), page);
    }
};

QTEST_MAIN(TestButtonPreviews)
#include "test_button_previews.moc"
