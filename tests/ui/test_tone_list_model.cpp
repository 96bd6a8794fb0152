// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tone_list_model.h"

#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QTest>

using tonalyx::ui::ToneListModel;

class TestToneListModel : public QObject {
    Q_OBJECT

private slots:
    // Each row: what is typed, how many tones and drum sets match, and the last of them as its
    // cells show it (program 1 to 128, bank or "Drum", name) with the program it sends (0 to
    // 127). The drum sets come after the tones.
    void showsMatchesAsRows_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("lastShown");
        QTest::addColumn<int>("lastProgram");
        QTest::newRow("nothing typed")
            << "" << 909 << QStringList { "128", "Drum", "Older Map" } << 127;
        QTest::newRow("program number as typed")
            << "41" << 4 << QStringList { "41", "127", "Echo Bell" } << 40;
        QTest::newRow("name") << "piano 1w" << 2 << QStringList { "5", "16", "E.Piano 1w" } << 4;
        QTest::newRow("tones and a drum set")
            << "jazz" << 5 << QStringList { "33", "Drum", "Jazz" } << 32;
        QTest::newRow("nothing found") << "zzz" << 0 << QStringList {} << -1;
    }
    void showsMatchesAsRows()
    {
        QFETCH(QString, query);
        QFETCH(int, count);
        QFETCH(QStringList, lastShown);
        QFETCH(int, lastProgram);

        ToneListModel model;
        const QAbstractItemModelTester tester(
            &model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Keeps a map of the rows, as a view does: a change the model did not announce leaves
        // it behind.
        QSortFilterProxyModel seen;
        seen.setSourceModel(&model);
        model.showMatches(QStringLiteral("strings"));
        QCOMPARE(seen.rowCount(), 34);
        model.showMatches(query);

        QCOMPARE(model.rowCount(), count);
        QCOMPARE(seen.rowCount(), count);
        QCOMPARE(model.columnCount(), int(ToneListModel::ColumnCount));
        if (count == 0)
            return;
        const int last = count - 1;
        QStringList shown;
        for (int column = 0; column < ToneListModel::ColumnCount; ++column) {
            const QModelIndex cell = model.index(last, column);
            shown.append(cell.data().toString());
            QCOMPARE(cell.data(ToneListModel::ProgramRole).toInt(), lastProgram);
            // A set sends no bank: its row has none to give.
            const bool drumSet = lastShown.at(1) == "Drum";
            QCOMPARE(cell.data(ToneListModel::DrumSetRole).toBool(), drumSet);
            QCOMPARE(cell.data(ToneListModel::BankRole).toString(),
                drumSet ? QString() : lastShown.at(1));
        }
        QCOMPARE(shown, lastShown);
    }
};

QTEST_GUILESS_MAIN(TestToneListModel)
#include "test_tone_list_model.moc"
