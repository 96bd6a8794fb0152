// SPDX-License-Identifier: GPL-3.0-or-later
// The first message after an open: a JACK MIDI input opened through the program's device list
// and port, again and again, each open followed at once by the GS reset, as start-up and a device
// switch send it. A message written into a JACK port in a period before the server has made the
// port's connection part of its graph goes nowhere, so an output that does not wait for that
// loses first messages on a busy machine. Counts what arrived, and of what did not, how much was
// lost in periods with an xrun (some client missed its period: the platform's loss, which no
// sender can make up for) and how much without one (the program's). scripts/bench.sh runs it
// with every core kept busy. Needs a running JACK server (JACK_DEFAULT_SERVER).
//   bench_first_message [--quick] [Google Benchmark options]
// With --quick, 20 opens; a message lost without an xrun then fails the run.
#include "bench_main.h"
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"
#include "shown_program.h"
#include "timed_midi_capture.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>

using namespace tonalyx;
using bench::Clock;

namespace {

// Long enough for a message written by a starved sender to have arrived: with less, some that
// were on their way would count as lost.
constexpr auto kArrivalWait = std::chrono::milliseconds(1000);

struct Figures {
    std::size_t opens = 0;
    std::size_t failedOpens = 0;
    std::size_t failedOpensWithXrun = 0;
    std::size_t arrived = 0;
    std::size_t lostWithXrun = 0;
    std::size_t lostWithoutXrun = 0;
    std::size_t opensWithXrun = 0;
    bench::Samples openTime;
    bench::Samples closeTime;
};

bool isGsReset(const bench::TimedMidiCapture::Event& event)
{
    return event.size == midi::GsResetMessage.size()
        && std::equal(
            midi::GsResetMessage.begin(), midi::GsResetMessage.end(), event.bytes.begin());
}

bool gsResetArrives(bench::TimedMidiCapture& capture)
{
    const auto deadline = Clock::now() + kArrivalWait;
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto event
            = capture.next(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
        if (event && isGsReset(*event))
            return true;
    }
    return false;
}

void openAndReset(benchmark::State& state, bench::TimedMidiCapture& capture,
    midi::MidiOutPort& port, std::int32_t device, Figures& figures)
{
    figures.openTime.reserve(static_cast<std::size_t>(state.max_iterations));
    figures.closeTime.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        capture.drain();
        const auto xrunsBefore = capture.xruns();
        const auto start = Clock::now();
        const bool opened = port.open(device);
        const auto openEnd = Clock::now();
        ++figures.opens;
        if (opened)
            port.sendGsReset();
        const bool arrived = opened && gsResetArrives(capture);
        capture.waitForCycles(2);
        const auto xruns = capture.xruns() - xrunsBefore;
        const auto closeStart = Clock::now();
        port.close();
        figures.closeTime.add(Clock::now() - closeStart);
        state.SetIterationTime(std::chrono::duration<double>(openEnd - start).count());

        figures.opensWithXrun += xruns > 0;
        if (!opened) {
            ++figures.failedOpens;
            figures.failedOpensWithXrun += xruns > 0;
            std::fprintf(stderr, "open %zu failed after %.1f ms, with %llu xrun(s)\n",
                figures.opens, std::chrono::duration<double, std::milli>(openEnd - start).count(),
                static_cast<unsigned long long>(xruns));
            continue;
        }
        figures.openTime.add(openEnd - start);
        if (arrived)
            ++figures.arrived;
        else if (xruns > 0)
            ++figures.lostWithXrun;
        else
            ++figures.lostWithoutXrun;
        if (!arrived) {
            std::fprintf(stderr, "open %zu: the GS reset was lost, with %llu xrun(s)\n",
                figures.opens, static_cast<unsigned long long>(xruns));
        }
    }
    state.counters["opens"] = double(figures.opens);
    state.counters["failed_opens"] = double(figures.failedOpens);
    state.counters["failed_opens_with_xrun"] = double(figures.failedOpensWithXrun);
    state.counters["arrived"] = double(figures.arrived);
    state.counters["lost_with_xrun"] = double(figures.lostWithXrun);
    state.counters["lost_without_xrun"] = double(figures.lostWithoutXrun);
    state.counters["opens_with_xrun"] = double(figures.opensWithXrun);
    if (!figures.openTime.empty()) {
        state.counters["open_p50_us"] = figures.openTime.percentile(0.5);
        state.counters["open_p99_us"] = figures.openTime.percentile(0.99);
        state.counters["open_max_us"] = figures.openTime.max();
    }
    state.counters["close_p50_us"] = figures.closeTime.percentile(0.5);
    state.counters["close_p99_us"] = figures.closeTime.percentile(0.99);
    state.counters["close_max_us"] = figures.closeTime.max();
    state.counters["period_us"] = capture.periodMicroseconds();
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    bench::TimedMidiCapture capture("tonalyx-first-capture", { "gs-in" });
    if (!capture.isConnected()) {
        std::fprintf(stderr, "no JACK server: start one and set JACK_DEFAULT_SERVER\n");
        return 1;
    }
    midi::SystemDevicesConfig config;
    config.clientName = "tonalyx-bench-first";
    config.builtInSynth.audioDrivers.clear();
    const auto devices = midi::makeSystemDeviceList(config);
    midi::MidiOutPort port(*devices);
    const auto device = bench::deviceNamed(*devices, capture.fullName(0));
    if (device < 0) {
        std::fprintf(stderr, "the capture port is not among the program's devices\n");
        return 1;
    }

    Figures figures;
    benchmark::RegisterBenchmark("FirstMessage/open-then-gs-reset",
        [&](benchmark::State& state) { openAndReset(state, capture, port, device, figures); })
        ->Iterations(quick ? 20 : 1000)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    const int status = bench::runBenchmarks(argc, argv);
    if (status != 0)
        return status;
    // In the test suite's quick run, a loss that no xrun explains is the program's fault.
    if (quick && (figures.lostWithoutXrun > 0 || figures.failedOpens > 0)) {
        std::fprintf(stderr, "%zu GS reset(s) lost without an xrun, %zu open(s) failed\n",
            figures.lostWithoutXrun, figures.failedOpens);
        return 1;
    }
    return 0;
}
