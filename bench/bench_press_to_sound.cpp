// SPDX-License-Identifier: GPL-3.0-or-later
// Press to sound on the built-in synth: a mouse press on a program button entering at the window,
// until the first audible sample of the synth's output would leave the sound server: the block
// holding it handed to PulseAudio, plus what the server still had to play before it, plus the
// sample's place in the block (sound_probe.h). Kinds of press: the same preset again, a preset
// heard before with another one since, and a preset's first use in the run, with the pointer
// resting on the button 150 ms before the press (its samples are read ahead meanwhile) or
// arriving with the press itself. Each press comes once the output has stopped rendering, as after
// a person's pause; one set comes in quick succession, the output still running.
// Beside the presses, a note from a MIDI keyboard on JACK: from the period in which it reaches the
// program's input "in" until the same first audible sample, on the preset of Button5.
// Then the whole process's CPU time while it sits idle after a note and its reverb have died
// away, and its resident memory.
// Needs a PulseAudio server (PULSE_SERVER); a null sink serves on a machine without a sound card.
// The keyboard's note needs a JACK server too (JACK_DEFAULT_SERVER); without one it is left out.
#include "bench_main.h"
#include "builtin_synth_peer.h"
#include "heap_counter.h"
#include "midi/builtin/pulse_audio_output.h"
#include "midi/jack/jack_backend.h"
#include "midi/system_devices.h"
#include "shown_program.h"
#include "sound_probe.h"
#include "timed_devices.h"
#include "timed_midi_source.h"

#include <QApplication>
#include <QTest>
#include <benchmark/benchmark.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace tonalyx;
using bench::Clock;

namespace {

const std::string kClient = "tonalyx-sound-bench";
constexpr auto kTimeout = std::chrono::seconds(3);
constexpr auto kPause = std::chrono::milliseconds(50);

bool waitFor(const auto& condition, Clock::duration timeout = kTimeout)
{
    const auto deadline = Clock::now() + timeout;
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

// How a press comes.
struct Approach {
    // After the output has stopped rendering (a pause), or as soon as the last note is silent.
    bool fromIdle = true;
    // How long the pointer rests on the button before the press; none: it arrives with it.
    std::optional<std::chrono::milliseconds> hover;
};

class Presser {
public:
    Presser(bench::ShownProgram& shown, const bench::SendMarks& marks, midi::BuiltInSynth& synth,
        const midi::PulseAudioOutput& output)
        : shown_(shown)
        , marks_(marks)
        , synth_(synth)
        , output_(output)
    { }

    enum class Outcome { Heard, Silent, NeverQuiet };

    // One press and release of the program button `number`. Silent when no sound came: a few
    // presets have no sample at the preview's pitch.
    Outcome pressAndRelease(
        int number, const Approach& approach, Figures& figures, Clock::duration& sound)
    {
        auto& probe = bench::SoundProbe::instance();
        if (!waitForSilence(approach))
            return Outcome::NeverQuiet;
        auto* button = shown_.control(QStringLiteral("Button%1").arg(number));
        if (approach.hover) {
            bench::hover(button);
            QTest::qWait(static_cast<int>(approach.hover->count()));
        }
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
        if (!heard) {
            std::fprintf(stderr, "Button%d: no sound at the preview's pitch\n", number);
            return Outcome::Silent;
        }
        sound = probe.heardAt() - start;
        figures.sound.add(sound);
        figures.handedOver.add(probe.handedOverAt() - start);
        figures.server.add(probe.serverLatency());
        figures.inProgram.add(returned - start);
        figures.allocations.addValue(double(allocations));
        return Outcome::Heard;
    }

    // One Note On and its Note Off from `keyboard` into the program's input, after a pause.
    Outcome playAndRelease(
        bench::TimedMidiSource& keyboard, Figures& figures, Clock::duration& sound)
    {
        auto& probe = bench::SoundProbe::instance();
        if (!waitForSilence({}))
            return Outcome::NeverQuiet;
        probe.arm();
        const auto written = keyboard.written().messages;
        const std::array<std::uint8_t, 3> noteOn { 0x90, 60, 100 };
        keyboard.play(noteOn);
        const bool heard = waitFor([&] { return probe.heard(); });
        const auto period = keyboard.written();
        const auto returned = marks_.lastReturn;
        const std::array<std::uint8_t, 3> noteOff { 0x80, 60, 64 };
        keyboard.play(noteOff);
        waitFor([&] { return keyboard.written().messages >= written + 2; });
        synth_.silence();
        if (!heard || period.messages != written + 1) {
            std::fprintf(stderr, "the keyboard's note gave no sound\n");
            return Outcome::Silent;
        }
        // The keyboard's process callback wrote it; the program's runs next in the same period.
        sound = probe.heardAt() - period.time;
        figures.sound.add(sound);
        figures.handedOver.add(probe.handedOverAt() - period.time);
        figures.server.add(probe.serverLatency());
        figures.inProgram.add(returned - period.time);
        return Outcome::Heard;
    }

private:
    // Every press starts from silence, so that its own first sample is the one found.
    bool waitForSilence(const Approach& approach)
    {
        auto& probe = bench::SoundProbe::instance();
        const bool quiet = approach.fromIdle
            ? waitFor([&] { return output_.idle(); }, std::chrono::seconds(10))
            : waitFor([&] { return probe.silentPeriods() >= 2; });
        // A pause, however short, lets the server play out the silence the output wrote last
        // before it stopped.
        if (quiet && approach.fromIdle)
            std::this_thread::sleep_for(kPause);
        return quiet;
    }

    bench::ShownProgram& shown_;
    const bench::SendMarks& marks_;
    midi::BuiltInSynth& synth_;
    const midi::PulseAudioOutput& output_;
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
    // Counted on the GUI thread, for presses only.
    if (!figures.allocations.empty()) {
        state.counters["press_allocs_p50"] = figures.allocations.percentile(0.5);
        state.counters["press_allocs_max"] = figures.allocations.max();
    }
}

// Runs `once` (a press, say), one per iteration: `once(index, figures, sound)`.
void run(benchmark::State& state, const auto& once)
{
    Figures figures;
    figures.reserve(static_cast<std::size_t>(state.max_iterations));
    int index = 0;
    int silent = 0;
    for (auto _ : state) {
        Clock::duration sound {};
        switch (once(index++, figures, sound)) {
        case Presser::Outcome::Heard:
            state.SetIterationTime(std::chrono::duration<double>(sound).count());
            break;
        case Presser::Outcome::Silent:
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

// utime + stime of every thread of the process so far, in clock ticks.
long processTicks()
{
    std::ifstream file("/proc/self/stat");
    const std::string stat { std::istreambuf_iterator<char>(file), {} };
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; rest >> field && index <= 15; ++index) {
        if (index >= 14)
            ticks += std::stol(field);
    }
    return ticks;
}

// A note with reverb and chorus, `held` (the times the server ran dry meanwhile are counted); once
// it and its tail have died away and the output has stopped rendering, the whole process's CPU
// time over `idle`; then the next note must be heard again.
void idleAfterNote(benchmark::State& state, bench::ShownProgram& shown, midi::BuiltInSynth& synth,
    const midi::PulseAudioOutput& output, std::chrono::milliseconds held, std::chrono::seconds idle,
    long residentAfterStartUp)
{
    auto& probe = bench::SoundProbe::instance();
    auto* button = shown.control(QStringLiteral("Button5"));
    testing::BuiltInSynthPeer::setEffects(synth, true);
    for (auto _ : state) {
        const auto underflows = output.counters().underflows;
        bench::press(button, bench::Gesture::Mouse);
        QTest::qWait(static_cast<int>(held.count()));
        bench::release(button, bench::Gesture::Mouse);
        // Each one a gap in the sound on a real sound card.
        state.counters["underflows_while_held"] = double(output.counters().underflows - underflows);
        state.counters["held_seconds"] = std::chrono::duration<double>(held).count();
        if (!waitFor([&] { return output.idle(); }, std::chrono::seconds(20))) {
            state.SkipWithError("the output went on rendering after the note's tail");
            break;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const long before = processTicks();
        const auto start = Clock::now();
        std::this_thread::sleep_for(idle);
        const long ticks = processTicks() - before;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["idle_cpu_percent"]
            = 100.0 * double(ticks) / double(sysconf(_SC_CLK_TCK)) / seconds;
        state.counters["idle_seconds"] = seconds;
        probe.arm();
        bench::press(button, bench::Gesture::Mouse);
        state.counters["heard_after_idle"] = waitFor([&] { return probe.heard(); }) ? 1 : 0;
        bench::release(button, bench::Gesture::Mouse);
        synth.silence();
    }
    testing::BuiltInSynthPeer::setEffects(synth, false);
    state.counters["resident_after_start_up_kb"] = double(residentAfterStartUp);
    state.counters["resident_after_presses_kb"] = double(residentKb());
    state.counters["prefetched_presets"]
        = double(testing::BuiltInSynthPeer::prefetched(synth).size());
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
    // After the synth, so that the synth is the first device, the one the program starts on.
    const bool jackInput = backends.emplace_back(midi::makeJackBackend(kClient)) != nullptr;
    if (!jackInput)
        backends.pop_back();
    bench::SendMarks marks;
    midi::DeviceList devices(bench::timed(std::move(backends), marks));
    bench::ShownProgram shown(devices);
    auto* synth = testing::BuiltInSynthPeer::synthOf(builtIn);
    const auto* output = synth == nullptr
        ? nullptr
        : dynamic_cast<const midi::PulseAudioOutput*>(testing::BuiltInSynthPeer::output(*synth));
    if (!shown.ready() || output == nullptr) {
        std::fprintf(stderr, "the built-in synth did not open on PulseAudio (PULSE_SERVER?)\n");
        return 1;
    }
    const long residentAfterStartUp = residentKb();
    // Without reverb and chorus the output is silent as soon as the notes are cut, so each
    // press can start from silence at once; the notes themselves sound the same and as soon.
    testing::BuiltInSynthPeer::setEffects(*synth, false);
    Presser presser(shown, marks, *synth, *output);

    // Program buttons 7 to 128 select presets that nothing has selected since start-up (the GS
    // reset selects the first piano), taken in turn with and without a pointer resting on them
    // first; Button5 and Button6 are kept for the other kinds.
    const int firstUses = quick ? 2 : 61;
    const int presses = quick ? 3 : 200;
    const Approach afterAPause;
    const Approach inQuickSuccession { .fromIdle = false, .hover = std::nullopt };
    const Approach pointerResting { .fromIdle = true, .hover = std::chrono::milliseconds(150) };
    const auto registerRun
        = [&](const char* name, const Approach& approach, int iterations, auto next) {
              benchmark::RegisterBenchmark(name,
                  [&presser, approach, next](benchmark::State& state) {
                      run(state, [&](int index, Figures& figures, Clock::duration& sound) {
                          return presser.pressAndRelease(next(index), approach, figures, sound);
                      });
                  })
                  ->Iterations(iterations)
                  ->UseManualTime()
                  ->Unit(benchmark::kMillisecond);
          };
    registerRun("PressToSound/first-use/pointer-resting-150ms", pointerResting, firstUses,
        [](int index) { return 7 + 2 * index; });
    registerRun("PressToSound/first-use/pointer-arriving-with-the-press", afterAPause, firstUses,
        [](int index) { return 8 + 2 * index; });
    registerRun("PressToSound/same-preset-again", afterAPause, presses, [](int) { return 5; });
    registerRun("PressToSound/same-preset-again/in-quick-succession", inQuickSuccession, presses,
        [](int) { return 5; });
    registerRun("PressToSound/heard-before-another-since", afterAPause, presses,
        [](int index) { return 5 + index % 2; });
    // The keyboard plays on the preset of Button5, selected by a press first.
    std::optional<bench::TimedMidiSource> keyboard;
    if (jackInput)
        keyboard.emplace(
            "tonalyx-sound-bench-keyboard", std::initializer_list<const char*> { "out" });
    if (keyboard && keyboard->isConnected() && keyboard->connect(0, kClient + ":in")) {
        benchmark::RegisterBenchmark("InputToSound/note-from-jack",
            [&](benchmark::State& state) {
                Clock::duration ignored {};
                Figures none;
                presser.pressAndRelease(5, afterAPause, none, ignored);
                run(state, [&](int, Figures& figures, Clock::duration& sound) {
                    return presser.playAndRelease(*keyboard, figures, sound);
                });
            })
            ->Iterations(presses)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    } else {
        std::fprintf(stderr, "no JACK server: the keyboard's note is left out\n");
    }
    const auto idle = std::chrono::seconds(quick ? 1 : 10);
    const auto held = std::chrono::milliseconds(quick ? 500 : 10000);
    benchmark::RegisterBenchmark("IdleAfterNote",
        [&, held, idle](benchmark::State& state) {
            idleAfterNote(state, shown, *synth, *output, held, idle, residentAfterStartUp);
        })
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return bench::runBenchmarks(argc, argv);
}
