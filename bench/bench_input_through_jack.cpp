// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI keyboard on JACK playing through the program: a JACK client of the benchmark's own
// writes each Note On and Off to two ports in the same period and at the same frame of it, one
// connected to the program's input "in" (the program passes it on to its device, a port of a
// capture client), the other straight to the capture. The two arrivals of each message, in the
// server's frames, show what the program adds to the way: JACK's process thread plays the input
// through before it writes the output, so a message should leave in the period it came in, at
// the frame it came at, and arrive with its direct copy. Needs a running JACK server
// (JACK_DEFAULT_SERVER).
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
// xrun) and the message never arrives. After this long it is counted as lost, not timed: long
// enough for this thread, starved by a busy machine, to find what did arrive.
constexpr auto kArrivalTimeout = std::chrono::seconds(3);
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
    bench::Samples delayFrames; // between the two arrivals, in the server's frames
    bench::Samples inProgram; // from the keyboard's period to the return of the program's send
    std::size_t arrived = 0;
    std::size_t onTime = 0; // in the direct copy's period, at its frame
    std::size_t late = 0; // any later, or earlier
    std::size_t lateWithoutXrun = 0; // of those, in a time the server reported no xrun in
    std::size_t withXrun = 0; // arrived, in a time the server reported an xrun in
    std::size_t lost = 0;
    // Of those lost, how many in a time the server reported no xrun in: with an xrun some
    // client missed its period, and no sender can make up for that.
    std::size_t lostWithoutXrun = 0;
};

void report(benchmark::State& state, Figures& figures, const bench::TimedMidiCapture& capture)
{
    state.counters["direct_p50_us"] = figures.direct.percentile(0.5);
    state.counters["direct_p99_us"] = figures.direct.percentile(0.99);
    state.counters["program_p50_us"] = figures.throughProgram.percentile(0.5);
    state.counters["program_p99_us"] = figures.throughProgram.percentile(0.99);
    state.counters["delay_frames_p50"] = figures.delayFrames.percentile(0.5);
    state.counters["delay_frames_p99"] = figures.delayFrames.percentile(0.99);
    state.counters["delay_frames_max"] = figures.delayFrames.max();
    state.counters["in_program_p50_us"] = figures.inProgram.percentile(0.5);
    state.counters["in_program_p99_us"] = figures.inProgram.percentile(0.99);
    state.counters["in_program_max_us"] = figures.inProgram.max();
    state.counters["arrived"] = double(figures.arrived);
    state.counters["on_time"] = double(figures.onTime);
    state.counters["late"] = double(figures.late);
    state.counters["late_without_xrun"] = double(figures.lateWithoutXrun);
    state.counters["with_xrun"] = double(figures.withXrun);
    state.counters["lost"] = double(figures.lost);
    state.counters["lost_without_xrun"] = double(figures.lostWithoutXrun);
    state.counters["period_us"] = capture.periodMicroseconds();
    state.counters["period_frames"] = double(capture.periodFrames());
}

// Plays one message at frame `offset` of its period and notes its figures (`figures` is null
// for the warm-up); the time it took through the program, unless it was lost.
std::optional<Clock::duration> playOne(bench::TimedMidiSource& keyboard,
    bench::TimedMidiCapture& capture, const bench::SendMarks& marks,
    std::span<const std::uint8_t> message, std::uint32_t offset, Figures* figures)
{
    capture.drain();
    const auto xruns = capture.xruns();
    const auto written = keyboard.written().messages;
    const auto start = Clock::now();
    keyboard.play(message, offset);
    const auto arrivals = waitForBoth(capture, message);
    if (figures == nullptr)
        return std::nullopt;
    const auto period = keyboard.written();
    // Long enough for an xrun of the periods gone by to have been reported.
    capture.waitForCycles(2);
    const bool xrun = capture.xruns() != xruns;
    if (!arrivals.complete() || period.messages != written + 1) {
        ++figures->lost;
        figures->lostWithoutXrun += !xrun;
        std::fprintf(stderr, "a message was lost, %s\n", xrun ? "with an xrun" : "without an xrun");
        return std::nullopt;
    }
    ++figures->arrived;
    figures->withXrun += xrun;
    figures->direct.add(arrivals.direct->arrival - start);
    figures->throughProgram.add(arrivals.throughProgram->arrival - start);
    figures->inProgram.add(marks.lastReturn - period.time);
    // Frame times wrap after a day at 48 kHz; their difference does not.
    const auto delay = std::int32_t(arrivals.throughProgram->frame + arrivals.throughProgram->offset
        - arrivals.direct->frame - arrivals.direct->offset);
    figures->delayFrames.addValue(double(delay));
    if (delay == 0) {
        ++figures->onTime;
    } else {
        ++figures->late;
        figures->lateWithoutXrun += !xrun;
    }
    return arrivals.throughProgram->arrival - start;
}

void keyboardThroughJack(benchmark::State& state, bench::TimedMidiSource& keyboard,
    bench::TimedMidiCapture& capture, const bench::SendMarks& marks, std::size_t& unexplained)
{
    // Keys are pressed at any moment of the period, not in step with it, and stamped with any
    // frame of it, as a keyboard's driver stamps them.
    std::minstd_rand random(42);
    std::uniform_real_distribution<double> pauses(0.0, capture.periodMicroseconds());
    std::uniform_int_distribution<std::uint32_t> offsets(0, capture.periodFrames() - 1);
    const auto pause = [&] {
        std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(pauses(random)));
    };
    // Wakes the event loop every millisecond to look for the capture's arrivals.
    QTimer poll;
    poll.start(std::chrono::milliseconds(1));
    for (int i = 0; i < kWarmUp; ++i)
        playOne(keyboard, capture, marks, kNotes[std::size_t(i) % kNotes.size()], 0, nullptr);
    Figures figures;
    std::size_t next = 0;
    for (auto _ : state) {
        pause();
        if (const auto took = playOne(keyboard, capture, marks, kNotes[next++ % kNotes.size()],
                offsets(random), &figures))
            state.SetIterationTime(std::chrono::duration<double>(*took).count());
    }
    unexplained += figures.lostWithoutXrun + figures.lateWithoutXrun;
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
    // In the test suite's quick run, a message lost or late without an xrun is a fault, not a
    // figure.
    if (quick && status == 0 && unexplained > 0) {
        std::fprintf(stderr, "%zu message(s) lost or late without an xrun\n", unexplained);
        return 1;
    }
    return status;
}
