// SPDX-License-Identifier: GPL-3.0-or-later
// Press to wire through a real port: a mouse press and release on Button5 entering at the window,
// until a JACK client receives the bytes, with the program's device set to that client's port.
// JACK moves MIDI once a period, so the figure is bounded by the period; beside it the same
// three messages are sent straight from a JACK client of this process, to show what the program
// adds to the port's own delay. Needs a running JACK server (JACK_DEFAULT_SERVER).
#include "bench_main.h"
#include "heap_counter.h"
#include "midi/system_devices.h"
#include "shown_program.h"
#include "timed_devices.h"
#include "timed_midi_capture.h"
#include "timed_midi_source.h"

#include <QApplication>
#include <QLineEdit>
#include <benchmark/benchmark.h>
#include <random>
#include <thread>

using namespace tonalyx;
using bench::Clock;

namespace {

constexpr int kProgramPort = 0;
constexpr int kDirectPort = 1;
// On a machine too busy to keep up, JACK drops what its late clients wrote in that period (an
// xrun) and the message never arrives. After this long it is counted as lost, not timed.
constexpr auto kArrivalTimeout = std::chrono::milliseconds(500);

// Button5's press with bank 0 selected: bank select, Program Change 4, middle C.
constexpr std::array<std::array<std::uint8_t, 3>, 3> kPress { {
    { 0xB0, 0x00, 0x00 },
    { 0xC0, 0x04, 0x00 },
    { 0x90, 0x3C, 0x7F },
} };
constexpr std::array<std::size_t, 3> kPressSizes { 3, 2, 3 };
constexpr std::array<std::uint8_t, 3> kRelease { 0x90, 0x3C, 0x00 };

// Waits for the event on `port` whose bytes start with `status` and `data2` (note on or off),
// dropping the others; its arrival, or nothing on a timeout.
std::optional<Clock::time_point> arrivalOf(
    bench::TimedMidiCapture& capture, int port, std::uint8_t data2)
{
    const auto deadline = Clock::now() + kArrivalTimeout;
    while (Clock::now() < deadline) {
        const auto event = capture.next(kArrivalTimeout);
        if (!event)
            return std::nullopt;
        if (event->port == port && event->size == 3 && event->bytes[0] == 0x90
            && event->bytes[2] == data2)
            return event->arrival;
    }
    return std::nullopt;
}

// Presses come at any moment of the period, as a user's do; without this pause every press
// would follow the last arrival at the same point of the cycle.
class RandomPause {
public:
    explicit RandomPause(double periodMicroseconds)
        : spread_(0.0, periodMicroseconds)
    { }
    void operator()()
    {
        std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(spread_(random_)));
    }

private:
    std::minstd_rand random_ { 42 };
    std::uniform_real_distribution<double> spread_;
};

struct Figures {
    std::size_t lost = 0;
    // Of those lost, how many were lost in a time the server reported no xrun in: with an
    // xrun some client missed its period, and no sender can make up for that.
    std::size_t lostWithoutXrun = 0;
    bench::Samples wire;
    bench::Samples inProgram; // from the event entering the window to the last send's return
    bench::Samples fromControl; // from the control receiving the event to the same
    std::uint64_t allocations = 0;
};

void report(benchmark::State& state, Figures& press, Figures& release, double period);

// Counts a message that never arrived, and says on stderr whether the server reported an xrun
// since `xrunsBefore`.
void countLoss(
    bench::TimedMidiCapture& capture, std::uint64_t xrunsBefore, Figures& figures, const char* what)
{
    capture.waitForCycles(2);
    const auto xruns = capture.xruns() - xrunsBefore;
    ++figures.lost;
    figures.lostWithoutXrun += xruns == 0;
    std::fprintf(
        stderr, "a %s was lost, with %llu xrun(s)\n", what, static_cast<unsigned long long>(xruns));
}

// Reports the figures, unless so many messages were lost that they would mean nothing.
bool reportUnlessLost(benchmark::State& state, Figures& press, Figures& release, double period)
{
    if (press.wire.empty() || release.wire.empty()
        || press.lost + release.lost > press.wire.size() + release.wire.size())
        return false;
    report(state, press, release, period);
    return true;
}

void report(benchmark::State& state, Figures& press, Figures& release, double period)
{
    state.counters["press_p50_us"] = press.wire.percentile(0.5);
    state.counters["press_p90_us"] = press.wire.percentile(0.9);
    state.counters["press_p99_us"] = press.wire.percentile(0.99);
    state.counters["press_max_us"] = press.wire.max();
    state.counters["press_mean_us"] = press.wire.mean();
    state.counters["press_stddev_us"] = press.wire.standardDeviation();
    state.counters["release_p50_us"] = release.wire.percentile(0.5);
    state.counters["release_p99_us"] = release.wire.percentile(0.99);
    state.counters["release_max_us"] = release.wire.max();
    state.counters["period_us"] = period;
    state.counters["press_lost"] = double(press.lost);
    state.counters["release_lost"] = double(release.lost);
    state.counters["lost_without_xrun"] = double(press.lostWithoutXrun + release.lostWithoutXrun);
    if (!press.inProgram.empty()) {
        state.counters["press_in_program_p50_us"] = press.inProgram.percentile(0.5);
        state.counters["press_in_program_p99_us"] = press.inProgram.percentile(0.99);
        state.counters["press_from_control_p50_us"] = press.fromControl.percentile(0.5);
        state.counters["press_from_control_p99_us"] = press.fromControl.percentile(0.99);
        state.counters["press_allocs_max"] = double(press.allocations);
        state.counters["release_allocs_max"] = double(release.allocations);
    }
}

// `unexplained` counts the messages lost without an xrun.
void throughProgram(benchmark::State& state, bench::TimedMidiCapture& capture,
    const bench::SendMarks& marks, bench::ShownProgram& shown, std::size_t& unexplained)
{
    auto* button = shown.control(QStringLiteral("Button5"));
    const bench::ArrivalMark mark(button);
    RandomPause pause(capture.periodMicroseconds());
    Figures press, release;
    for (auto* figures : { &press, &release }) {
        figures->wire.reserve(static_cast<std::size_t>(state.max_iterations));
        figures->inProgram.reserve(static_cast<std::size_t>(state.max_iterations));
        figures->fromControl.reserve(static_cast<std::size_t>(state.max_iterations));
    }
    for (auto _ : state) {
        for (const bool down : { true, false }) {
            auto& figures = down ? press : release;
            pause();
            capture.drain();
            const auto xruns = capture.xruns();
            const auto start = Clock::now();
            if (down)
                bench::press(button, bench::Gesture::Mouse);
            else
                bench::release(button, bench::Gesture::Mouse);
            const auto arrival = arrivalOf(capture, kProgramPort, down ? 0x7F : 0x00);
            if (!arrival) {
                countLoss(capture, xruns, figures, down ? "press" : "release");
                continue;
            }
            figures.wire.add(*arrival - start);
            figures.inProgram.add(marks.lastReturn - start);
            figures.fromControl.add(marks.lastReturn - mark.time());
            figures.allocations
                = std::max(figures.allocations, marks.allocationsAtLastReturn - mark.allocations());
            if (!down)
                state.SetIterationTime(std::chrono::duration<double>(*arrival - start).count());
        }
    }
    unexplained += press.lostWithoutXrun + release.lostWithoutXrun;
    if (!reportUnlessLost(state, press, release, capture.periodMicroseconds()))
        state.SkipWithError("most previews did not reach the JACK port");
}

void straightThroughJack(benchmark::State& state, bench::TimedMidiCapture& capture,
    bench::TimedMidiSource& direct, std::size_t& unexplained)
{
    RandomPause pause(capture.periodMicroseconds());
    Figures press, release;
    press.wire.reserve(static_cast<std::size_t>(state.max_iterations));
    release.wire.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        for (const bool down : { true, false }) {
            auto& figures = down ? press : release;
            pause();
            capture.drain();
            const auto xruns = capture.xruns();
            const auto start = Clock::now();
            if (down) {
                for (std::size_t i = 0; i < kPress.size(); ++i)
                    direct.play({ kPress[i].data(), kPressSizes[i] });
            } else {
                direct.play(kRelease);
            }
            const auto arrival = arrivalOf(capture, kDirectPort, down ? 0x7F : 0x00);
            if (!arrival) {
                countLoss(capture, xruns, figures, down ? "direct press" : "direct release");
                continue;
            }
            figures.wire.add(*arrival - start);
            if (!down)
                state.SetIterationTime(std::chrono::duration<double>(*arrival - start).count());
        }
    }
    unexplained += press.lostWithoutXrun + release.lostWithoutXrun;
    if (!reportUnlessLost(state, press, release, capture.periodMicroseconds()))
        state.SkipWithError("most messages did not reach the JACK port");
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    bench::TimedMidiCapture capture("tonalyx-bench-capture", { "program-in", "direct-in" });
    if (!capture.isConnected()) {
        std::fprintf(stderr, "no JACK server: start one and set JACK_DEFAULT_SERVER\n");
        return 1;
    }
    midi::SystemDevicesConfig config;
    config.clientName = "tonalyx-bench";
    config.builtInSynth.audioDrivers.clear();
    bench::SendMarks marks;
    midi::DeviceList devices(bench::timed(midi::systemBackends(config), marks));
    const int device = bench::deviceNamed(devices, capture.fullName(kProgramPort));
    if (device < 0) {
        std::fprintf(stderr, "the capture port is not among the program's devices\n");
        return 1;
    }
    bench::ShownProgram shown(devices, "[dev]\r\ndev_num=" + std::to_string(device) + "\r\n");
    if (!shown.ready()
        || shown.application().window().deviceReadout().text().toStdString()
            != devices.name(device)) {
        std::fprintf(stderr, "the program did not start on the capture port\n");
        return 1;
    }

    bench::TimedMidiSource direct("tonalyx-bench-direct", { "out" });
    if (!direct.connect(0, capture.fullName(kDirectPort))) {
        std::fprintf(stderr, "could not connect the direct JACK port\n");
        return 1;
    }

    const int presses = quick ? 3 : 500;
    std::size_t unexplained = 0;
    benchmark::RegisterBenchmark("PressThroughJack/program/Button5",
        [&](benchmark::State& state) { throughProgram(state, capture, marks, shown, unexplained); })
        ->Iterations(presses)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("PressThroughJack/direct",
        [&](benchmark::State& state) { straightThroughJack(state, capture, direct, unexplained); })
        ->Iterations(presses)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    const int status = bench::runBenchmarks(argc, argv);
    // In the test suite's quick run, a message lost without an xrun is a fault, not a figure.
    if (quick && status == 0 && unexplained > 0) {
        std::fprintf(stderr, "%zu message(s) lost without an xrun\n", unexplained);
        return 1;
    }
    return status;
}
