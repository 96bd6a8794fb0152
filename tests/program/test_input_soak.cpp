// SPDX-License-Identifier: GPL-3.0-or-later
// A long run of random messages from a MIDI keyboard, played on a thread of its own as a real
// input's, while the GUI thread clicks, presses keys, switches devices and at last closes, against
// the whole program on recorded devices. Whatever the interleaving, every note the keyboard
// started on a device ends on that same device, at its own release or before the switch or close
// that leaves the device, and nothing reaches a device once it is closed.
#include "running_program.h"
#include "ui/key_shape.h"
#include "ui/preview_button.h"

#include <QPushButton>
#include <QTest>
#include <array>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

using namespace tonalyx;
using Bytes = std::vector<std::uint8_t>;
using CallKind = testing::RecordingBackend::CallKind;

namespace {

constexpr std::uint64_t kDefaultEvents = 100000;
constexpr std::int32_t kRefusingDevice = 2;
// The keyboard's notes cluster around the previews' (middle C and the keys near it), so that the
// two often hold the same note.
constexpr int kLowestNote = 48;
constexpr int kHighestNote = 76;

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const auto value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

// What one device is left sounding, as far as the messages it received tell. A preview starts
// its notes at velocity 127 and the keyboard here never does, so a note is known to be the
// keyboard's alone when no preview started it again since its last end.
struct DeviceSound {
    std::bitset<128> sounding;
    std::bitset<128> previewed;
    std::bitset<128> drums; // the keyboard's, on channel 10, where they stay
    bool sustained = false;
    bool open = false;

    std::bitset<128> keyboardNotes() const { return sounding & ~previewed; }
    static bool playsDrums(const Bytes& m) { return (m[0] & 0x0F) == 9 && (m[0] & 0xF0) <= 0xA0; }

    void hear(const Bytes& m)
    {
        const int kind = m[0] & 0xF0;
        if (m[0] == 0xF0)
            return;
        if (playsDrums(m)) {
            if (kind != 0xA0)
                drums.set(m[1], kind == 0x90 && m[2] > 0);
            return;
        }
        if (kind == 0xB0 && (m[1] == 120 || m[1] == 123)) {
            sounding.reset();
            previewed.reset();
        } else if (kind == 0xB0 && m[1] == 64 && (m[0] & 0x0F) == 0) {
            sustained = m[2] >= 64;
        } else if (kind == 0x90 && m[2] > 0) {
            sounding.set(m[1]);
            if (m[2] == 127)
                previewed.set(m[1]);
        } else if (kind == 0x80 || kind == 0x90) {
            sounding.reset(m[1]);
            previewed.reset(m[1]);
        }
    }
};

// The keyboard, on a thread of its own. The GUI thread hands it its share of the events one at a
// time, so that the two stay side by side however the threads are scheduled; at the end it plays
// on without waiting, through the close. The seed repeats what each plays, not how the two
// interleave.
class KeyboardThread {
public:
    KeyboardThread(testing::RecordingBackend& recorder, std::uint64_t seed)
        : recorder_(recorder)
        , random_(seed)
    { }
    ~KeyboardThread() { stop(); }
    KeyboardThread(const KeyboardThread&) = delete;
    KeyboardThread& operator=(const KeyboardThread&) = delete;

    // --- The GUI thread.
    void playOneMore()
    {
        change([this] { ++allowed_; });
    }
    void playFreely()
    {
        change([this] { free_ = true; });
    }
    void stop()
    {
        change([this] { stopping_ = true; });
        if (thread_.joinable())
            thread_.join();
    }

    // Read once the thread has stopped.
    std::uint64_t messages = 0;
    std::uint64_t notes = 0;
    std::uint64_t playedFreely = 0;

private:
    template <typename Change> void change(Change&& apply)
    {
        {
            const std::lock_guard lock(mutex_);
            apply();
        }
        wake_.notify_one();
    }

    void run()
    {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return allowed_ > 0 || free_ || stopping_; });
                if (stopping_)
                    return;
                if (allowed_ > 0)
                    --allowed_;
                else
                    ++playedFreely;
            }
            recorder_.play(randomMessage());
            ++messages;
        }
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    std::uint8_t data(int from, int to) { return std::uint8_t(from + pick(to - from + 1)); }

    Bytes randomMessage()
    {
        const auto channel = std::uint8_t(pick(16));
        const int roll = pick(100);
        if (roll < 30) {
            const auto note = data(kLowestNote, kHighestNote);
            holds_.set(note);
            ++notes;
            return { std::uint8_t(0x90 | channel), note, data(1, 126) };
        }
        if (roll < 55) {
            // Mostly a key the keyboard holds; sometimes one it does not.
            auto note = data(kLowestNote, kHighestNote);
            for (int tries = 0; tries < 8 && !holds_.test(note); ++tries)
                note = data(kLowestNote, kHighestNote);
            holds_.reset(note);
            return pick(2) == 0 ? Bytes { std::uint8_t(0x80 | channel), note, data(0, 127) }
                                : Bytes { std::uint8_t(0x90 | channel), note, 0 };
        }
        if (roll < 63)
            return { std::uint8_t(0xB0 | channel), 64,
                pick(2) == 0 ? std::uint8_t(0) : data(64, 127) };
        if (roll < 70)
            return { std::uint8_t(0xB0 | channel), std::uint8_t(pick(3) == 0 ? 0 : pick(120)),
                data(0, 127) };
        if (roll < 76)
            return { std::uint8_t(0xC0 | channel), data(0, 127) };
        if (roll < 82)
            return { std::uint8_t(0xE0 | channel), data(0, 127), data(0, 127) };
        if (roll < 86)
            return { std::uint8_t(0xA0 | channel), data(kLowestNote, kHighestNote), data(0, 127) };
        if (roll < 90)
            return { std::uint8_t(0xD0 | channel), data(0, 127) };
        // What a keyboard also sends, or a broken one: clock, system exclusive, cut short.
        const Bytes noise[] = { { 0xF8 }, { 0xFE }, { 0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7 },
            { 0x90, 60 }, { 60, 100 }, {} };
        return noise[pick(6)];
    }

    testing::RecordingBackend& recorder_;
    std::mt19937_64 random_;
    std::bitset<128> holds_; // the keys the keyboard holds down
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t allowed_ = 0;
    bool free_ = false;
    bool stopping_ = false;
    std::thread thread_ { [this] { run(); } };
};

// QTest warns of every release a button ignores (one pressed while its page was hidden, or let go
// of after a switch took the focus); on a long run they would be thousands of lines of nothing.
QtMessageHandler testLog = nullptr;
void quietAboutIgnoredReleases(
    QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!text.contains(QStringLiteral("not accepted by receiving widget")))
        testLog(type, context, text);
}

} // namespace

class TestInputSoak : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::RunningProgram> run_;
    std::mt19937_64 random_;
    std::map<std::int32_t, DeviceSound> devices_;
    std::unique_ptr<KeyboardThread> keyboard_;
    // What the test holds down: a mouse press and a computer key.
    QWidget* mouseHeldOn_ = nullptr;
    QWidget* keyHeldOn_ = nullptr;
    struct Tally {
        std::uint64_t previews = 0;
        std::uint64_t previewNotes = 0; // Note Ons of previews that reached a device
        std::uint64_t switches = 0;
        std::uint64_t notesEndedBySwitch = 0;
    } tally_;

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    std::uint8_t data(int from, int to) { return std::uint8_t(from + pick(to - from + 1)); }
    ui::MainWindow& window() { return run_->window(); }

    QWidget* randomPreviewControl()
    {
        const int roll = pick(3);
        if (roll == 0)
            return window().programButtons()[std::size_t(pick(ui::kGridButtons))];
        if (roll == 1)
            return window().bankButtons()[std::size_t(pick(ui::kGridButtons))];
        return window().keys()[std::size_t(pick(int(window().keys().size())))].shape;
    }

    void injectRandomEvent()
    {
        const int roll = pick(100);
        if (roll < 60) {
            keyboard_->playOneMore();
        } else if (roll < 72) {
            if (mouseHeldOn_ != nullptr) {
                QTest::mouseRelease(std::exchange(mouseHeldOn_, nullptr), Qt::LeftButton);
            } else {
                mouseHeldOn_ = randomPreviewControl();
                QTest::mousePress(mouseHeldOn_, Qt::LeftButton);
                ++tally_.previews;
            }
        } else if (roll < 82) {
            if (keyHeldOn_ != nullptr) {
                QTest::keyRelease(std::exchange(keyHeldOn_, nullptr), Qt::Key_A);
            } else {
                const auto& grid
                    = pick(2) == 0 ? window().programButtons() : window().bankButtons();
                keyHeldOn_ = grid[std::size_t(pick(ui::kGridButtons))];
                keyHeldOn_->setFocus();
                QTest::keyPress(keyHeldOn_, Qt::Key_A);
                ++tally_.previews;
            }
        } else if (roll < 88) {
            QPushButton* octaves[] = { &window().octaveDownButton(), &window().octaveNoneButton(),
                &window().octaveUpButton() };
            QTest::mouseClick(octaves[pick(3)], Qt::LeftButton);
        } else if (roll < 92) {
            QTest::mouseClick(&window().deviceSwitchButton(), Qt::LeftButton);
            ++tally_.switches;
        } else {
            // The GUI thread shows what the keyboard's Program Changes selected meanwhile.
            QCoreApplication::processEvents();
        }
    }

    // Takes in what the devices received since last asked; false, with the reason, on a message
    // the keyboard's thru must never send, one sent to a closed device, or a close that leaves
    // the keyboard's notes or pedal on.
    bool hearCalls(QString& fault)
    {
        const auto calls = run_->recorder().takeCalls();
        // A switch or the close ends what the keyboard holds on the device, then closes it.
        std::set<std::int32_t> closed;
        for (const auto& call : calls) {
            if (call.kind == CallKind::Close)
                closed.insert(call.device);
        }
        for (const auto& call : calls) {
            auto& device = devices_[call.device];
            if (call.kind == CallKind::Open) {
                device.open = call.accepted;
                continue;
            }
            if (call.kind == CallKind::Close) {
                device.open = false;
                if (device.keyboardNotes().any() || device.drums.any() || device.sustained) {
                    fault = QStringLiteral("device %1 closed with the keyboard's notes %2 on%3")
                                .arg(call.device)
                                .arg(QString::fromStdString(
                                    (device.keyboardNotes() | device.drums).to_string()))
                                .arg(device.sustained ? " and the pedal down" : "");
                    return false;
                }
                continue;
            }
            if (!device.open) {
                fault = QStringLiteral("a message reached device %1 while it was closed")
                            .arg(call.device);
                return false;
            }
            if (call.bytes.empty())
                continue;
            const auto& m = call.bytes;
            const bool silencing = (m[0] & 0xF0) == 0xB0 && m.size() == 3
                && (m[1] == 64 || m[1] == 120 || m[1] == 123) && m[2] == 0;
            if (m[0] != 0xF0 && !silencing && !DeviceSound::playsDrums(m) && (m[0] & 0x0F) != 0) {
                fault = QStringLiteral("a message on channel %1 reached device %2")
                            .arg((m[0] & 0x0F) + 1)
                            .arg(call.device);
                return false;
            }
            tally_.previewNotes += (m[0] & 0xF0) == 0x90 && m.size() == 3 && m[2] == 127;
            const auto before = device.sounding.count();
            device.hear(m);
            tally_.notesEndedBySwitch
                += closed.contains(call.device) && device.sounding.count() < before;
        }
        run_->platform.boxes.clear();
        run_->platform.pauses.clear();
        return true;
    }

private slots:
    void initTestCase() { testLog = qInstallMessageHandler(quietAboutIgnoredReleases); }
    void cleanupTestCase() { qInstallMessageHandler(testLog); }

    void keyboardNotesEndOnTheirDevice()
    {
        const std::uint64_t events = fromEnvironment("TONALYX_SOAK_EVENTS", kDefaultEvents);
        const std::uint64_t seed = fromEnvironment("TONALYX_SOAK_SEED",
            std::random_device {}() * 0x100000000ull + std::random_device {}());
        std::fprintf(stderr, "input soak: %llu events, seed %llu (repeat with TONALYX_SOAK_SEED)\n",
            static_cast<unsigned long long>(events), static_cast<unsigned long long>(seed));
        random_.seed(seed);

        run_ = std::make_unique<testing::RunningProgram>(
            std::vector<std::string> { "Synth A", "Synth B", "Refuses to open" });
        QVERIFY(run_->ready);
        run_->recorder().failOpenOf(kRefusingDevice);
        devices_[run_->currentDevice().number].open = true;
        keyboard_ = std::make_unique<KeyboardThread>(run_->recorder(), ~seed);
        const auto started = std::chrono::steady_clock::now();
        QString fault;
        for (std::uint64_t i = 1; i <= events; ++i) {
            injectRandomEvent();
            QVERIFY2(
                hearCalls(fault), qPrintable(QStringLiteral("event %1: %2").arg(i).arg(fault)));
        }

        // Everything the test still holds is let go of, except the keyboard's keys and pedal,
        // which the close must end; the keyboard goes on playing through the close.
        keyboard_->playFreely();
        if (mouseHeldOn_ != nullptr)
            QTest::mouseRelease(mouseHeldOn_, Qt::LeftButton);
        if (keyHeldOn_ != nullptr)
            QTest::keyRelease(keyHeldOn_, Qt::Key_A);
        QCoreApplication::processEvents();
        QVERIFY(window().close());
        keyboard_->stop();
        QVERIFY2(hearCalls(fault), qPrintable(fault));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;

        // Each device was closed with nothing of the keyboard's left on, and is closed now.
        std::uint64_t previewsLeft = 0;
        for (const auto& [number, device] : devices_) {
            QVERIFY2(!device.open, qPrintable(QStringLiteral("device %1 still open").arg(number)));
            previewsLeft += (device.sounding & device.previewed).count();
        }
        std::fprintf(stderr,
            "input soak: %llu keyboard messages (%llu notes; %llu of them played through the "
            "close), %llu previews (%llu notes), %llu switches, %llu notes ended by a switch or "
            "the close; %llu notes left by previews whose release named another note; %.1f s\n",
            static_cast<unsigned long long>(keyboard_->messages),
            static_cast<unsigned long long>(keyboard_->notes),
            static_cast<unsigned long long>(keyboard_->playedFreely),
            static_cast<unsigned long long>(tally_.previews),
            static_cast<unsigned long long>(tally_.previewNotes),
            static_cast<unsigned long long>(tally_.switches),
            static_cast<unsigned long long>(tally_.notesEndedBySwitch),
            static_cast<unsigned long long>(previewsLeft), took.count());
        if (events >= 5000) {
            QVERIFY(tally_.previewNotes > 0);
            QVERIFY(tally_.switches > 0);
            QVERIFY(tally_.notesEndedBySwitch > 0);
        }
    }
};

QTEST_MAIN(TestInputSoak)
#include "test_input_soak.moc"
