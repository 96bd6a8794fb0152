// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard to wire, in process: a message from a MIDI keyboard pushed into the program's input
// route on a thread of its own, as a backend's input thread pushes it (JACK's process thread, the
// ALSA reader), and played through on that same thread: the thru (or, for a Program Change, the
// previewer) and the MIDI port, until the bytes are in the device's buffer. The device records
// into fixed storage, so what allocates is the program's. The GUI thread meanwhile either sleeps
// in its event loop or is kept busy in a loop of its own, as by a slot that runs long, to show
// that the input never waits for it.
#include "bench_main.h"
#include "heap_counter.h"
#include "midi/input/input_route.h"
#include "shown_program.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <mutex>
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
// A player's messages come milliseconds apart at the least, at no set point of anything the
// program does: each message comes after a random pause of 2 to 6 ms, the input's thread and
// the core it ran on idle in between, as a backend's input thread waits for its next period or
// its next event.
constexpr int kShortestPauseUs = 2000;
constexpr int kLongestPauseUs = 6000;

// One device that takes everything and keeps the last message, the time it arrived and the
// sending thread's allocation count then, without allocating itself; and the program's input,
// the route a keyboard's messages enter.
class KeyboardAndRecorder final : public midi::MidiBackend {
public:
    midi::InputRoute* input() override { return &input_; }
    std::vector<midi::MidiPort> ports() override { return { { "recorder", "Bench recorder" } }; }
    std::unique_ptr<midi::MidiConnection> open(const std::string&) override
    {
        return std::make_unique<Connection>(*this);
    }

    midi::InputRoute& route() { return input_; }
    std::uint64_t count() const { return count_.load(std::memory_order_acquire); }
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
            recorder_.lastArrival_ = Clock::now();
            recorder_.allocationsAtLastArrival_ = bench::allocationsOfThisThread();
            recorder_.count_.fetch_add(1, std::memory_order_release);
            return true;
        }

    private:
        KeyboardAndRecorder& recorder_;
    };

    midi::InputRoute input_;
    midi::ShortMessage last_;
    std::atomic<std::uint64_t> count_ { 0 };
    Clock::time_point lastArrival_ {};
    std::uint64_t allocationsAtLastArrival_ = 0;
};

// The keyboard's side: a thread of its own that, when told, waits a moment and pushes its
// messages into the route one after another, as a backend's input thread does with what it reads.
class KeyboardThread {
public:
    static constexpr std::size_t kMaxMessages = 2;

    // Made on the GUI thread, whose event loop it wakes once everything is pushed.
    explicit KeyboardThread(midi::InputRoute& route)
        : route_(route)
        , gui_(QAbstractEventDispatcher::instance())
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
        ++asked_;
        changed_.notify_all();
    }

    // Whether the last play has pushed everything: without a lock, for the thread that plays,
    // spinning.
    bool done() const { return plays_.load(std::memory_order_acquire) == asked_; }

    struct Played {
        Clock::time_point firstPush; // just before the first push
        std::uint64_t allocations = 0; // the keyboard thread's, over every push
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
            const auto allocations = bench::allocationsOfThisThread();
            result.firstPush = Clock::now();
            for (std::size_t i = 0; i < count; ++i)
                route_.push(messages[i].bytes());
            result.allocations = bench::allocationsOfThisThread() - allocations;
            lock.lock();
            result_ = result;
            played_ = true;
            plays_.fetch_add(1, std::memory_order_release);
            changed_.notify_all();
            // Nothing else wakes it: the message went through without it.
            gui_->wakeUp();
        }
    }

    midi::InputRoute& route_;
    QAbstractEventDispatcher* gui_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<midi::ShortMessage, kMaxMessages> messages_ {};
    std::size_t count_ = 0;
    std::chrono::microseconds pause_ {};
    bool pending_ = false;
    bool played_ = false;
    bool stopping_ = false;
    Played result_;
    std::atomic<std::uint64_t> plays_ { 0 };
    // The plays asked for so far: the playing thread's own.
    std::uint64_t asked_ = 0;
    std::thread thread_; // last: it starts once everything it uses is made
};

// What the keyboard plays in turn, and the message that ends its way to the device.
struct Step {
    std::vector<midi::ShortMessage> played;
    std::size_t sent; // how many messages reach the device
    midi::ShortMessage last;
};

// What the GUI thread does while the keyboard plays.
enum class GuiThread {
    Idle, // asleep in its event loop
    Busy, // spinning in a loop of its own, away from its event loop, holding nothing
};

struct Figures {
    bench::Samples wire; // from the first push to the last byte at the device
    std::uint64_t allocations = 0; // most in any one message, on the keyboard's thread
};

// Plays one step and waits for it on the GUI thread; false when the bytes did not arrive, or not
// those expected.
bool playAndWait(KeyboardAndRecorder& recorder, KeyboardThread& keyboard, const Step& step,
    std::chrono::microseconds pause, GuiThread gui, Figures* figures)
{
    const auto expected = recorder.count() + step.sent;
    keyboard.play(step.played, pause);
    const auto deadline = Clock::now() + pause + kArrivalTimeout;
    if (gui == GuiThread::Busy) {
        while (!keyboard.done() && Clock::now() < deadline) { }
    } else {
        while (recorder.count() < expected && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const auto played = keyboard.played();
    if (recorder.count() != expected || !(recorder.last() == step.last))
        return false;
    // The readouts follow a Program Change on the GUI thread, outside the figures.
    QCoreApplication::processEvents();
    if (figures == nullptr)
        return true;
    figures->wire.add(recorder.lastArrival() - played.firstPush);
    figures->allocations = std::max(figures->allocations, played.allocations);
    return true;
}

void report(benchmark::State& state, Figures& figures)
{
    state.counters["p50_us"] = figures.wire.percentile(0.50);
    state.counters["p90_us"] = figures.wire.percentile(0.90);
    state.counters["p99_us"] = figures.wire.percentile(0.99);
    state.counters["max_us"] = figures.wire.max();
    state.counters["push_allocs_max"] = double(figures.allocations);
}

void keyboardToWire(benchmark::State& state, KeyboardAndRecorder& recorder,
    const std::vector<Step>& steps, GuiThread gui)
{
    KeyboardThread keyboard(recorder.route());
    std::minstd_rand random(42);
    std::uniform_int_distribution<int> pauses(kShortestPauseUs, kLongestPauseUs);
    // Wakes the event loop now and then, so that a message that never arrives ends the wait.
    QTimer watchdog;
    watchdog.start(std::chrono::milliseconds(100));
    std::size_t next = 0;
    Figures figures;
    figures.wire.reserve(static_cast<std::size_t>(state.max_iterations));
    for (int i = 0; i < kWarmUp; ++i) {
        const auto& step = steps[next++ % steps.size()];
        if (!playAndWait(recorder, keyboard, step, std::chrono::microseconds(pauses(random)), gui,
                nullptr)) {
            state.SkipWithError("the keyboard's message did not reach the device");
            return;
        }
    }
    for (auto _ : state) {
        const auto& step = steps[next++ % steps.size()];
        if (!playAndWait(recorder, keyboard, step, std::chrono::microseconds(pauses(random)), gui,
                &figures)) {
            state.SkipWithError("the keyboard's message did not reach the device");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(recorder.lastArrival() - keyboard.played().firstPush)
                .count());
    }
    // The rest of the round, untimed: every key pressed is released before the next run.
    while (next % steps.size() != 0) {
        if (!playAndWait(recorder, keyboard, steps[next++ % steps.size()],
                std::chrono::microseconds(kShortestPauseUs), gui, nullptr)) {
            state.SkipWithError("the keyboard's message did not reach the device");
            return;
        }
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
        { "note",
            { { { message(0x92, 60, 100) }, 1, message(0x90, 60, 100) },
                { { message(0x82, 60, 64) }, 1, message(0x80, 60, 64) } } },
        { "controller",
            { { { message(0xB2, 1, 100) }, 1, message(0xB0, 1, 100) },
                { { message(0xB2, 1, 0) }, 1, message(0xB0, 1, 0) } } },
        { "program-change",
            { { { message(0xB2, 0, 8), message(0xC2, 4) }, 5, message(0xC0, 4) },
                { { message(0xB2, 0, 0), message(0xC2, 5) }, 5, message(0xC0, 5) } } },
    };
    const struct {
        const char* name;
        GuiThread gui;
    } guiThreads[] = { { "gui-idle", GuiThread::Idle }, { "gui-busy", GuiThread::Busy } };
    for (const auto& gui : guiThreads) {
        for (const auto& c : cases) {
            const auto name = std::string("InputToWire/") + c.name + "/" + gui.name;
            benchmark::RegisterBenchmark(name.c_str(),
                [&recorder, &steps = c.steps, mode = gui.gui](
                    benchmark::State& state) { keyboardToWire(state, recorder, steps, mode); })
                ->Unit(benchmark::kMicrosecond)
                ->UseManualTime()
                ->Iterations(quick ? 3 : 1000);
        }
    }
    return bench::runBenchmarks(argc, argv);
}
