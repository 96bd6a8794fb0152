// SPDX-License-Identifier: GPL-3.0-or-later
// Press to wire, in process: a real press and release entering at the window, through Qt's event
// delivery, the button or key, the previewer and the MIDI port, until the bytes reach the device.
// The device here records into fixed storage, so what allocates is the program's.
#include "bench_main.h"
#include "heap_counter.h"
#include "shown_program.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <array>
#include <benchmark/benchmark.h>

using namespace tonalyx;
using bench::Clock;

namespace {

// One device that takes everything and keeps the last messages' status and velocity, the time
// each arrived and the main thread's allocation count then, without allocating itself.
class WireRecorder final : public midi::MidiBackend {
public:
    std::vector<midi::MidiPort> ports() override { return { { "recorder", "Bench recorder" } }; }
    std::unique_ptr<midi::MidiConnection> open(const std::string&) override
    {
        return std::make_unique<Connection>(*this);
    }

    std::uint64_t count() const { return count_; }
    std::uint32_t last() const { return last_; }
    Clock::time_point lastArrival() const { return lastArrival_; }
    std::uint64_t allocationsAtLastArrival() const { return allocationsAtLastArrival_; }

private:
    class Connection final : public midi::MidiConnection {
    public:
        explicit Connection(WireRecorder& recorder)
            : recorder_(recorder)
        { }
        bool send(midi::MessageBytes message) override
        {
            recorder_.last_ = message.empty()
                ? 0
                : message[0] + (message.size() > 2 ? 65536u * message[2] : 0u);
            ++recorder_.count_;
            recorder_.lastArrival_ = Clock::now();
            recorder_.allocationsAtLastArrival_ = bench::allocationsOfThisThread();
            return true;
        }

    private:
        WireRecorder& recorder_;
    };

    std::uint32_t last_ = 0;
    std::uint64_t count_ = 0;
    Clock::time_point lastArrival_ {};
    std::uint64_t allocationsAtLastArrival_ = 0;
};

// A preview starts with a Note On at full velocity and ends with one at velocity 0, whatever its
// pitch (the keyboard's last key sets it): status + 65536 x velocity.
constexpr std::uint32_t kNoteOn = 0x7F0090;
constexpr std::uint32_t kNoteOff = 0x000090;

struct Direction {
    bench::Samples wire; // from the event entering the window to the last byte at the device
    bench::Samples program; // from the control receiving it to the last byte at the device
    std::uint64_t programAllocations = 0; // most in any one event, control to device
    std::uint64_t deliveryAllocations = 0; // all of them, window to control

    void reserve(std::size_t count)
    {
        wire.reserve(count);
        program.reserve(count);
    }
};

// Sends one gesture and notes its figures; false when it sent nothing or not what was expected.
bool measure(WireRecorder& recorder, const bench::ArrivalMark& mark, QWidget* control,
    bench::Gesture gesture, bool down, std::uint32_t lastExpected, Direction& into)
{
    const auto before = recorder.count();
    const auto allocations = bench::allocationsOfThisThread();
    const auto start = Clock::now();
    if (down)
        bench::press(control, gesture);
    else
        bench::release(control, gesture);
    if (recorder.count() == before || recorder.last() != lastExpected)
        return false;
    into.wire.add(recorder.lastArrival() - start);
    into.program.add(recorder.lastArrival() - mark.time());
    into.programAllocations = std::max(
        into.programAllocations, recorder.allocationsAtLastArrival() - mark.allocations());
    into.deliveryAllocations += mark.allocations() - allocations;
    return true;
}

void report(benchmark::State& state, const char* prefix, Direction& figures)
{
    const std::string p = prefix;
    state.counters[p + "_p50_us"] = figures.wire.percentile(0.50);
    state.counters[p + "_p99_us"] = figures.wire.percentile(0.99);
    state.counters[p + "_max_us"] = figures.wire.max();
    state.counters[p + "_program_p50_us"] = figures.program.percentile(0.50);
    state.counters[p + "_program_p99_us"] = figures.program.percentile(0.99);
    state.counters[p + "_program_allocs_max"] = double(figures.programAllocations);
    state.counters[p + "_delivery_allocs_mean"] = double(figures.deliveryAllocations)
        / double(std::max<std::size_t>(figures.wire.size(), 1));
}

void pressAndRelease(benchmark::State& state, WireRecorder& recorder, bench::ShownProgram& shown,
    const char* controlName, bench::Gesture gesture)
{
    auto* control = shown.control(QString::fromLatin1(controlName));
    if (control == nullptr) {
        state.SkipWithError("no such control");
        return;
    }
    if (gesture == bench::Gesture::Key)
        bench::focus(control);
    // An item view takes its mouse events through its viewport.
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    const bench::ArrivalMark mark(area != nullptr ? area->viewport() : control);
    Direction down, up;
    down.reserve(static_cast<std::size_t>(state.max_iterations));
    up.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        if (!measure(recorder, mark, control, gesture, true, kNoteOn, down)
            || !measure(recorder, mark, control, gesture, false, kNoteOff, up)) {
            state.SkipWithError("the gesture did not send its preview");
            return;
        }
    }
    report(state, "press", down);
    report(state, "release", up);
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    auto owned = std::make_unique<WireRecorder>();
    auto& recorder = *owned;
    std::vector<std::unique_ptr<midi::MidiBackend>> backends;
    backends.push_back(std::move(owned));
    midi::DeviceList devices(std::move(backends));
    bench::ShownProgram shown(devices);
    if (!shown.ready()) {
        std::fprintf(stderr, "the window did not become active\n");
        return 1;
    }

    const struct {
        const char* control;
        bench::Gesture gesture;
        const char* name;
    } cases[] = {
        { "Button5", bench::Gesture::Mouse, "PressToWire/mouse/Button5" },
        { "Button137", bench::Gesture::Mouse, "PressToWire/mouse/Button137" },
        { "Shape41", bench::Gesture::Mouse, "PressToWire/mouse/Shape41" },
        { "FinderList", bench::Gesture::Mouse, "PressToWire/mouse/FinderList" },
        { "Button5", bench::Gesture::Key, "PressToWire/key/Button5" },
        { "Button137", bench::Gesture::Key, "PressToWire/key/Button137" },
    };
    for (const auto& c : cases) {
        auto* registered
            = benchmark::RegisterBenchmark(c.name, [&recorder, &shown, c](benchmark::State& state) {
                  pressAndRelease(state, recorder, shown, c.control, c.gesture);
              });
        registered->Unit(benchmark::kMicrosecond);
        if (quick)
            registered->Iterations(3);
    }
    return bench::runBenchmarks(argc, argv);
}
