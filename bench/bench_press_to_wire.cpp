// Press to wire, in process: a real press and release entering at the window, through Qt's event
// delivery, the button or key, the previewer and the MIDI port, until the bytes are in the MIDI
// service. The service here records into fixed storage, so what allocates is the program's.
#include "bench_main.h"
#include "heap_counter.h"
#include "shown_program.h"

#include <QApplication>
#include <array>
#include <benchmark/benchmark.h>

using namespace tonalyx;
using bench::Clock;

namespace {

// One device that takes everything and keeps the last messages, the time each arrived and the
// main thread's allocation count then, without allocating itself.
class WireRecorder final : public midi::MidiOutService {
public:
    std::uint32_t deviceCount() override { return 1; }
    midi::MidiResult deviceCaps(std::int32_t device, midi::MidiOutCaps& caps) override
    {
        caps = {};
        constexpr std::string_view name = "Bench recorder";
        std::copy(name.begin(), name.end(), caps.productName.begin());
        return device == 0 ? midi::kMidiOk : midi::kMidiError;
    }
    midi::MidiResult open(midi::MidiOutHandle& handle, std::int32_t device) override
    {
        handle = device == 0 && !open_ ? kHandle : 0;
        open_ = open_ || handle == kHandle;
        return handle == kHandle ? midi::kMidiOk : midi::kMidiError;
    }
    midi::MidiResult close(midi::MidiOutHandle handle) override
    {
        if (!isOpen(handle))
            return midi::kMidiError;
        open_ = false;
        return midi::kMidiOk;
    }
    midi::MidiResult reset(midi::MidiOutHandle handle) override
    {
        return isOpen(handle) ? midi::kMidiOk : midi::kMidiError;
    }
    midi::MidiResult shortMessage(midi::MidiOutHandle handle, std::uint32_t packed) override
    {
        if (!isOpen(handle))
            return midi::kMidiError;
        messages_[count_ % messages_.size()] = packed;
        ++count_;
        lastArrival_ = Clock::now();
        allocationsAtLastArrival_ = bench::allocationsOfThisThread();
        return midi::kMidiOk;
    }
    midi::MidiResult prepareHeader(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override
    {
        if (!isOpen(handle))
            return midi::kMidiError;
        header.flags = 1;
        return midi::kMidiOk;
    }
    midi::MidiResult longMessage(
        midi::MidiOutHandle handle, midi::MidiLongMessageHeader& header) override
    {
        return isOpen(handle) && header.flags != 0 ? midi::kMidiOk : midi::kMidiError;
    }

    std::uint64_t count() const { return count_; }
    std::uint32_t last() const { return messages_[(count_ - 1) % messages_.size()]; }
    Clock::time_point lastArrival() const { return lastArrival_; }
    std::uint64_t allocationsAtLastArrival() const { return allocationsAtLastArrival_; }

private:
    static constexpr midi::MidiOutHandle kHandle = 1;
    bool isOpen(midi::MidiOutHandle handle) const { return open_ && handle == kHandle; }

    bool open_ = false;
    std::array<std::uint32_t, 16> messages_ {};
    std::uint64_t count_ = 0;
    Clock::time_point lastArrival_ {};
    std::uint64_t allocationsAtLastArrival_ = 0;
};

// A preview starts with a Note On at full velocity and ends with one at velocity 0, whatever its
// pitch (the keyboard's last key sets it).
constexpr std::uint32_t kStatusAndVelocity = 0xFF00FF;
constexpr std::uint32_t kNoteOn = 0x7F0090;
constexpr std::uint32_t kNoteOff = 0x000090;

struct Direction {
    bench::Samples wire; // from the event entering the window to the last byte in the service
    bench::Samples program; // from the control receiving it to the last byte in the service
    std::uint64_t programAllocations = 0; // most in any one event, control to service
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
    if (recorder.count() == before || (recorder.last() & kStatusAndVelocity) != lastExpected)
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
    const bench::ArrivalMark mark(control);
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
    WireRecorder recorder;
    bench::ShownProgram shown(recorder);
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
