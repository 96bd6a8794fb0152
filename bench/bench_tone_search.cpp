// SPDX-License-Identifier: GPL-3.0-or-later
// The tone finder's search: the catalogue filtered for what is typed, as the finder does on every
// keystroke, alone (ToneSearch::find over all 899 tones) and through the window (a key typed into
// the search field until the list's model holds the new rows).
#include "bench_main.h"
#include "catalogue/tone_catalogue.h"
#include "catalogue/tone_search.h"
#include "heap_counter.h"
#include "shown_program.h"
#include "ui/tone_list_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <benchmark/benchmark.h>

using namespace tonalyx;

namespace {

// A device that takes every message and keeps none: typing sends nothing anyway.
class NullBackend final : public midi::MidiBackend {
public:
    std::vector<midi::MidiPort> ports() override { return { { "null", "Bench null" } }; }
    std::unique_ptr<midi::MidiConnection> open(const std::string&) override
    {
        return std::make_unique<Connection>();
    }

private:
    class Connection final : public midi::MidiConnection {
    public:
        bool send(midi::MessageBytes) override { return true; }
    };
};

struct Query {
    const char* label;
    const char* text;
};

// From the widest to nothing at all: every tone, one letter, a name typed half- and
// full-width, a Japanese instrument, a program number, two words, no match.
constexpr Query kQueries[] = {
    { "empty", "" },
    { "one-letter", "s" },
    { "name", "strings" },
    { "name-full-width", "ｓｔｒｉｎｇｓ" },
    { "japanese", "バイオリン" },
    { "number", "41" },
    { "two-words", "slow strings" },
    { "no-match", "zzz" },
};

void find(benchmark::State& state, const catalogue::ToneSearch& search, const char* text)
{
    std::vector<std::uint16_t> matches;
    matches.reserve(1024);
    const auto allocationsBefore = bench::allocationsOfThisThread();
    for (auto _ : state) {
        search.find(text, matches);
        benchmark::DoNotOptimize(matches.data());
    }
    state.counters["matches"] = double(matches.size());
    state.counters["allocs_per_find"] = double(bench::allocationsOfThisThread() - allocationsBefore)
        / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// One letter typed and taken back, in turns, so that the list alternates between all 899
// tones and ten drum sets and those with an "s" in them, the largest changes a keystroke makes.
void keystroke(
    benchmark::State& state, bench::ShownProgram& shown, const catalogue::ToneSearch& search)
{
    std::vector<std::uint16_t> withS;
    search.find("s", withS);
    std::vector<std::uint8_t> setsWithS;
    search.findDrumSets("s", setsWithS);
    const int typedRows = int(withS.size() + setsWithS.size());
    const int allRows = int(catalogue::tones().size() + catalogue::kDrumSets);
    auto* field = qobject_cast<QLineEdit*>(shown.control(QStringLiteral("FinderEdit")));
    if (field == nullptr) {
        state.SkipWithError("no search field");
        return;
    }
    bench::focus(field);
    const auto& list = shown.application().window().toneList();
    bool typed = false;
    for (auto _ : state) {
        QTest::keyClick(field, typed ? Qt::Key_Backspace : Qt::Key_S);
        typed = !typed;
        if (list.model()->rowCount() != (typed ? typedRows : allRows)) {
            state.SkipWithError("the list did not follow the field");
            return;
        }
    }
    field->clear();
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const catalogue::ToneSearch search;
    for (const auto& query : kQueries) {
        auto* registered = benchmark::RegisterBenchmark(
            (std::string("ToneSearch/find/") + query.label).c_str(),
            [&search, text = query.text](benchmark::State& state) { find(state, search, text); });
        registered->Unit(benchmark::kMicrosecond);
        if (quick)
            registered->Iterations(3);
    }

    std::vector<std::unique_ptr<midi::MidiBackend>> backends;
    backends.push_back(std::make_unique<NullBackend>());
    midi::DeviceList devices(std::move(backends));
    bench::ShownProgram shown(devices);
    if (!shown.ready()) {
        std::fprintf(stderr, "the window did not become active\n");
        return 1;
    }
    auto* typing = benchmark::RegisterBenchmark("ToneSearch/keystroke-in-window",
        [&shown, &search](benchmark::State& state) { keystroke(state, shown, search); });
    typing->Unit(benchmark::kMicrosecond);
    if (quick)
        typing->Iterations(3);
    return bench::runBenchmarks(argc, argv);
}
