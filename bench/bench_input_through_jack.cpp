// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI keyboard on JACK playing through the program: a JACK client of the benchmark's own
// writes each Note On and Off to two ports in the same period, one connected to the program's
// input "in" (the program passes it on to its device, a port of a capture client), the other
// straight to the capture. The two arrivals of each message show what the program adds to the
// way: JACK's process thread reads the input in one period, the GUI thread passes the message
// on, and the program's output can only write it in a later period; the next one, unless the
// program is slower than a period. Needs a running JACK server (JACK_DEFAULT_SERVER).
#include "bench_main.h"
#include "midi/system_devices.h"
#include "shown_program.h"
#include "timed_devices.h"
#include "timed_midi_capture.h"
#include "timed_midi_source.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <optional>
#include <random>
#include <thread>

using namespace tonalyx;
using bench::Clock;

namespace {

const std::string kClient = "tonalyx-input-bench";
constexpr int kThroughProgram = 0;
constexpr int kDirect = 1;
// On a machine too busy to keep up, JACK drops what its late clients wrote in that period (an
// xrun) and the message never arrives. After this long it is counted as lost, not timed.
constexpr auto kArrivalTimeout = std::chrono::milliseconds(500);
constexpr int kWarmUp = 5;

constexpr std::array<std::array<std::uint8_t, 3>, 2> kNotes { {
    { 0x90, 0x3C, 0x64 },
    { 0x80, 0x3C, 0x40 },
} };

// The arrival of one message on each of the capture's two ports.
struct Arrivals {
    std::optional<bench::TimedMidiCapture::Event> throughProgram;
    std::optional<bench::TimedMidiCapture::Event> direct;
    bool complete() const { return throughProgram && direct; }
};

// Runs the program's event loop, as the program's own does, until `message` has arrived on both
// ports or the time is up. The capture's arrivals are stamped on its own thread, so checking for
// them late changes no figure.
Arrivals waitForBoth(bench::TimedMidiCapture& capture, std::span<const std::uint8_t> message)
{
    Arrivals arrivals;
    const auto deadline = Clock::now() + kArrivalTimeout;
    while (!arrivals.complete() && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (const auto event = capture.next(std::chrono::milliseconds(0))) {
            if (event->size != message.size()
                || !std::equal(message.begin(), message.end(), event->bytes.begin()))
                continue;
            auto& arrival
                = event->port == kThroughProgram ? arrivals.throughProgram : arrivals.direct;
            if (!arrival)
                arrival = event;
        }
    }
    return arrivals;
}

struct Figures {
    bench::Samples direct; // from the play to the direct copy's arrival
    bench::Samples throughProgram; // from the play to the arrival through the program
    bench::Samples added; // between the two arrivals
    bench::Samples inProgram; // from the period the message was written to the output's send
    std::size_t onePeriodLater = 0; // arrivals through the program one period after the direct
    std::size_t laterStill = 0; // two periods or more after it
    std::size_t laterWithoutXrun = 0; // of those, in a time the server reported no xrun in
    std::size_t lost = 0;
    // Of those lost, how many in a time the server reported no xrun in: with an xrun some
    // client missed its period, and no sender can make up for that.
    std::size_t lostWithoutXrun = 0;
};

void report(benchmark::State& state, Figures& figures, const bench::TimedMidiCapture& capture)
{
    state.counters["direct_p50_us"] = figures.direct.percentile(0.5);
    state.counters["direct_p99_us"] = figures.direct.percentile(0.99);
    state.counters["direct_mean_us"] = figures.direct.mean();
    state.counters["program_p50_us"] = figures.throughProgram.percentile(0.5);
    state.counters["program_p99_us"] = figures.throughProgram.percentile(0.99);
    state.counters["program_mean_us"] = figures.throughProgram.mean();
    state.counters["added_p50_us"] = figures.added.percentile(0.5);
    state.counters["added_p99_us"] = figures.added.percentile(0.99);
    state.counters["added_max_us"] = figures.added.max();
    state.counters["in_program_p50_us"] = figures.inProgram.percentile(0.5);
    state.counters["in_program_p99_us"] = figures.inProgram.percentile(0.99);
    state.counters["in_program_max_us"] = figures.inProgram.max();
    state.counters["one_period_later"] = double(figures.onePeriodLater);
    state.counters["later_still"] = double(figures.laterStill);
    state.counters["later_without_xrun"] = double(figures.laterWithoutXrun);
    state.counters["lost"] = double(figures.lost);
    state.counters["lost_without_xrun"] = double(figures.lostWithoutXrun);
    state.counters["period_us"] = capture.periodMicroseconds();
    state.counters["period_frames"] = double(capture.periodFrames());
}

// Plays one message and notes its figures (`figures` is null for the warm-up); the time it took
// through the program, unless it was lost.
std::optional<Clock::duration> playOne(bench::TimedMidiSource& keyboard,
    bench::TimedMidiCapture& capture, const bench::SendMarks& marks,
    std::span<const std::uint8_t> message, Figures* figures)
{
    capture.drain();
    const auto xruns = capture.xruns();
    const auto written = keyboard.written().messages;
    const auto start = Clock::now();
    keyboard.play(message);
    const auto arrivals = waitForBoth(capture, message);
    if (figures == nullptr)
        return std::nullopt;
    const auto period = keyboard.written();
    if (!arrivals.complete() || period.messages != written + 1) {
        capture.waitForCycles(2);
        const auto xrunsSince = capture.xruns() - xruns;
        ++figures->lost;
        figures->lostWithoutXrun += xrunsSince == 0;
        std::fprintf(stderr, "a message was lost, with %llu xrun(s)\n",
            static_cast<unsigned long long>(xrunsSince));
        return std::nullopt;
    }
    figures->direct.add(arrivals.direct->arrival - start);
    figures->throughProgram.add(arrivals.throughProgram->arrival - start);
    figures->added.add(arrivals.throughProgram->arrival - arrivals.direct->arrival);
    figures->inProgram.add(marks.lastReturn - period.time);
    // Frame times wrap after a day at 48 kHz; their difference does not.
    const auto periods = (arrivals.throughProgram->frame - arrivals.direct->frame)
        / std::max<std::uint32_t>(capture.periodFrames(), 1);
    if (periods <= 1) {
        ++figures->onePeriodLater;
    } else {
        capture.waitForCycles(2);
        ++figures->laterStill;
        figures->laterWithoutXrun += capture.xruns() == xruns;
    }
    return arrivals.throughProgram->arrival - start;
}

void keyboardThroughJack(benchmark::State& state, bench::TimedMidiSource& keyboard,
    bench::TimedMidiCapture& capture, const bench::SendMarks& marks, std::size_t& unexplained)
{
    // Keys are pressed at any moment of the period, not in step with it.
    std::minstd_rand random(42);
    std::uniform_real_distribution<double> pauses(0.0, capture.periodMicroseconds());
    const auto pause = [&] {
        std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(pauses(random)));
    };
    // Wakes the event loop every millisecond to look for the capture's arrivals.
    QTimer poll;
    poll.start(std::chrono::milliseconds(1));
    for (int i = 0; i < kWarmUp; ++i)
        playOne(keyboard, capture, marks, kNotes[std::size_t(i) % kNotes.size()], nullptr);
    Figures figures;
    std::size_t next = 0;
    for (auto _ : state) {
        pause();
        if (const auto took
            = playOne(keyboard, capture, marks, kNotes[next++ % kNotes.size()], &figures))
            state.SetIterationTime(std::chrono::duration<double>(*took).count());
    }
    unexplained += figures.lostWithoutXrun;
    if (figures.throughProgram.empty() || figures.lost > figures.throughProgram.size()) {
        state.SkipWithError("most messages did not arrive");
        return;
    }
    report(state, figures, capture);
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    bench::TimedMidiCapture capture("tonalyx-input-bench-capture", { "program-in", "direct-in" });
    if (!capture.isConnected()) {
        std::fprintf(stderr, "no JACK server: start one and set JACK_DEFAULT_SERVER\n");
        return 1;
    }
    midi::SystemDevicesConfig config;
    config.clientName = kClient;
    config.builtInSynth.audioDrivers.clear();
    bench::SendMarks marks;
    midi::DeviceList devices(bench::timed(midi::systemBackends(config), marks));
    const int device = bench::deviceNamed(devices, capture.fullName(kThroughProgram));
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

    bench::TimedMidiSource keyboard("tonalyx-input-bench-keyboard", { "to-program", "direct" });
    if (!keyboard.connect(kThroughProgram, kClient + ":in")
        || !keyboard.connect(kDirect, capture.fullName(kDirect))) {
        std::fprintf(
            stderr, "could not connect the keyboard to %s:in and the capture\n", kClient.c_str());
        return 1;
    }

    std::size_t unexplained = 0;
    benchmark::RegisterBenchmark("InputThroughJack/note",
        [&](benchmark::State& state) {
            keyboardThroughJack(state, keyboard, capture, marks, unexplained);
        })
        ->Iterations(quick ? 3 : 500)
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
