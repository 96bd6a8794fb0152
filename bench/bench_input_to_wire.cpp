// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard to wire, in process: a message from a MIDI keyboard entering the program's input queue
// on a thread of its own, as a backend's reader pushes it, while the GUI thread sleeps in its
// event loop; then the GUI thread's wake-up, the start-up gate, the thru (or, for a Program
// Change, the previewer) and the MIDI port, until the bytes reach the device. The device records
// into fixed storage, so what allocates is the program's or the toolkit's.
#include "bench_main.h"
#include "heap_counter.h"
#include "midi/input/input_route.h"
#include "shown_program.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <random>
#include <span>
#include <thread>

using namespace tonalyx;
using bench::Clock;

namespace {

// A message that has not reached the device by then never will: the run is a failure.
constexpr auto kArrivalTimeout = std::chrono::seconds(2);
// Played before the timed ones, so that the figures are the steady state's.
constexpr int kWarmUp = 50;
// A player's messages come milliseconds apart at the least, with the GUI thread and the core it
// ran on idle in between, and at no set point of anything the program does: each message comes
// after a random pause of 2 to 6 ms. A core idle for that long wakes as slowly as after a longer
// pause; after a shorter one it may not have gone to sleep at all, which would flatter the figures.
constexpr int kShortestPauseUs = 2000;
constexpr int kLongestPauseUs = 6000;

// One device that takes everything and keeps the last message, the time it arrived and the main
// thread's allocation count then, without allocating itself; and the program's input, the queue
// a keyboard's messages enter.
class KeyboardAndRecorder final : public midi::MidiBackend {
public:
    midi::InputRoute* input() override { return &input_; }
    std::vector<midi::MidiPort> ports() override { return { { "recorder", "Bench recorder" } }; }
    std::unique_ptr<midi::MidiConnection> open(const std::string&) override
    {
        return std::make_unique<Connection>(*this);
    }

    midi::InputRoute& queue() { return input_; }
    std::uint64_t count() const { return count_; }
    const midi::ShortMessage& last() const { return last_; }
    Clock::time_point lastArrival() const { return lastArrival_; }
    std::uint64_t allocationsAtLastArrival() const { return allocationsAtLastArrival_; }

private:
    class Connection final : public midi::MidiConnection {
    public:
        explicit Connection(KeyboardAndRecorder& recorder)
            : recorder_(recorder)
        { }
        bool send(midi::MessageBytes message) override
        {
            auto& last = recorder_.last_;
            last = {};
            last.size = static_cast<std::uint8_t>(std::min(message.size(), last.data.size()));
            std::copy_n(message.begin(), last.size, last.data.begin());
            ++recorder_.count_;
            recorder_.lastArrival_ = Clock::now();
            recorder_.allocationsAtLastArrival_ = bench::allocationsOfThisThread();
            return true;
        }

    private:
        KeyboardAndRecorder& recorder_;
    };

    midi::InputRoute input_;
    midi::ShortMessage last_;
    std::uint64_t count_ = 0;
    Clock::time_point lastArrival_ {};
    std::uint64_t allocationsAtLastArrival_ = 0;
};

// The keyboard's side: a thread of its own that, when told, waits a moment and pushes its
// messages into the queue one after another, as a backend's reader does with what it reads.
class KeyboardThread {
public:
    static constexpr std::size_t kMaxMessages = 2;

    explicit KeyboardThread(midi::InputRoute& queue)
        : queue_(queue)
        , thread_([this] { run(); })
    { }
    ~KeyboardThread()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    KeyboardThread(const KeyboardThread&) = delete;
    KeyboardThread& operator=(const KeyboardThread&) = delete;

    // Plays `messages` after `pause`, without waiting for it.
    void play(std::span<const midi::ShortMessage> messages, std::chrono::microseconds pause)
    {
        {
            const std::lock_guard lock(mutex_);
            count_ = std::min(messages.size(), kMaxMessages);
            std::copy_n(messages.begin(), count_, messages_.begin());
            pause_ = pause;
            pending_ = true;
            played_ = false;
        }
        changed_.notify_all();
    }

    struct Played {
        Clock::time_point firstPush; // just before the first push
        std::uint64_t allocations = 0; // the keyboard thread's, over every push
        bool accepted = false; // every message taken by the queue
    };
    // Waits for the last play to have pushed everything.
    Played played()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return played_; });
        return result_;
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return pending_ || stopping_; });
            if (stopping_)
                return;
            pending_ = false;
            const auto messages = messages_;
            const auto count = count_;
            const auto pause = pause_;
            lock.unlock();
            std::this_thread::sleep_for(pause);
            Played result;
            result.accepted = true;
            const auto allocations = bench::allocationsOfThisThread();
            result.firstPush = Clock::now();
            for (std::size_t i = 0; i < count; ++i)
                queue_.push(messages[i].bytes());
            result.allocations = bench::allocationsOfThisThread() - allocations;
            lock.lock();
            result_ = result;
            played_ = true;
            changed_.notify_all();
        }
    }

    midi::InputRoute& queue_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<midi::ShortMessage, kMaxMessages> messages_ {};
    std::size_t count_ = 0;
    std::chrono::microseconds pause_ {};
    bool pending_ = false;
    bool played_ = false;
    bool stopping_ = false;
    Played result_;
    std::thread thread_; // last: it starts once everything it uses is made
};

// Notes the moment the GUI thread is first woken for the input's messages, and its allocation
// count then: where the program's own handling begins, after the event loop's wake-up.
class WakeMark : public QObject {
public:
    explicit WakeMark(QWidget& window)
    {
        for (auto* notifier : window.findChildren<QSocketNotifier*>())
            notifier->installEventFilter(this);
    }
    void clear() { seen_ = false; }
    bool seen() const { return seen_; }
    Clock::time_point time() const { return time_; }
    std::uint64_t allocations() const { return allocations_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::SockAct && !seen_) {
            allocations_ = bench::allocationsOfThisThread();
            time_ = Clock::now();
            seen_ = true;
        }
        return false;
    }

private:
    bool seen_ = false;
    Clock::time_point time_ {};
    std::uint64_t allocations_ = 0;
};

// What the keyboard plays in turn, and the message that ends its way to the device.
struct Step {
    std::vector<midi::ShortMessage> played;
    std::size_t sent; // how many messages reach the device
    midi::ShortMessage last;
};

struct Figures {
    bench::Samples wire; // from the first push to the last byte at the device
    bench::Samples program; // from the GUI thread's wake-up to the same
    std::uint64_t pushAllocations = 0; // most in any one message, on the keyboard's thread
    std::uint64_t programAllocations = 0; // most in any one message, wake-up to device
    std::uint64_t loopAllocations = 0; // all of them, the event loop before the wake-up
    std::uint64_t afterAllocations = 0; // all of them, after the last byte (readouts)
};

// Plays one step and waits for it on the GUI thread's event loop; false when the bytes did not
// arrive, or not those expected.
bool playAndWait(KeyboardAndRecorder& recorder, KeyboardThread& keyboard, WakeMark& mark,
    const Step& step, std::chrono::microseconds pause, Figures* figures)
{
    const auto expected = recorder.count() + step.sent;
    mark.clear();
    keyboard.play(step.played, pause);
    const auto allocations = bench::allocationsOfThisThread();
    const auto deadline = Clock::now() + pause + kArrivalTimeout;
    while (recorder.count() < expected && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const auto afterwards = bench::allocationsOfThisThread();
    const auto played = keyboard.played();
    if (!played.accepted || !mark.seen() || recorder.count() != expected
        || !(recorder.last() == step.last))
        return false;
    if (figures == nullptr)
        return true;
    figures->wire.add(recorder.lastArrival() - played.firstPush);
    figures->program.add(recorder.lastArrival() - mark.time());
    figures->pushAllocations = std::max(figures->pushAllocations, played.allocations);
    figures->programAllocations = std::max(
        figures->programAllocations, recorder.allocationsAtLastArrival() - mark.allocations());
    figures->loopAllocations += mark.allocations() - allocations;
    figures->afterAllocations += afterwards - recorder.allocationsAtLastArrival();
    return true;
}

void report(benchmark::State& state, Figures& figures)
{
    const auto count = double(std::max<std::size_t>(figures.wire.size(), 1));
    state.counters["p50_us"] = figures.wire.percentile(0.50);
    state.counters["p90_us"] = figures.wire.percentile(0.90);
    state.counters["p99_us"] = figures.wire.percentile(0.99);
    state.counters["max_us"] = figures.wire.max();
    state.counters["program_p50_us"] = figures.program.percentile(0.50);
    state.counters["program_p99_us"] = figures.program.percentile(0.99);
    state.counters["push_allocs_max"] = double(figures.pushAllocations);
    state.counters["program_allocs_max"] = double(figures.programAllocations);
    state.counters["loop_allocs_mean"] = double(figures.loopAllocations) / count;
    state.counters["after_allocs_mean"] = double(figures.afterAllocations) / count;
}

void keyboardToWire(benchmark::State& state, KeyboardAndRecorder& recorder,
    bench::ShownProgram& shown, const std::vector<Step>& steps)
{
    KeyboardThread keyboard(recorder.queue());
    WakeMark mark(shown.application().window());
    std::minstd_rand random(42);
    std::uniform_int_distribution<int> pauses(kShortestPauseUs, kLongestPauseUs);
    // Wakes the event loop now and then, so that a message that never arrives ends the wait.
    QTimer watchdog;
    watchdog.start(std::chrono::milliseconds(100));
    std::size_t next = 0;
    for (int i = 0; i < kWarmUp; ++i) {
        const auto& step = steps[next++ % steps.size()];
        if (!playAndWait(recorder, keyboard, mark, step, std::chrono::microseconds(pauses(random)),
                nullptr)) {
            state.SkipWithError("the keyboard's message did not reach the device");
            return;
        }
    }
    Figures figures;
    figures.wire.reserve(static_cast<std::size_t>(state.max_iterations));
    figures.program.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const auto& step = steps[next++ % steps.size()];
        if (!playAndWait(recorder, keyboard, mark, step, std::chrono::microseconds(pauses(random)),
                &figures)) {
            state.SkipWithError("the keyboard's message did not reach the device");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(recorder.lastArrival() - keyboard.played().firstPush)
                .count());
    }
    report(state, figures);
}

constexpr midi::ShortMessage message(std::uint8_t status, std::uint8_t first, std::uint8_t second)
{
    return { { status, first, second }, 3 };
}

constexpr midi::ShortMessage message(std::uint8_t status, std::uint8_t first)
{
    return { { status, first, 0 }, 2 };
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    auto owned = std::make_unique<KeyboardAndRecorder>();
    auto& recorder = *owned;
    std::vector<std::unique_ptr<midi::MidiBackend>> backends;
    backends.push_back(std::move(owned));
    midi::DeviceList devices(std::move(backends));
    bench::ShownProgram shown(devices);
    if (!shown.ready()) {
        std::fprintf(stderr, "the window did not become active\n");
        return 1;
    }

    // The keyboard plays on channel 3; everything sounds on channel 1. A Program Change with its
    // Bank Select selects a tone: the bank and program of the selection before, then the new.
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        { "InputToWire/note",
            { { { message(0x92, 60, 100) }, 1, message(0x90, 60, 100) },
                { { message(0x82, 60, 64) }, 1, message(0x80, 60, 64) } } },
        { "InputToWire/controller",
            { { { message(0xB2, 1, 100) }, 1, message(0xB0, 1, 100) },
                { { message(0xB2, 1, 0) }, 1, message(0xB0, 1, 0) } } },
        { "InputToWire/program-change",
            { { { message(0xB2, 0, 8), message(0xC2, 4) }, 5, message(0xC0, 4) },
                { { message(0xB2, 0, 0), message(0xC2, 5) }, 5, message(0xC0, 5) } } },
    };
    for (const auto& c : cases) {
        auto* registered = benchmark::RegisterBenchmark(
            c.name, [&recorder, &shown, &steps = c.steps](benchmark::State& state) {
                keyboardToWire(state, recorder, shown, steps);
            });
        registered->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(quick ? 3 : 1000);
    }
    return bench::runBenchmarks(argc, argv);
}
