// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synth on its own, without the program around it and without an audio output (its
// sound is rendered by hand): the time and memory its open takes, what a press costs the calling
// thread for every preset of the fonts when each is heard for the first time, and what the synth
// costs while nothing sounds, with and without reverb and chorus.
#include "bench_main.h"
#include "builtin_synth_peer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace tonalyx;
using Clock = std::chrono::steady_clock;

namespace {

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// Loading the fonts (the first open of device 0), and the memory they add.
void open(benchmark::State& state)
{
    long added = 0;
    for (auto _ : state) {
        const auto before = residentKb();
        testing::OpenedSynth opened;
        if (!opened.connection) {
            state.SkipWithError("the built-in synth did not open");
            return;
        }
        // Freed memory stays with the process, so only the first load shows what the fonts add.
        added = std::max(added, residentKb() - before);
        state.PauseTiming();
        opened.connection.reset();
        state.ResumeTiming();
    }
    state.counters["resident_added_kb"] = double(added);
}

// Asks the synth to read a preset ahead and waits until it has.
bool prefetch(testing::OpenedSynth& opened, int bank, int program)
{
    opened.connection->prepare(bank, program);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        const auto held = testing::BuiltInSynthPeer::prefetched(opened.synth());
        // A missing variation is held as its bank 0 preset.
        if (std::ranges::any_of(held, [&](const auto& preset) {
                return preset.program == program && (preset.bank == bank || preset.bank == 0);
            }))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Bank select, Program Change and Note On for every bank and program a press can ask for, each
// for the first time (a missing variation falls back to its bank 0 preset): the time the calling
// thread spends in them, which with dynamic sample loading includes reading the samples. Read
// ahead, each preset is first prepared, as the pointer arriving on its button does, and pressed
// once the synth has read it.
void pressEveryPreset(benchmark::State& state, bool quick, bool readAhead)
{
    testing::OpenedSynth opened;
    if (!opened.connection) {
        state.SkipWithError("the built-in synth did not open");
        return;
    }
    auto& connection = *opened.connection;
    std::vector<double> presses;
    const auto banks
        = quick ? std::vector<int> { 0 } : std::vector<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16 };
    for (auto _ : state) {
        for (const int bank : banks) {
            for (int program = 0; program < (quick ? 3 : 128); ++program) {
                if (readAhead && !prefetch(opened, bank, program)) {
                    state.SkipWithError("the preset was not read ahead");
                    return;
                }
                const auto start = Clock::now();
                connection.send(midi::bankSelectMsb(bank).bytes());
                connection.send(midi::programChange(program).bytes());
                connection.send(midi::noteOn(60).bytes());
                presses.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
                connection.send(midi::noteOff(60).bytes());
                connection.reset();
            }
        }
    }
    std::sort(presses.begin(), presses.end());
    state.counters["presses"] = double(presses.size());
    state.counters["press_p50_us"] = presses[presses.size() / 2];
    state.counters["press_p90_us"] = presses[presses.size() * 9 / 10];
    state.counters["press_p99_us"] = presses[presses.size() * 99 / 100];
    state.counters["press_max_us"] = presses.back();
    state.counters["resident_kb"] = double(residentKb());
}

// One second of output while nothing sounds: what the audio thread spends rendering silence. The
// time per iteration, in milliseconds, divided by ten is the share of one core.
void renderSilence(benchmark::State& state, bool effects)
{
    testing::OpenedSynth opened;
    if (!opened.connection) {
        state.SkipWithError("the built-in synth did not open");
        return;
    }
    auto& synth = opened.synth();
    testing::BuiltInSynthPeer::setEffects(synth, effects);
    // The periods the audio output asks for: 128 frames at 48 kHz.
    std::vector<float> left(128), right(128);
    for (auto _ : state) {
        for (int period = 0; period < 48000 / 128; ++period)
            testing::BuiltInSynthPeer::render(synth, left, right);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    auto* opened
        = benchmark::RegisterBenchmark("BuiltInSynth/open", open)->Unit(benchmark::kMillisecond);
    for (const bool readAhead : { false, true }) {
        benchmark::RegisterBenchmark(readAhead ? "BuiltInSynth/press-every-preset/read-ahead"
                                               : "BuiltInSynth/press-every-preset",
            [quick, readAhead](
                benchmark::State& state) { pressEveryPreset(state, quick, readAhead); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    auto* silentOn = benchmark::RegisterBenchmark(
        "BuiltInSynth/render-1s-of-silence/effects-on", [](benchmark::State& state) {
            renderSilence(state, true);
        })->Unit(benchmark::kMillisecond);
    auto* silentOff = benchmark::RegisterBenchmark(
        "BuiltInSynth/render-1s-of-silence/effects-off", [](benchmark::State& state) {
            renderSilence(state, false);
        })->Unit(benchmark::kMillisecond);
    if (quick) {
        for (auto* registered : { opened, silentOn, silentOff })
            registered->Iterations(1);
    } else {
        opened->Iterations(5);
    }
    return bench::runBenchmarks(argc, argv);
}
