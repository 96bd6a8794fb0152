// SPDX-License-Identifier: GPL-3.0-or-later
// Presses land at pixel points of the window, so the keys' stacking decides which one sounds.
#define QTEST_QPA_MOUSE_HANDLING

#include "running_program.h"

#include <QPushButton>
#include <QTest>

using namespace tonalyx;
using Message = std::vector<std::uint8_t>;
using Messages = std::vector<Message>;

Q_DECLARE_METATYPE(Messages)

namespace {

Message noteOn(int note)
{
    return { 0x90, static_cast<std::uint8_t>(note), 0x7F };
}
Message noteOff(int note)
{
    return { 0x90, static_cast<std::uint8_t>(note), 0x00 };
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;

    QWidget& canvas() { return run_->window().canvas(); }
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(&canvas(), button, {}, at);
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(&canvas(), button, {}, at);
    }
    void clickOctave(QPushButton& button) { QTest::mouseClick(&button, Qt::LeftButton); }
    // The note that a press at this point sounds, read off the wire.
    int noteAt(QPoint at)
    {
        run_->recorder().clearCalls();
        press(at);
        release(at);
        const auto sent = run_->sentMessages();
        return sent.size() == 4 ? sent[2][1] : -1;
    }

private slots:
    void init()
    {
        run_ = std::make_unique<testing::RunningProgram>();
        QVERIFY(run_->ready);
    }
    void cleanup() { run_.reset(); }

    void pressAndReleasePlayTheCurrentSound()
    {
        const QPoint middleC(200, 420);
        press(middleC, Qt::RightButton);
        QCOMPARE(
            run_->sentMessages(), (Messages { { 0xB0, 0x00, 0x00 }, { 0xC0, 0x00 }, noteOn(60) }));
        run_->recorder().clearCalls();
        release(middleC, Qt::RightButton);
        QCOMPARE(run_->sentMessages(), (Messages { noteOff(60) }));
        // Keys never touch the readouts.
        QCOMPARE(run_->readouts(), (QStringList { "1", "0", "piano 1" }));
    }

    // Which key a point belongs to: black keys lie over the white ones, and of two white keys
    // sharing a pixel column the one created later wins.
    void pointsSoundTheTopmostKey_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("note");
        QTest::newRow("black key over the lowest white") << QPoint(28, 380) << 42;
        QTest::newRow("lowest white below the black keys") << QPoint(28, 420) << 41;
        QTest::newRow("lowest white, top left corner") << QPoint(16, 376) << 41;
        QTest::newRow("column shared by Shape25 and Shape24") << QPoint(32, 420) << 41;
        QTest::newRow("column shared by Shape1 and Shape3") << QPoint(192, 420) << 60;
        QTest::newRow("column shared by Shape15 and Shape26") << QPoint(416, 420) << 84;
        QTest::newRow("black key's last row") << QPoint(204, 408) << 61;
        QTest::newRow("white key under it") << QPoint(204, 409) << 60;
        QTest::newRow("highest key, last pixel") << QPoint(544, 432) << 96;
        QTest::newRow("below the keyboard") << QPoint(200, 433) << -1;
    }
    void pointsSoundTheTopmostKey()
    {
        QFETCH(QPoint, at);
        QFETCH(int, note);
        QCOMPARE(noteAt(at), note);
    }

    void octaveShiftReachesTheExtremes_data()
    {
        QTest::addColumn<int>("octaveButton");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("note");
        QTest::newRow("lowest key, down") << 258 << QPoint(20, 420) << 29;
        QTest::newRow("lowest key, none") << 259 << QPoint(20, 420) << 41;
        QTest::newRow("highest key, up") << 260 << QPoint(536, 420) << 108;
    }
    void octaveShiftReachesTheExtremes()
    {
        QFETCH(int, octaveButton);
        QFETCH(QPoint, at);
        QFETCH(int, note);
        auto* button
            = run_->window().findChild<QPushButton*>(QStringLiteral("Button%1").arg(octaveButton));
        QVERIFY(button);
        clickOctave(*button);
        QCOMPARE(noteAt(at), note);
    }

    // Set, not added; nothing sounds and no readout changes.
    void octaveButtonsSetTheShiftSilently()
    {
        auto& window = run_->window();
        clickOctave(window.octaveUpButton());
        clickOctave(window.octaveUpButton());
        QCOMPARE(run_->selection().octaveShift, 1);
        clickOctave(window.octaveNoneButton());
        QCOMPARE(run_->selection().octaveShift, 0);
        clickOctave(window.octaveDownButton());
        QCOMPARE(run_->selection().octaveShift, -1);
        QVERIFY(run_->sentMessages().empty());
        QCOMPARE(run_->readouts(), (QStringList { "1", "0", "piano 1" }));
    }

    // The key pressed last sets the pitch of the button previews too.
    void lastKeySetsThePitchOfButtonPreviews()
    {
        noteAt({ 20, 420 });
        auto* button5 = run_->window().findChild<QPushButton*>(QStringLiteral("Button5"));
        run_->recorder().clearCalls();
        QTest::mouseClick(button5, Qt::LeftButton);
        QCOMPARE(run_->sentMessages().back(), noteOff(41));

        clickOctave(run_->window().octaveUpButton());
        run_->recorder().clearCalls();
        QTest::mouseClick(button5, Qt::LeftButton);
        QCOMPARE(run_->sentMessages()[2], noteOn(53));
    }

    // The pressed key keeps the pointer: a release elsewhere still ends the note.
    void releaseOffTheKeyEndsTheNote()
    {
        press({ 200, 420 });
        run_->recorder().clearCalls();
        QTest::mouseMove(&canvas(), { 400, 200 });
        release({ 400, 200 });
        QCOMPARE(run_->sentMessages(), (Messages { noteOff(60) }));
    }

    // The release ends the note its press started, not the one a press would start now.
    void octaveChangeWhileHeldKeepsTheNoteOff()
    {
        press({ 200, 420 });
        QTest::keyClick(&run_->window().octaveUpButton(), Qt::Key_Space);
        run_->recorder().clearCalls();
        release({ 200, 420 });
        QCOMPARE(run_->sentMessages(), (Messages { noteOff(60) }));
    }

    void keysArePlainRectangles()
    {
        auto& window = run_->window();
        const auto* white = window.findChild<QWidget*>(QStringLiteral("Shape25"));
        const auto* black = window.findChild<QWidget*>(QStringLiteral("Shape33"));
        QVERIFY(white && black);
        QCOMPARE(white->geometry(), QRect(16, 376, 17, 57));
        QCOMPARE(black->geometry(), QRect(26, 376, 13, 33));
        QCOMPARE(white->focusPolicy(), Qt::NoFocus);
        QVERIFY(white->toolTip().isEmpty());

        const QImage image = window.canvas().grab().toImage();
        QCOMPARE(QColor(image.pixel(16, 376)), QColor(Qt::black)); // outline
        QCOMPARE(QColor(image.pixel(20, 420)), QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(30, 380)), QColor(Qt::black));
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
