// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/key_shape.h"
#include "ui/main_window.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using tonalyx::ui::KeyShape;
using tonalyx::ui::MainWindow;

namespace {
QString accessibleText(QWidget* widget, QAccessible::Text text)
{
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
    return control ? control->text(text) : QString();
}
} // namespace

// What a screen reader learns of each control, read through the toolkit's accessibility
// interface as an assistive technology reads it.
class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void controlsAreNamedForWhatTheyAre_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("first program") << "Button1"
                                       << "プログラム 1 グラウンドピアノ";
        QTest::newRow("last program") << "Button128"
                                      << "プログラム 128 銃声";
        QTest::newRow("first bank") << "Button129"
                                    << "バンク 0";
        QTest::newRow("last bank") << "Button256"
                                   << "バンク 127";
        QTest::newRow("middle C") << "Shape3"
                                  << "C4";
        QTest::newRow("black key above middle C") << "Shape41"
                                                  << "C#4";
        QTest::newRow("lowest key") << "Shape25"
                                    << "F2";
        QTest::newRow("lowest black key") << "Shape33"
                                          << "F#2";
        QTest::newRow("highest key") << "Shape56"
                                     << "C7";
        QTest::newRow("device switch") << "Button257"
                                       << "音源の変更";
        QTest::newRow("octave down") << "Button258"
                                     << "1オクターブ下げる";
        QTest::newRow("octave reset") << "Button259"
                                      << "オクターブを戻す";
        QTest::newRow("octave up") << "Button260"
                                   << "1オクターブ上げる";
        QTest::newRow("gs reset") << "Button262"
                                  << "GSリセット";
        // Named by the captions beside them.
        QTest::newRow("program readout") << "Edit1"
                                         << "プログラムナンバー";
        QTest::newRow("bank readout") << "Edit2"
                                      << "バンクセレクト";
        QTest::newRow("device readout") << "Edit3"
                                        << "音源名";
        QTest::newRow("tone readout") << "Edit4"
                                      << "楽器名";
        QTest::newRow("search clear button") << "FinderClear"
                                             << "検索語を消す";
    }
    void controlsAreNamedForWhatTheyAre()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        MainWindow window;
        auto* widget = window.findChild<QWidget*>(control);
        QVERIFY(widget != nullptr);
        QCOMPARE(accessibleText(widget, QAccessible::Name), name);
    }

    // Every button, key and readout, whatever its family: a name that no other control of the
    // window has, and a description of what it does.
    void everyControlIsNamedAndDescribed()
    {
        MainWindow window;
        QList<QWidget*> controls;
        for (auto* button : window.findChildren<QPushButton*>())
            controls.append(button);
        for (auto* key : window.findChildren<KeyShape*>())
            controls.append(key);
        for (auto* field : window.findChildren<QLineEdit*>())
            controls.append(field);
        controls.append(window.findChild<QWidget*>(QStringLiteral("FinderList")));
        controls.append(window.findChild<QWidget*>(QStringLiteral("FinderClear")));
        // Buttons, keys, command buttons, readouts, the tone finder's field, list and clear
        // button, and the drum page's set and sound buttons.
        QCOMPARE(controls.size(), 128 + 128 + 5 + 56 + 4 + 3 + 10 + 62);

        QSet<QString> names;
        for (auto* control : controls) {
            const QString name = accessibleText(control, QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!names.contains(name), qPrintable(name));
            names.insert(name);
            QVERIFY2(!accessibleText(control, QAccessible::Description).isEmpty(),
                qPrintable(control->objectName()));
        }
    }

    // Every key is a button that an assistive tool can press, though it takes no focus: its press
    // action reports the press and then the release of a click.
    void everyKeyIsAButtonThatAssistiveToolsPress()
    {
        MainWindow window;
        QStringList reported;
        for (const auto& key : window.keys()) {
            QObject::connect(key.shape, &KeyShape::mouseDown, [&] { reported << "down"; });
            QObject::connect(key.shape, &KeyShape::mouseUp, [&] { reported << "up"; });
        }
        for (const auto& key : window.keys()) {
            const QString name = key.shape->objectName();
            QAccessibleInterface* control = QAccessible::queryAccessibleInterface(key.shape);
            QVERIFY2(control != nullptr, qPrintable(name));
            QVERIFY2(control->role() == QAccessible::Button, qPrintable(name));
            QVERIFY2(!control->state().focusable, qPrintable(name));
            QAccessibleActionInterface* actions = control->actionInterface();
            QVERIFY2(actions != nullptr, qPrintable(name));
            QCOMPARE(
                actions->actionNames(), QStringList { QAccessibleActionInterface::pressAction() });
            reported.clear();
            actions->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(reported, (QStringList { "down", "up" }));
        }
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
