// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synth's PulseAudio output against a server of the test's own (PULSE_SERVER), which
// it stops with SIGSTOP to play a server that hangs: no call of the output's may wait for it.
#include "midi/builtin/fluid_handles.h"
#include "midi/builtin/pulse_audio_output.h"
#include "stopped_server.h"

#include <QTest>
#include <thread>

using namespace tonalyx;
using namespace std::chrono_literals;
using midi::PulseAudioOutput;
using testing::returnsWithin;
using testing::StoppedServer;

namespace {

constexpr auto kLimit = 1000ms;

pid_t serverPid()
{
    return testing::processIdIn(std::filesystem::path(TONALYX_PULSE_DIR) / "pulse.pid");
}

// A synth with the GM font, reverb and chorus on: a note rings on after its end.
struct Synth {
    Synth()
    {
        fluid_settings_setnum(settings.get(), "synth.sample-rate", 48000);
        fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
        synth.reset(new_fluid_synth(settings.get()));
        fluid_synth_sfload(synth.get(), "/usr/share/sounds/sf2/FluidR3_GM.sf2", 1);
    }
    midi::FluidSettings settings { new_fluid_settings(), &delete_fluid_settings };
    midi::FluidSynth synth { nullptr, &delete_fluid_synth };
};

void noteOn(Synth& s, PulseAudioOutput& output, int key = 60)
{
    fluid_synth_noteon(s.synth.get(), 0, key, 100);
    output.wake();
}

void noteOff(Synth& s, PulseAudioOutput& output, int key = 60)
{
    fluid_synth_noteoff(s.synth.get(), 0, key);
    output.wake();
}

std::uint64_t frames(const PulseAudioOutput& output)
{
    return output.counters().framesRendered;
}

enum class Stop { AtOpen, WhilePlaying, WhileIdle, AWhileThenOn };

} // namespace

Q_DECLARE_METATYPE(Stop)

class TestPulseAudioOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        QVERIFY2(serverPid() > 0, "no PulseAudio server: the stalled_servers fixture starts one");
    }

    // Nothing is rendered before the first note, nor once the last one and the room's tail
    // after it have died away; the next message starts rendering again.
    void rendersOnlyWhileSomethingSounds()
    {
        Synth s;
        const auto output = PulseAudioOutput::open(*s.synth, {});
        QVERIFY(output);
        QVERIFY(output->idle());
        QCOMPARE(frames(*output), std::uint64_t { 0 });

        noteOn(s, *output);
        QTRY_VERIFY(frames(*output) > 0);
        QVERIFY(!output->idle());
        noteOff(s, *output);
        QTRY_VERIFY_WITH_TIMEOUT(output->idle(), 10000);
        const auto rendered = frames(*output);
        QTest::qWait(500);
        QCOMPARE(frames(*output), rendered);

        noteOn(s, *output, 64);
        QTRY_VERIFY(frames(*output) > rendered);
        QCOMPARE(output->counters().wakeUps, std::uint64_t { 2 });
        QVERIFY(!output->failed());
    }

    // A server that takes the connection but never answers, at each moment of the output's
    // life: every call comes back at once, the stream goes silent rather than anything waiting,
    // and once the server goes on, so does the sound.
    void neverWaitsForAStoppedServer_data()
    {
        QTest::addColumn<Stop>("stop");
        QTest::newRow("stopped at the open") << Stop::AtOpen;
        QTest::newRow("stopped while a note plays") << Stop::WhilePlaying;
        QTest::newRow("stopped while idle") << Stop::WhileIdle;
        QTest::newRow("stopped a while, then on") << Stop::AWhileThenOn;
    }
    void neverWaitsForAStoppedServer()
    {
        QFETCH(Stop, stop);
        Synth s;
        std::unique_ptr<PulseAudioOutput> output;
        if (stop == Stop::AtOpen) {
            StoppedServer stopped(serverPid());
            QVERIFY(returnsWithin(kLimit, [&] { output = PulseAudioOutput::open(*s.synth, {}); }));
            QVERIFY(!output);
        }
        output = PulseAudioOutput::open(*s.synth, {});
        QVERIFY(output);
        noteOn(s, *output);
        QTRY_VERIFY(frames(*output) > 0);
        if (stop == Stop::WhileIdle) {
            fluid_synth_all_sounds_off(s.synth.get(), -1);
            output->wake();
            QTRY_VERIFY_WITH_TIMEOUT(output->idle(), 10000);
        }
        StoppedServer stopped(serverPid());
        std::this_thread::sleep_for(100ms);
        QVERIFY(returnsWithin(kLimit, [&] {
            for (int key = 48; key < 72; ++key) {
                noteOn(s, *output, key);
                noteOff(s, *output, key);
            }
        }));
        if (stop == Stop::AWhileThenOn) {
            std::this_thread::sleep_for(1500ms);
            stopped.resume();
            const auto before = frames(*output);
            noteOn(s, *output);
            QTRY_VERIFY(frames(*output) > before);
            QVERIFY(!output->failed());
        }
        // Letting go of the output, and then of the synth it played.
        QVERIFY(returnsWithin(kLimit, [&] {
            output.reset();
            s.synth.reset();
        }));
    }

    void noServerFailsAtOnceWithTheReason()
    {
        Synth s;
        PulseAudioOutput::Options options;
        options.server = "unix:/nonexistent/pulse/native";
        std::string error;
        std::unique_ptr<PulseAudioOutput> output;
        QVERIFY(returnsWithin(
            kLimit, [&] { output = PulseAudioOutput::open(*s.synth, options, &error); }));
        QVERIFY(!output);
        QVERIFY(!error.empty());
    }
};

QTEST_GUILESS_MAIN(TestPulseAudioOutput)
#include "test_pulse_audio_output.moc"
