// Press to sound on the built-in synth: a mouse press on a program button entering at the window,
// until the first audible sample of the synth's output would leave the sound server: the period
// holding it handed to PulseAudio, plus what the server still had to play before it, plus the
// sample's place in the period (sound_probe.h). Three kinds of press: the same preset again, a
// preset heard before with another one since, and a preset's first use in the run.
// Needs a PulseAudio server (PULSE_SERVER); a null sink serves on a machine without a sound card.
#include "bench_main.h"
#include "builtin_synth_peer.h"
#include "heap_counter.h"
#include "midi/system_devices.h"
#include "shown_program.h"
#include "sound_probe.h"
#include "timed_devices.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <optional>
#include <thread>

using namespace tonalyx;
using bench::Clock;

namespace {

constexpr auto kTimeout = std::chrono::seconds(3);

bool waitFor(const auto& condition)
{
    const auto deadline = Clock::now() + kTimeout;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

struct Figures {
    bench::Samples sound; // press to the first audible sample leaving the server
    bench::Samples handedOver; // press to the period holding it handed to the server
    bench::Samples server; // what the server had to play before that period
    bench::Samples inProgram; // press to the return of the Note On (samples loaded by then)
    bench::Samples allocations; // made by the press on the way, reading samples included

    void reserve(std::size_t count)
    {
        for (auto* samples : { &sound, &handedOver, &server, &inProgram, &allocations })
            samples->reserve(count);
    }
};

class Presser {
public:
    Presser(bench::ShownProgram& shown, const bench::SendMarks& marks, midi::BuiltInSynth& synth)
        : shown_(shown)
        , marks_(marks)
        , synth_(synth)
    { }

    enum class Outcome { Heard, Silent, NeverQuiet };

    // One press and release of the program button `number`. Silent when no sound came: a few
    // presets have no sample at the preview's pitch.
    Outcome pressAndRelease(int number, Figures& figures, Clock::duration& sound)
    {
        auto& probe = bench::SoundProbe::instance();
        // Every press starts from silence, so that its own first sample is the one found.
        if (!waitFor([&] { return probe.silentPeriods() >= 2; }))
            return Outcome::NeverQuiet;
        auto* button = shown_.control(QStringLiteral("Button%1").arg(number));
        const bench::ArrivalMark mark(button);
        probe.arm();
        const auto start = Clock::now();
        bench::press(button, bench::Gesture::Mouse);
        const auto returned = marks_.lastReturn;
        const auto allocations = marks_.allocationsAtLastReturn - mark.allocations();
        const bool heard = waitFor([&] { return probe.heard(); });
        bench::release(button, bench::Gesture::Mouse);
        // Cut the release short: the next press must not wait for this note to fade.
        synth_.silence();
        if (!heard)
            return Outcome::Silent;
        sound = probe.heardAt() - start;
        figures.sound.add(sound);
        figures.handedOver.add(probe.handedOverAt() - start);
        figures.server.add(probe.serverLatency());
        figures.inProgram.add(returned - start);
        figures.allocations.addValue(double(allocations));
        return Outcome::Heard;
    }

private:
    bench::ShownProgram& shown_;
    const bench::SendMarks& marks_;
    midi::BuiltInSynth& synth_;
};

void report(benchmark::State& state, Figures& figures)
{
    state.counters["sound_p50_us"] = figures.sound.percentile(0.5);
    state.counters["sound_p90_us"] = figures.sound.percentile(0.9);
    state.counters["sound_p99_us"] = figures.sound.percentile(0.99);
    state.counters["sound_max_us"] = figures.sound.max();
    state.counters["handed_over_p50_us"] = figures.handedOver.percentile(0.5);
    state.counters["server_latency_p50_us"] = figures.server.percentile(0.5);
    state.counters["in_program_p50_us"] = figures.inProgram.percentile(0.5);
    state.counters["in_program_p99_us"] = figures.inProgram.percentile(0.99);
    state.counters["in_program_max_us"] = figures.inProgram.max();
    state.counters["press_allocs_p50"] = figures.allocations.percentile(0.5);
    state.counters["press_allocs_max"] = figures.allocations.max();
}

// Presses the buttons that `next` names, one per iteration.
void run(benchmark::State& state, Presser& presser, const auto& next)
{
    Figures figures;
    figures.reserve(static_cast<std::size_t>(state.max_iterations));
    int index = 0;
    int silent = 0;
    for (auto _ : state) {
        const int number = next(index++);
        Clock::duration sound {};
        switch (presser.pressAndRelease(number, figures, sound)) {
        case Presser::Outcome::Heard:
            state.SetIterationTime(std::chrono::duration<double>(sound).count());
            break;
        case Presser::Outcome::Silent:
            std::fprintf(stderr, "Button%d: no sound at the preview's pitch\n", number);
            ++silent;
            state.SetIterationTime(0);
            break;
        case Presser::Outcome::NeverQuiet:
            state.SkipWithError("the synth's output did not fall silent between presses");
            return;
        }
    }
    if (figures.sound.empty()) {
        state.SkipWithError("no sound came from the built-in synth");
        return;
    }
    state.counters["silent_presets"] = silent;
    report(state, figures);
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    midi::BuiltInSynthConfig config;
    config.audioDrivers = { "pulseaudio" };
    auto owned = std::make_unique<midi::BuiltInSynthBackend>(config);
    auto& builtIn = *owned;
    std::vector<std::unique_ptr<midi::MidiBackend>> backends;
    backends.push_back(std::move(owned));
    bench::SendMarks marks;
    midi::DeviceList devices(bench::timed(std::move(backends), marks));
    bench::ShownProgram shown(devices);
    auto* synth = testing::BuiltInSynthPeer::synthOf(builtIn);
    if (!shown.ready() || synth == nullptr || !testing::BuiltInSynthPeer::hasAudio(*synth)) {
        std::fprintf(stderr, "the built-in synth did not open on PulseAudio (PULSE_SERVER?)\n");
        return 1;
    }
    // Without reverb and chorus the output is silent as soon as the notes are cut, so each
    // press can start from silence at once; the notes themselves sound the same and as soon.
    testing::BuiltInSynthPeer::setEffects(*synth, false);
    Presser presser(shown, marks, *synth);

    // Program buttons 7 to 128 select presets that nothing has selected since start-up (the GS
    // reset selects the first piano); Button5 and Button6 are kept for the other two kinds.
    const int firstUses = quick ? 3 : 122;
    const int presses = quick ? 3 : 200;
    benchmark::RegisterBenchmark("PressToSound/first-use",
        [&](benchmark::State& state) { run(state, presser, [](int index) { return 7 + index; }); })
        ->Iterations(firstUses)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PressToSound/same-preset-again",
        [&](benchmark::State& state) { run(state, presser, [](int) { return 5; }); })
        ->Iterations(presses)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PressToSound/heard-before-another-since",
        [&](benchmark::State& state) {
            run(state, presser, [](int index) { return 5 + index % 2; });
        })
        ->Iterations(presses)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return bench::runBenchmarks(argc, argv);
}
