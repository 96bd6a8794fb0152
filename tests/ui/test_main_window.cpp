// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"
#include "ui/tone_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QIcon>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <memory>

using tonalyx::ui::MainWindow;

namespace {

// The size of the canvas that holds every control; a client area at least this large needs no
// scroll bars.
constexpr QSize kContentSize { 665, 492 };

const QStringList kWindowControls { QStringLiteral("PageControl1"), QStringLiteral("Button257"),
    QStringLiteral("Button258"), QStringLiteral("Button259"), QStringLiteral("Button260"),
    QStringLiteral("Button262"), QStringLiteral("Edit1"), QStringLiteral("Edit2"),
    QStringLiteral("Edit3"), QStringLiteral("Edit4"), QStringLiteral("Label6"),
    QStringLiteral("Label7"), QStringLiteral("Label8"), QStringLiteral("Label9") };

const QStringList kReadouts { QStringLiteral("Edit1"), QStringLiteral("Edit2"),
    QStringLiteral("Edit3"), QStringLiteral("Edit4") };

QString exactly(const QString& text)
{
    return QRegularExpression::anchoredPattern(QRegularExpression::escape(text));
}

// The focused widget by the name of the control it belongs to: the tab control hands its focus
// to its tab bar, which counts as the tab control.
QString focusedControl()
{
    QWidget* focused = QApplication::focusWidget();
    if (!focused)
        return QStringLiteral("<none>");
    if (qobject_cast<QTabBar*>(focused) && qobject_cast<QTabWidget*>(focused->parentWidget()))
        return focused->parentWidget()->objectName();
    return focused->objectName().isEmpty() ? QString::fromLatin1(focused->metaObject()->className())
                                           : focused->objectName();
}

bool clipboardWorks()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString probe = QStringLiteral("clipboard probe");
    clipboard->setText(probe);
    return clipboard->text() == probe;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window_;

    template <typename Widget = QWidget> Widget* control(const QString& name)
    {
        auto* widget = window_->findChild<Widget*>(name);
        if (!widget)
            qWarning("no %s named %s", Widget::staticMetaObject.className(), qPrintable(name));
        return widget;
    }

    bool showAndActivate()
    {
        window_->show();
        window_->activateWindow();
        return QTest::qWaitForWindowActive(window_.get());
    }

    // The scroll area's client size is what the window's geometry gives it; the window has no
    // frame of its own.
    void resizeClient(const QSize& size)
    {
        window_->resize(size);
        QCoreApplication::processEvents();
    }

private slots:
    void init() { window_ = std::make_unique<MainWindow>(); }
    void cleanup() { window_.reset(); }

    void titleAndCaptionButtons()
    {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Tonalyx"));
        QVERIFY(showAndActivate());
        for (const Qt::WindowFlags flags :
            { window_->windowFlags(), window_->windowHandle()->flags() }) {
            QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
            QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        }
    }

    void controlsArePlacedAndCaptioned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("onVersionPage");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("textPattern");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("colour"); // invalid: the control keeps the palette's colour

        QFile table(QStringLiteral(TONALYX_EXPECTED_LAYOUT));
        QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!table.atEnd()) {
            const QString line = QString::fromUtf8(table.readLine()).chopped(1);
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList f = line.split(QLatin1Char('\t'));
            QVERIFY2(f.size() == 10, qPrintable(line));
            // A caption between slashes is a pattern; anything else is the exact text.
            const QString caption = f[6];
            const bool pattern = caption.size() > 1 && caption.startsWith(QLatin1Char('/'))
                && caption.endsWith(QLatin1Char('/'));
            QTest::newRow(qPrintable(f[0]))
                << f[0] << (f[1] == QLatin1String("version"))
                << QRect(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt())
                << (pattern ? caption.mid(1, caption.size() - 2) : exactly(caption)) << f[7].toInt()
                << (f[8] == QLatin1String("yes")) << (f[9].isEmpty() ? QColor() : QColor(f[9]));
        }
    }
    void controlsArePlacedAndCaptioned()
    {
        QFETCH(QString, name);
        QFETCH(bool, onVersionPage);
        QFETCH(QRect, geometry);
        QFETCH(QString, textPattern);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(QColor, colour);

        // Placed after the show, so that nothing laid out on the way moves a control.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

        QWidget* widget = control(name);
        QVERIFY(widget);
        QWidget* expectedParent
            = onVersionPage ? control(QStringLiteral("TabSheet3")) : window_->widget();
        QVERIFY(expectedParent);
        QCOMPARE(widget->parentWidget(), expectedParent);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // A label grows to show its whole caption, and never shrinks below its place.
            QCOMPARE(label->pos(), geometry.topLeft());
            QCOMPARE(label->height(), geometry.height());
            QVERIFY(label->width() >= geometry.width());
            QVERIFY(label->width() >= label->sizeHint().width());
        } else {
            QCOMPARE(widget->geometry(), geometry);
        }

        const QString text = widget->property("text").toString();
        QVERIFY2(QRegularExpression(textPattern).match(text).hasMatch(), qPrintable(text));

        QCOMPARE(widget->font().pixelSize(), pixelSize);
        QCOMPARE(widget->font().bold(), bold);
        if (colour.isValid())
            QCOMPARE(widget->palette().color(QPalette::WindowText), colour);
    }

    void tabsInOrderWithTheFirstCurrent()
    {
        auto* tabs = control<QTabWidget>(QStringLiteral("PageControl1"));
        QVERIFY(tabs);
        const QStringList names { QStringLiteral("TabSheet1"), QStringLiteral("TabSheet2"),
            QStringLiteral("TabSheet3"), QStringLiteral("TabSheet4"), QStringLiteral("TabSheet5") };
        const QStringList captions { QStringLiteral("プログラムナンバー"),
            QStringLiteral("バンクセレクト"), QStringLiteral("バージョン情報"),
            QStringLiteral("音色検索"), QStringLiteral("ドラムセット") };
        QCOMPARE(tabs->count(), names.size());
        for (int i = 0; i < tabs->count(); ++i) {
            QCOMPARE(tabs->widget(i)->objectName(), names[i]);
            QCOMPARE(tabs->tabText(i), captions[i]);
        }
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(tabs->currentWidget()->objectName(), names[0]);
    }

    void readoutsAreReadOnlyAndEmptyAtStart()
    {
        for (const QString& name : kReadouts) {
            auto* field = control<QLineEdit>(name);
            QVERIFY(field);
            QVERIFY2(field->isReadOnly(), qPrintable(name));
            QVERIFY2(field->text().isEmpty(), qPrintable(name));
        }
    }

    void windowFontIsTwelvePixels() { QCOMPARE(window_->font().pixelSize(), 12); }

    // Two letters on yellow, the first red at the upper left, the second blue at the lower right,
    // in both sizes.
    void iconIsCompiledInAtBothSizes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
    }
    void iconIsCompiledInAtBothSizes()
    {
        QFETCH(int, size);
        const QIcon icon = window_->windowIcon();
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        const auto countIn = [&](QRect area, QColor colour) {
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    count += QColor(image.pixel(x, y)) == colour;
            return count;
        };
        const int half = size / 2;
        const QRect upperLeft(0, 0, half, half);
        const QRect lowerRight(half, half, half, half);
        QCOMPARE(QColor(image.pixel(0, 0)), QColor(255, 255, 0));
        QVERIFY(countIn(upperLeft, Qt::red) > size);
        QCOMPARE(countIn(upperLeft, Qt::blue), 0);
        QVERIFY(countIn(lowerRight, Qt::blue) > size);
        QCOMPARE(countIn(lowerRight, Qt::red), 0);
    }

    // Every text is set in a face that has Japanese glyphs, not in a Latin fallback that would
    // draw the captions as boxes.
    void everyTextResolvesToAJapaneseFace()
    {
        const QStringList families = QFontDatabase::families();
        if (!std::any_of(families.begin(), families.end(),
                [](const QString& family) { return family.contains(QLatin1String("IPA")); }))
            QSKIP("No IPA font is installed");

        QList<QWidget*> widgets { window_.get() };
        widgets += window_->findChildren<QWidget*>();
        for (QWidget* widget : widgets) {
            const QString family = QFontInfo(widget->font()).family();
            QVERIFY2(family.contains(QLatin1String("IPA")),
                qPrintable(widget->objectName() + QLatin1String(" resolves to ") + family));
        }
    }

    // From the tab control, Tab walks the buttons of the page on show, then the fixed controls.
    void tabVisitsControlsInOrder_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("visited");
        const QStringList fixed { QStringLiteral("Button257"), QStringLiteral("Button258"),
            QStringLiteral("Button259"), QStringLiteral("Button260"), QStringLiteral("Button262"),
            QStringLiteral("Edit1"), QStringLiteral("Edit2"), QStringLiteral("Edit3"),
            QStringLiteral("Edit4"), QStringLiteral("PageControl1") };
        const auto backwards = [](const QStringList& forward) {
            QStringList backward(forward.rbegin() + 1, forward.rend());
            backward.append(QStringLiteral("PageControl1"));
            return backward;
        };
        QStringList programPage;
        for (int n = 1; n <= 128; ++n)
            programPage.append(QStringLiteral("Button%1").arg(n));
        programPage += fixed;
        QStringList bankPage;
        for (int n = 129; n <= 256; ++n)
            bankPage.append(QStringLiteral("Button%1").arg(n));
        bankPage += fixed;

        QTest::newRow("program page, tab") << 0 << int(Qt::Key_Tab) << programPage;
        QTest::newRow("program page, shift+tab")
            << 0 << int(Qt::Key_Backtab) << backwards(programPage);
        QTest::newRow("bank page, tab") << 1 << int(Qt::Key_Tab) << bankPage;
        QTest::newRow("version page, tab") << 2 << int(Qt::Key_Tab) << fixed;
        QTest::newRow("version page, shift+tab") << 2 << int(Qt::Key_Backtab) << backwards(fixed);
        const QStringList finderPage
            = QStringList { QStringLiteral("FinderEdit"), QStringLiteral("FinderList") } + fixed;
        QTest::newRow("finder page, tab") << 3 << int(Qt::Key_Tab) << finderPage;
        QTest::newRow("finder page, shift+tab")
            << 3 << int(Qt::Key_Backtab) << backwards(finderPage);
        QStringList drumPage;
        for (int n = 1; n <= 10; ++n)
            drumPage.append(QStringLiteral("DrumSet%1").arg(n));
        for (int n = 27; n <= 88; ++n)
            drumPage.append(QStringLiteral("DrumSound%1").arg(n));
        drumPage += fixed;
        QTest::newRow("drum page, tab") << 4 << int(Qt::Key_Tab) << drumPage;
    }
    void tabVisitsControlsInOrder()
    {
        QFETCH(int, page);
        QFETCH(int, key);
        QFETCH(QStringList, visited);

        control<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
        QVERIFY(showAndActivate());
        QCOMPARE(focusedControl(), QStringLiteral("PageControl1"));

        QStringList actual;
        for (qsizetype i = 0; i < visited.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            actual.append(focusedControl());
        }
        QCOMPARE(actual, visited);
    }

    // The finder's field and list lie inside their page, in the window's font, and the list
    // starts with every tone in program and bank order.
    void finderFitsItsPage()
    {
        auto* tabs = control<QTabWidget>(QStringLiteral("PageControl1"));
        QVERIFY(tabs);
        tabs->setCurrentIndex(3);
        QVERIFY(showAndActivate());
        QWidget* page = control(QStringLiteral("TabSheet4"));
        QVERIFY(page);
        QCOMPARE(tabs->currentWidget(), page);
        const QRect pageOnCanvas(page->mapTo(window_->widget(), QPoint(0, 0)), page->size());
        QVERIFY(QRect(8, 0, 657, 361).contains(pageOnCanvas));

        for (const QString& name : { QStringLiteral("FinderEdit"), QStringLiteral("FinderList") }) {
            QWidget* widget = control(name);
            QVERIFY(widget);
            QCOMPARE(widget->parentWidget(), page);
            QVERIFY(widget->isVisible());
            QVERIFY2(page->rect().contains(widget->geometry()), qPrintable(name));
            QCOMPARE(widget->font(), window_->font());
        }
        auto* list = control<tonalyx::ui::ToneListView>(QStringLiteral("FinderList"));
        QVERIFY(list);
        const QAbstractItemModel* model = list->model();
        QCOMPARE(model->rowCount(), 909);
        QCOMPARE(model->columnCount(), 3);
        const auto row = [model](int r) {
            return QStringList { model->index(r, 0).data().toString(),
                model->index(r, 1).data().toString(), model->index(r, 2).data().toString() };
        };
        QCOMPARE(row(0), (QStringList { "1", "0", "piano 1" }));
        QCOMPARE(row(1), (QStringList { "1", "8", "Piano 1w" }));
        QCOMPARE(row(898), (QStringList { "128", "127", "Jungle Tune" }));
        // All three columns show without scrolling sideways.
        QVERIFY(list->header()->length() <= list->viewport()->width());
    }

    // The list follows the field on every keystroke, whether the text comes as keys or from an
    // input method.
    void finderListsWhatIsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("throughInputMethod");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstName");
        QTest::newRow("keys") << "strings" << false << 34 << "Strings";
        QTest::newRow("keys, capitals") << "SLOW STRINGS" << false << 3 << "Slow Strings";
        QTest::newRow("full-width") << "ｓｔｒｉｎｇｓ" << true << 34 << "Strings";
        QTest::newRow("Japanese") << "バイオリン" << true << 4 << "Violin";
        QTest::newRow("number") << "４１" << true << 4 << "Violin";
        QTest::newRow("nothing matches") << "zzz" << false << 0 << "";
    }
    void finderListsWhatIsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(bool, throughInputMethod);
        QFETCH(int, rows);
        QFETCH(QString, firstName);
        control<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(3);
        QVERIFY(showAndActivate());
        auto* field = control<QLineEdit>(QStringLiteral("FinderEdit"));
        auto* list = control<tonalyx::ui::ToneListView>(QStringLiteral("FinderList"));
        QVERIFY(field && list);
        field->setFocus(Qt::TabFocusReason);

        if (throughInputMethod) {
            QInputMethodEvent commit;
            commit.setCommitString(typed);
            QApplication::sendEvent(field, &commit);
        } else {
            // Each keystroke narrows the list at once: never more rows after a key than before.
            int before = list->model()->rowCount();
            for (const QChar c : typed) {
                QTest::keyClicks(field, QString(c));
                QVERIFY(list->model()->rowCount() <= before);
                before = list->model()->rowCount();
            }
        }
        QCOMPARE(field->text(), typed);
        QCOMPARE(list->model()->rowCount(), rows);
        if (rows > 0)
            QCOMPARE(list->model()->index(0, 2).data().toString(), firstName);

        field->clear();
        QCOMPARE(list->model()->rowCount(), 909);
    }

    // Keys that edit a normal field leave a read-only one as it is.
    void readoutsIgnoreEditingKeys_data()
    {
        QTest::addColumn<QTestEventList>("keys");
        QTestEventList letters;
        letters.addKeyClicks(QStringLiteral("abc 9"));
        QTestEventList backspace;
        backspace.addKeyClick(Qt::Key_End);
        backspace.addKeyClick(Qt::Key_Backspace);
        QTestEventList deleteKey;
        deleteKey.addKeyClick(Qt::Key_Home);
        deleteKey.addKeyClick(Qt::Key_Delete);
        QTestEventList cut;
        cut.addKeyClick(Qt::Key_A, Qt::ControlModifier);
        cut.addKeyClick(Qt::Key_X, Qt::ControlModifier);
        QTestEventList paste;
        paste.addKeyClick(Qt::Key_A, Qt::ControlModifier);
        paste.addKeyClick(Qt::Key_V, Qt::ControlModifier);
        QTestEventList undo;
        undo.addKeyClick(Qt::Key_Z, Qt::ControlModifier);

        QTest::newRow("letters") << letters;
        QTest::newRow("backspace") << backspace;
        QTest::newRow("delete") << deleteKey;
        QTest::newRow("cut") << cut;
        QTest::newRow("paste") << paste;
        QTest::newRow("undo") << undo;
    }
    void readoutsIgnoreEditingKeys()
    {
        QFETCH(QTestEventList, keys);
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        QVERIFY(showAndActivate());

        for (const QString& name : kReadouts) {
            auto* field = control<QLineEdit>(name);
            QVERIFY(field);
            field->setText(QStringLiteral("piano 1"));
            field->setFocus(Qt::TabFocusReason);
            QVERIFY(field->hasFocus());
            keys.simulate(field);
            QCOMPARE(field->text(), QStringLiteral("piano 1"));
        }
    }

    void readoutTextCanBeCopied()
    {
        if (!clipboardWorks())
            QSKIP("The platform's clipboard does not keep text");
        QVERIFY(showAndActivate());

        for (const QString& name : kReadouts) {
            auto* field = control<QLineEdit>(name);
            QVERIFY(field);
            const QString text = QStringLiteral("SC-88 ") + name;
            field->setText(text);
            QGuiApplication::clipboard()->clear();
            field->setFocus(Qt::TabFocusReason);
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(), text);
        }
    }

    void clientSmallerThanTheControlsScrolls_data()
    {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::newRow("smaller both ways") << QSize(600, 400) << true << true;
        QTest::newRow("narrower") << QSize(600, 560) << true << false;
        QTest::newRow("shorter") << QSize(740, 400) << false << true;
        QTest::newRow("one pixel narrower")
            << QSize(kContentSize.width() - 1, 560) << true << false;
        QTest::newRow("exactly the controls") << kContentSize << false << false;
        QTest::newRow("larger") << QSize(900, 700) << false << false;
    }
    void clientSmallerThanTheControlsScrolls()
    {
        QFETCH(QSize, client);
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);

        QHash<QString, QRect> before;
        for (const QString& name : kWindowControls) {
            QWidget* widget = control(name);
            QVERIFY(widget);
            before.insert(name, widget->geometry());
        }

        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        resizeClient(client);
        QCOMPARE(window_->size(), client);

        QCOMPARE(window_->horizontalScrollBar()->isVisible(), horizontal);
        QCOMPARE(window_->verticalScrollBar()->isVisible(), vertical);

        // The canvas starts at the top left of the client, and the scroll range reaches every
        // control and no further.
        QWidget* canvas = window_->widget();
        QCOMPARE(canvas->mapTo(window_.get(), QPoint(0, 0)), QPoint(0, 0));
        const QSize viewport = window_->viewport()->size();
        if (horizontal)
            QCOMPARE(
                window_->horizontalScrollBar()->maximum(), kContentSize.width() - viewport.width());
        if (vertical)
            QCOMPARE(
                window_->verticalScrollBar()->maximum(), kContentSize.height() - viewport.height());

        for (const QString& name : kWindowControls)
            QCOMPARE(control(name)->geometry(), before.value(name));

        if (horizontal || vertical) {
            window_->horizontalScrollBar()->setValue(window_->horizontalScrollBar()->maximum());
            window_->verticalScrollBar()->setValue(window_->verticalScrollBar()->maximum());
            // Scrolled to the end, the far corner of the controls meets the far corner of the
            // viewport along each axis that scrolls.
            const QPoint corner = canvas->mapTo(
                window_->viewport(), QPoint(kContentSize.width(), kContentSize.height()));
            QCOMPARE(corner,
                QPoint(horizontal ? viewport.width() : kContentSize.width(),
                    vertical ? viewport.height() : kContentSize.height()));
        }
    }

    void outerGeometryReadsBackWhatWasSet_data()
    {
        QTest::addColumn<QRect>("outer");
        QTest::newRow("larger than the controls") << QRect(100, 120, 700, 550);
        QTest::newRow("smaller than the controls") << QRect(300, 200, 400, 300);
    }
    void outerGeometryReadsBackWhatWasSet()
    {
        QFETCH(QRect, outer);
        window_->setOuterGeometry(outer);
        QCOMPARE(window_->outerGeometry(), outer);

        // The window system reports the frame some time after the show; the window then makes
        // room for it inside the same outer rectangle.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QTRY_COMPARE(window_->outerGeometry(), outer);
    }

    void closeHandlerDecides_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("allow");
        QTest::newRow("handler refuses") << true << false;
        QTest::newRow("handler allows") << true << true;
        QTest::newRow("no handler") << false << true;
    }
    void closeHandlerDecides()
    {
        QFETCH(bool, installed);
        QFETCH(bool, allow);

        int asked = 0;
        if (installed)
            window_->setCloseHandler([&] {
                ++asked;
                return allow;
            });
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

        QCOMPARE(window_->close(), allow);
        QCOMPARE(window_->isVisible(), !allow);
        QCOMPARE(asked, installed ? 1 : 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
