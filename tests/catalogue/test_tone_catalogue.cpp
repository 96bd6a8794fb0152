// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/tone_catalogue.h"

#include <QList>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr int kPrograms = 128;
constexpr int kBanks = 128;

// How many names each program has, programs 1 to 128 as displayed. A name slipped into the
// neighbouring program changes two of these.
constexpr int kNamesPerProgram[kPrograms] = {
    5, 4, 5, 3, 10, 5, 7, 8, 3, 2, 2, 5, 6, 2, 4, 7, // 1-16
    19, 7, 7, 7, 3, 7, 3, 4, 7, 8, 4, 12, 6, 7, 13, 6, // 17-32
    5, 8, 7, 8, 5, 3, 20, 28, 4, 3, 3, 2, 4, 7, 3, 2, // 33-48
    14, 6, 11, 5, 8, 3, 6, 17, 9, 5, 3, 3, 9, 11, 10, 9, // 49-64
    3, 5, 5, 3, 4, 2, 2, 4, 6, 7, 2, 5, 2, 3, 3, 2, // 65-80
    18, 33, 4, 4, 11, 4, 6, 8, 5, 8, 9, 8, 5, 4, 4, 7, // 81-96
    7, 7, 18, 11, 5, 18, 10, 8, 7, 9, 4, 7, 3, 3, 4, 8, // 97-112
    8, 4, 3, 7, 7, 9, 7, 10, 14, 3, 10, 7, 11, 13, 15, 7, // 113-128
};

// A slot as the user names it: program 1 to 128 as displayed, bank 0 to 127.
using Slot = std::pair<int, int>;

std::string_view nameAt(int displayedProgram, int bank)
{
    return tonalyx::catalogue::toneName(displayedProgram - 1, bank);
}

QString toQString(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Every named slot, grouped by its text.
std::map<std::string, std::set<Slot>> slotsByText()
{
    std::map<std::string, std::set<Slot>> places;
    for (int program = 1; program <= kPrograms; ++program) {
        for (int bank = 0; bank < kBanks; ++bank) {
            if (const auto name = nameAt(program, bank); !name.empty())
                places[std::string(name)].insert({ program, bank });
        }
    }
    return places;
}

int namesOfProgram(int displayedProgram)
{
    int count = 0;
    for (int bank = 0; bank < kBanks; ++bank)
        count += nameAt(displayedProgram, bank).empty() ? 0 : 1;
    return count;
}

int namesAtBanks(const QList<int>& banks)
{
    int count = 0;
    for (int program = 1; program <= kPrograms; ++program) {
        for (const int bank : banks)
            count += nameAt(program, bank).empty() ? 0 : 1;
    }
    return count;
}

QList<int> bankRange(int first, int last)
{
    QList<int> banks;
    for (int bank = first; bank <= last; ++bank)
        banks.append(bank);
    return banks;
}

} // namespace

class TestToneCatalogue : public QObject {
    Q_OBJECT

private slots:
    void namesByProgram_data();
    void namesByProgram();
    void onlyCapitalAndMt32Programs();
    void namesByBank_data();
    void namesByBank();
    void everyProgramHasBank_data();
    void everyProgramHasBank();
    void namesArePrintable();
    void lengthExtremes();
    void sharedTexts_data();
    void sharedTexts();
    void recurringTexts();
    void spotNames_data();
    void spotNames();
    void outsideTableIsEmpty_data();
    void outsideTableIsEmpty();
    void listAndLookupAgree();
};

void TestToneCatalogue::namesByProgram_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("count");
    for (int program = 1; program <= kPrograms; ++program)
        QTest::addRow("program %d", program) << program << kNamesPerProgram[program - 1];
}

void TestToneCatalogue::namesByProgram()
{
    QFETCH(int, program);
    QFETCH(int, count);
    QCOMPARE(namesOfProgram(program), count);
}

void TestToneCatalogue::onlyCapitalAndMt32Programs()
{
    QList<int> twoNamePrograms;
    int most = 0;
    int mostAt = 0;
    for (int program = 1; program <= kPrograms; ++program) {
        const int count = namesOfProgram(program);
        if (count == 2)
            twoNamePrograms.append(program);
        if (count > most) {
            most = count;
            mostAt = program;
        }
    }
    QCOMPARE(twoNamePrograms, QList<int>({ 10, 11, 14, 44, 48, 70, 71, 75, 77, 80 }));
    QCOMPARE(most, 33);
    QCOMPARE(mostAt, 82);
}

void TestToneCatalogue::namesByBank_data()
{
    QTest::addColumn<QList<int>>("banks");
    QTest::addColumn<int>("count");
    QTest::newRow("whole table") << bankRange(0, 127) << 899;
    QTest::newRow("capital tones at bank 0") << QList<int> { 0 } << 128;
    QTest::newRow("variations at banks 1 to 126") << bankRange(1, 126) << 643;
    QTest::newRow("variations at multiples of 8") << QList<int> { 8, 16, 24, 32, 40, 48 } << 205;
    QTest::newRow("MT-32 set at bank 127") << QList<int> { 127 } << 128;
    QTest::newRow("banks 36 to 39") << bankRange(36, 39) << 0;
    QTest::newRow("banks 46 and 47") << QList<int> { 46, 47 } << 0;
    QTest::newRow("banks 49 to 126") << bankRange(49, 126) << 0;
}

void TestToneCatalogue::namesByBank()
{
    QFETCH(QList<int>, banks);
    QFETCH(int, count);
    QCOMPARE(namesAtBanks(banks), count);
}

void TestToneCatalogue::everyProgramHasBank_data()
{
    QTest::addColumn<int>("bank");
    QTest::newRow("bank 0") << 0;
    QTest::newRow("bank 127") << 127;
}

void TestToneCatalogue::everyProgramHasBank()
{
    QFETCH(int, bank);
    for (int program = 1; program <= kPrograms; ++program) {
        if (nameAt(program, bank).empty())
            QFAIL(qPrintable(QStringLiteral("program %1 has no name").arg(program)));
    }
}

void TestToneCatalogue::namesArePrintable()
{
    const std::string_view allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789 &+-./:";
    for (const auto& [text, places] : slotsByText()) {
        const auto where = QStringLiteral("\"%1\" at program %2, bank %3")
                               .arg(QString::fromStdString(text))
                               .arg(places.begin()->first)
                               .arg(places.begin()->second);
        QVERIFY2(text.size() >= 2 && text.size() <= 25, qPrintable(where));
        QVERIFY2(text.find_first_not_of(allowed) == std::string::npos, qPrintable(where));
        QVERIFY2(text.front() != ' ' && text.back() != ' ', qPrintable(where));
    }
}

void TestToneCatalogue::lengthExtremes()
{
    QList<Slot> longest;
    QList<Slot> shortest;
    std::size_t longestLength = 0;
    std::size_t shortestLength = SIZE_MAX;
    for (const auto& [text, places] : slotsByText()) {
        if (text.size() > longestLength) {
            longestLength = text.size();
            longest.clear();
        }
        if (text.size() == longestLength)
            longest.append(QList<Slot>(places.begin(), places.end()));
        if (text.size() < shortestLength) {
            shortestLength = text.size();
            shortest.clear();
        }
        if (text.size() == shortestLength)
            shortest.append(QList<Slot>(places.begin(), places.end()));
    }
    QCOMPARE(longestLength, std::size_t { 25 });
    QCOMPARE(longest, QList<Slot>({ { 32, 16 } }));
    QCOMPARE(shortestLength, std::size_t { 2 });
    QCOMPARE(shortest, QList<Slot>({ { 73, 16 } }));
}

void TestToneCatalogue::sharedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<Slot>>("places");
    QTest::newRow("Star Theme") << "Star Theme" << QList<Slot> { { 104, 0 }, { 104, 1 } };
    QTest::newRow("Violin Atk:") << "Violin Atk:" << QList<Slot> { { 41, 1 }, { 42, 1 } };
    QTest::newRow("Tuba") << "Tuba" << QList<Slot> { { 59, 0 }, { 95, 127 } };
    QTest::newRow("Taiko") << "Taiko" << QList<Slot> { { 117, 0 }, { 118, 127 } };
    QTest::newRow("Doctor Solo") << "Doctor Solo" << QList<Slot> { { 45, 127 }, { 82, 8 } };
}

void TestToneCatalogue::sharedTexts()
{
    QFETCH(QString, text);
    QFETCH(QList<Slot>, places);
    const auto found = slotsByText()[text.toStdString()];
    QCOMPARE(QList<Slot>(found.begin(), found.end()), places);
}

// Apart from the two repeats inside the GS set, a text appears twice only when an MT-32 name at
// bank 127 matches a GS name elsewhere; a duplicated row would show up as a third repeat.
void TestToneCatalogue::recurringTexts()
{
    int betweenMt32AndGs = 0;
    QStringList otherRepeats;
    for (const auto& [text, places] : slotsByText()) {
        if (places.size() == 1)
            continue;
        const auto atMt32 = std::count_if(
            places.begin(), places.end(), [](const Slot& slot) { return slot.second == 127; });
        if (places.size() == 2 && atMt32 == 1)
            ++betweenMt32AndGs;
        else
            otherRepeats.append(QString::fromStdString(text));
    }
    QCOMPARE(betweenMt32AndGs, 24);
    QCOMPARE(otherRepeats, QStringList({ "Star Theme", "Violin Atk:" }));
}

void TestToneCatalogue::spotNames_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("bank");
    QTest::addColumn<QString>("name");
    const auto row = [](int program, int bank, const char* name) {
        QTest::addRow("program %d bank %d", program, bank) << program << bank << name;
    };
    row(1, 0, "piano 1");
    row(1, 8, "Piano 1w");
    row(1, 24, "Piano + Str.0");
    row(1, 127, "Acoustic Piano 1");
    row(5, 8, "Detuned EP 1");
    row(5, 24, "60 s E.Piano");
    row(13, 0, "Marinba");
    row(14, 0, "Xyolphone");
    row(17, 48, "5th Organ");
    row(28, 19, "TC Clean 2:");
    row(31, 24, "Rock Rhythum");
    row(38, 0, "Slap bass 2");
    row(70, 127, "Slap Bass 2");
    row(42, 127, "Ece Rain");
    row(82, 45, "Rhythmic Saw");
    row(121, 13, "BIwa Tremolo");
    row(128, 0, "Gun Shot");
    row(128, 127, "Jungle Tune");
    row(1, 1, "");
    row(1, 126, "");
    row(64, 36, "");
    row(82, 10, "");
    row(128, 6, "");
}

void TestToneCatalogue::spotNames()
{
    QFETCH(int, program);
    QFETCH(int, bank);
    QFETCH(QString, name);
    QCOMPARE(toQString(nameAt(program, bank)), name);
}

void TestToneCatalogue::outsideTableIsEmpty_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("bank");
    // These are table indices, 0 to 127, not displayed program numbers.
    QTest::newRow("program index -1") << -1 << 0;
    QTest::newRow("program index 128") << 128 << 0;
    QTest::newRow("bank -1") << 0 << -1;
    QTest::newRow("bank 128") << 127 << 128;
    QTest::newRow("both far out") << INT_MAX << INT_MIN;
}

void TestToneCatalogue::outsideTableIsEmpty()
{
    QFETCH(int, program);
    QFETCH(int, bank);
    QVERIFY(tonalyx::catalogue::toneName(program, bank).empty());
}

void TestToneCatalogue::listAndLookupAgree()
{
    const auto tones = tonalyx::catalogue::tones();
    QCOMPARE(tones.size(), std::size_t { 899 });
    for (const auto& tone : tones)
        QCOMPARE(tonalyx::catalogue::toneName(tone.program, tone.bank), tone.name);
}

QTEST_APPLESS_MAIN(TestToneCatalogue)
#include "test_tone_catalogue.moc"
