// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/drum_sets.h"
#include "catalogue/tone_catalogue.h"
#include "catalogue/tone_search.h"

#include <QList>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <set>

using tonalyx::catalogue::tones;
using tonalyx::catalogue::ToneSearch;

class TestToneSearch : public QObject {
    Q_OBJECT

private slots:
    // Each row: what is typed, how many tones match, names among them, and the programs they all
    // come from (empty: not checked).
    void findsTones_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("among");
        QTest::addColumn<QList<int>>("programs");

        const QStringList strings { "Strings", "Slow Strings", "Syn. Strings 1", "Oud+Strings" };
        const QList<int> stringPrograms { 49, 50, 51, 52, 56, 98, 106 };
        QTest::newRow("name, lower case") << "strings" << 34 << strings << stringPrograms;
        QTest::newRow("name, capitals") << "STRINGS" << 34 << strings << stringPrograms;
        QTest::newRow("name, full-width") << "ｓｔｒｉｎｇｓ" << 34 << strings << stringPrograms;
        QTest::newRow("name, full-width capitals")
            << "ＳＴＲＩＮＧＳ" << 34 << strings << stringPrograms;

        const QStringList violins { "Violin", "Slow Violin", "Echo Bell" };
        QTest::newRow("hint") << "バイオリン" << 4 << violins << QList<int> { 41 };
        QTest::newRow("hint in hiragana") << "ばいおりん" << 4 << violins << QList<int> { 41 };
        QTest::newRow("hint, kanji")
            << "弦楽器" << 22 << QStringList { "Slow Strings", "OB Strings" }
            << QList<int> { 50, 51, 52 };
        QTest::newRow("hint with full-width letters, typed half-width")
            << "sfx" << 77 << QStringList { "Ice Rain", "Crystal" }
            << QList<int> { 97, 99, 100, 101, 102, 103, 104 };

        QTest::newRow("program number") << "41" << 4 << violins << QList<int> { 41 };
        QTest::newRow("program number, full-width") << "４１" << 4 << violins << QList<int> { 41 };
        QTest::newRow("program number and name")
            << "128 shot" << 2 << QStringList { "Gun Shot", "Big Shot" } << QList<int> { 128 };

        QTest::newRow("two words")
            << "slow strings" << 3
            << QStringList { "Slow Strings", "Slow Strings 2", "St.Slow Strings" }
            << QList<int> { 50 };
        QTest::newRow("two words, ideographic space")
            << "slow\u3000strings" << 3 << QStringList { "St.Slow Strings" } << QList<int> { 50 };
        QTest::newRow("two words, extra spaces")
            << "  strings   slow " << 3 << QStringList { "Slow Strings 2" } << QList<int> { 50 };
        QTest::newRow("word and number in name or program")
            << "ｐｉａｎｏ　２" << 7 << QStringList { "Piano 2", "Dance Piano", "E.Piano 2w" }
            << QList<int> { 2, 5, 6 };

        QTest::newRow("nothing typed")
            << "" << 899 << QStringList { "piano 1", "Jungle Tune" } << QList<int> {};
        QTest::newRow("spaces only") << " \u3000 " << 899 << QStringList {} << QList<int> {};
        QTest::newRow("no such name") << "zzz" << 0 << QStringList {} << QList<int> {};
        QTest::newRow("one word of two missing")
            << "strings zzz" << 0 << QStringList {} << QList<int> {};
        QTest::newRow("no such program") << "129" << 0 << QStringList {} << QList<int> {};
        QTest::newRow("number too large for any integer")
            << "99999999999999999999" << 0 << QStringList {} << QList<int> {};
        QTest::newRow("accented letter and control characters")
            << QString::fromLatin1("\xE3\x80\x01") << 0 << QStringList {} << QList<int> {};
    }
    void findsTones()
    {
        QFETCH(QString, query);
        QFETCH(int, count);
        QFETCH(QStringList, among);
        QFETCH(QList<int>, programs);

        const ToneSearch search;
        std::vector<std::uint16_t> matches { 1, 2, 3 }; // left from an earlier search
        search.find(query.toUtf8().toStdString(), matches);

        QCOMPARE(int(matches.size()), count);
        QVERIFY(std::is_sorted(matches.begin(), matches.end()));
        QVERIFY(std::adjacent_find(matches.begin(), matches.end()) == matches.end());
        QStringList names;
        std::set<int> found;
        for (const auto position : matches) {
            const auto& tone = tones()[position];
            names.append(QString::fromUtf8(tone.name.data(), qsizetype(tone.name.size())));
            found.insert(tone.program + 1); // as the rows count them, 1 to 128
        }
        for (const QString& name : among)
            QVERIFY2(names.contains(name), qPrintable(name));
        if (!programs.isEmpty())
            QCOMPARE(found, std::set<int>(programs.begin(), programs.end()));
    }

    // The drum sets are found by their names and by what they are, in either script, with the
    // tones' folding; a number finds none of them by its program.
    void findsDrumSets_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("found");
        const QStringList all { "Standard", "Room", "Power", "Electronic", "808", "Jazz", "Brush",
            "Orchestra", "SFX", "Older Map" };
        QTest::newRow("name") << "jazz" << QStringList { "Jazz" };
        QTest::newRow("name and kind, full-width capitals")
            << "ＪＡＺＺ　ＳＥＴ" << QStringList { "Jazz" };
        QTest::newRow("kind") << "drum" << all;
        QTest::newRow("kind in Japanese") << "ドラム" << all;
        QTest::newRow("kind in hiragana") << "どらむせっと" << all;
        QTest::newRow("nothing typed") << "" << all;
        QTest::newRow("digits of a name") << "808" << QStringList { "808" };
        QTest::newRow("program number of a set") << "33" << QStringList {};
        QTest::newRow("kind before the name") << "map drum" << QStringList { "Older Map" };
        QTest::newRow("one word across name and kind") << "jazzdrum" << QStringList {};
        QTest::newRow("a tone's name") << "piano" << QStringList {};
    }
    void findsDrumSets()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, found);

        const ToneSearch search;
        std::vector<std::uint8_t> matches { 1, 2 }; // left from an earlier search
        search.findDrumSets(query.toUtf8().toStdString(), matches);
        QStringList names;
        for (const auto position : matches) {
            const auto name = tonalyx::catalogue::drumSets()[position].name;
            names.append(QString::fromUtf8(name.data(), qsizetype(name.size())));
        }
        QCOMPARE(names, found);
    }

    // Bytes that are not UTF-8 (a field never sends them, a caller might) are kept as they are,
    // and do not stop the characters after them from being folded.
    void foldKeepsInvalidUtf8_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("folded");
        QTest::newRow("cut UTF-8 and control bytes")
            << QByteArray("\xE3\x80\x01") << QByteArray("\xE3\x80\x01");
        QTest::newRow("cut sequence, then full-width letters")
            << QByteArray("\xE3\x80ＡＢ") << QByteArray("\xE3\x80") + "ab";
        QTest::newRow("cut at the end") << QByteArray("Ａ\xEF\xBC") << QByteArray("a\xEF\xBC");
        QTest::newRow("stray continuation bytes")
            << QByteArray("\x80\xBFＺ\xA1") << QByteArray("\x80\xBF") + "z\xA1";
        QTest::newRow("overlong A, not lowered")
            << QByteArray("\xE0\x81\x81") << QByteArray("\xE0\x81\x81");
        QTest::newRow("overlong full-width A, not folded")
            << QByteArray("\xF0\x8F\xBC\xA1") << QByteArray("\xF0\x8F\xBC\xA1");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("\xED\xA0\x80");
        // Read as three-byte sequences, these would be "Ａ" and the ideographic space.
        QTest::newRow("a byte never in UTF-8, then continuation bytes")
            << QByteArray("\xFF\xBC\xA1") << QByteArray("\xFF\xBC\xA1");
        QTest::newRow("two-byte letter, then a continuation byte")
            << QByteArray("\xC3\x80\x80") << QByteArray("\xC3\x80\x80");
        QTest::newRow("hiragana after a lone lead byte")
            << QByteArray("\xC3ば") << QByteArray("\xC3バ");
    }
    void foldKeepsInvalidUtf8()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, folded);
        QCOMPARE(QByteArray::fromStdString(tonalyx::catalogue::foldForSearch(text.toStdString())),
            folded);
    }
};

QTEST_MAIN(TestToneSearch)
#include "test_tone_search.moc"
