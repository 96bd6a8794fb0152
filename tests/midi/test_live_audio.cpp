// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <pulse/error.h>
#include <pulse/simple.h>

using namespace tonalyx;

namespace {

constexpr int kRate = 48000;
constexpr double kAudible = 0.003; // -50 dBFS
constexpr double kSilent = 0.0005; // -66 dBFS, a few steps of 16-bit audio

using Recorder = std::unique_ptr<pa_simple, decltype(&pa_simple_free)>;

// Records what the fixture's null sink "cap" plays, through its monitor.
Recorder recordSink()
{
    const pa_sample_spec spec { PA_SAMPLE_S16LE, kRate, 2 };
    pa_buffer_attr attr {};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = kRate / 100 * 4; // 10 ms
    int error = 0;
    return { pa_simple_new(nullptr, "tonalyx-test-recorder", PA_STREAM_RECORD, "cap.monitor",
                 "capture", &spec, nullptr, &attr, &error),
        &pa_simple_free };
}

// The loudest and the last 50 ms of the next `seconds` of recording, as RMS.
struct Levels {
    double loudest = 0;
    double last = 0;
};
Levels record(pa_simple& recorder, double seconds)
{
    constexpr std::size_t window = kRate / 20;
    const auto windows = static_cast<std::size_t>(seconds * 20);
    std::vector<std::int16_t> samples(window * 2);
    Levels levels;
    for (std::size_t i = 0; i < windows; ++i) {
        int error = 0;
        if (pa_simple_read(&recorder, samples.data(), samples.size() * sizeof(std::int16_t), &error)
            < 0)
            return { -1, -1 };
        double sum = 0;
        for (const auto sample : samples)
            sum += (sample / 32768.0) * (sample / 32768.0);
        levels.last = std::sqrt(sum / double(samples.size()));
        levels.loudest = std::max(levels.loudest, levels.last);
    }
    return levels;
}

} // namespace

// The built-in synth through its real audio driver, on a private PulseAudio server whose only
// sink is recorded. The time is kept by the recording itself: each read waits for its audio.
class TestLiveAudio : public QObject {
    Q_OBJECT

private slots:
    void noteIsHeardThenSilence()
    {
        auto recorder = recordSink();
        QVERIFY2(recorder, "no PulseAudio server: the pulse fixture should have started one");
        QCOMPARE(record(*recorder, 0.3).loudest, 0.0);

        const auto devices = midi::makeSystemDeviceList();
        midi::MidiOutPort port(*devices);
        // The first open waits half a second for the SoundFonts; on a busy machine, or in a
        // sanitized build, their load takes longer and goes on, and an open after it succeeds.
        QTRY_VERIFY_WITH_TIMEOUT(port.open(0), 60000);
        port.send(midi::programChange(0));
        port.send(midi::noteOn(60));
        // Its first sound may come late on a busy machine, while the preset's samples are read:
        // listened to for as long as ten seconds, half a second at a time.
        Levels playing;
        for (int i = 0; i < 20 && playing.loudest <= kAudible; ++i)
            playing.loudest = std::max(playing.loudest, record(*recorder, 0.5).loudest);
        port.send(midi::noteOff(60));
        const auto after = record(*recorder, 2.5);
        // Long silent by now, so the synth is no longer rendered; the next note starts it again.
        port.send(midi::noteOn(64));
        const auto again = record(*recorder, 0.5);
        port.send(midi::noteOff(64));
        port.close();

        qInfo("loudest while held %.4f, at the end %.6f, after the pause %.4f", playing.loudest,
            after.last, again.loudest);
        QVERIFY(playing.loudest > kAudible);
        QVERIFY(after.last < kSilent);
        QVERIFY(again.loudest > kAudible);
    }
};

QTEST_APPLESS_MAIN(TestLiveAudio)
#include "test_live_audio.moc"
