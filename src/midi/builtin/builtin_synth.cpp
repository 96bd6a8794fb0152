// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtin_synth.h"

#include "audio_output.h"
#include "fluid_log.h"
#include "midi/midi_stream.h"
#include "midi/terminal_text.h"
#include "sound_font_file.h"
#include "sound_font_presets.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace tonalyx::midi {

namespace {

// One period of the audio output is enough for FluidSynth to apply what is queued.
constexpr std::size_t kFlushFrames = 64;

// GS messages address device 0x10; FluidSynth ignores them unless it has that id.
constexpr int kGsDeviceId = 16;

// About 5 ms of audio (2 x 128 frames at 48 kHz) where the driver lets the synth choose, so a
// press is heard at once. JACK keeps its server's own rate and period.
constexpr int kSampleRate = 48000;
constexpr int kPeriodFrames = 128;
constexpr int kPeriods = 2;

FluidSettings makeSettings()
{
    FluidSettings settings(new_fluid_settings(), &delete_fluid_settings);
    if (!settings)
        return settings;
    auto* s = settings.get();
    fluid_settings_setstr(s, "synth.midi-bank-select", "gs");
    fluid_settings_setint(s, "synth.device-id", kGsDeviceId);
    // A preset's samples are read when a Program Change first selects it, not all at start-up:
    // opening takes ~35 ms instead of ~170 ms and the synth ~45 MB instead of ~175 MB, for at
    // most ~4 ms in the Program Change (measured on FluidR3, every preset).
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(s, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(s, "audio.period-size", kPeriodFrames);
    fluid_settings_setint(s, "audio.periods", kPeriods);
    // Under JACK the synth's outputs go to the speakers, not to an unconnected port.
    fluid_settings_setint(s, "audio.jack.autoconnect", 1);
    fluid_settings_setstr(s, "audio.jack.id", "Tonalyx synth");
    // FluidSynth's ALSA driver would ask for SCHED_FIFO 60 itself, above a JACK server's own
    // threads, and fail silently where it may not: the rendering threads get their priority
    // from the output instead, the same way whichever output plays (render_priority.h).
    fluid_settings_setint(s, "audio.realtime-prio", 0);
    return settings;
}

void leaveOut(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "tonalyx: SoundFont %s left out: %s\n", escapedForTerminal(path).c_str(),
        escapedForTerminal(reason.empty() ? "FluidSynth cannot load it" : reason).c_str());
}

// The fonts that can be heard, in order: each one that is a regular file and has a preset that
// no later one has. FluidSynth keeps every font it loads in memory, its samples aside, at about
// 2.5 kB for each instrument zone (5 MB for a 6-MB General MIDI font), so a font that is never
// heard is not loaded. One that cannot be loaded is left out, with a line on standard error.
void loadReachableFonts(fluid_synth_t& synth, const std::vector<std::string>& paths)
{
    std::vector<bool> openable(paths.size());
    std::vector<std::optional<std::vector<PresetNumber>>> presets(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const auto opened = openSoundFont(paths[i].c_str());
        if (!opened.stream) {
            leaveOut(paths[i], opened.refusal);
            continue;
        }
        openable[i] = true;
        presets[i] = presetsIn(*opened.stream);
    }
    const auto reachable = reachableFonts(presets);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!openable[i] || !reachable[i])
            continue;
        std::string reason;
        const bool loaded = [&] {
            const FluidErrorsHeld held(reason);
            return fluid_synth_sfload(&synth, paths[i].c_str(), 0) != FLUID_FAILED;
        }();
        if (!loaded)
            leaveOut(paths[i], reason);
    }
}

// FluidSynth's bank of drum sets, and the set it selects on the drum channel in place of one that
// no font has (fluid_synth_program_change: the first set of the bank, from whichever font has it).
constexpr int kDrumBank = 128;
constexpr int kDrumStandIn = 0;

// The drum sets of every loaded font, as FluidSynth itself will look for them.
DrumSetsHeld drumSetsIn(fluid_synth_t& synth)
{
    DrumSetsHeld held { {}, kDrumStandIn };
    for (int i = 0; i < fluid_synth_sfcount(&synth); ++i) {
        fluid_sfont_t* font = fluid_synth_get_sfont(&synth, i);
        fluid_sfont_iteration_start(font);
        while (fluid_preset_t* preset = fluid_sfont_iteration_next(font)) {
            const int program = fluid_preset_get_num(preset);
            if (fluid_preset_get_banknum(preset) == kDrumBank && program >= 0 && program < 128)
                held.programs.set(static_cast<std::size_t>(program));
        }
    }
    return held;
}

} // namespace

std::vector<std::string> defaultSoundFonts()
{
    return { "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/FluidR3_GS.sf2" };
}

BuiltInSynth::BuiltInSynth(std::shared_ptr<SynthCore> core)
    : core_(std::move(core))
    , synth_(core_->synth.get())
    , drumSets_(drumSetsIn(*synth_))
    , presets_(core_)
{ }

std::unique_ptr<BuiltInSynth> BuiltInSynth::load(
    const std::vector<std::string>& soundFonts, const std::vector<std::string>& extraSoundFonts)
{
    routeFluidSynthLog();
    auto settings = makeSettings();
    if (!settings)
        return nullptr;
    FluidSynth synth(new_fluid_synth(settings.get()), &delete_fluid_synth);
    if (!synth || soundFonts.empty() || !openSoundFontsOnlyAsRegularFiles(*synth, *settings))
        return nullptr;
    for (const auto& path : soundFonts) {
        if (!openSoundFont(path.c_str()).stream
            || fluid_synth_sfload(synth.get(), path.c_str(), 0) == FLUID_FAILED)
            return nullptr;
    }
    loadReachableFonts(*synth, extraSoundFonts);
    // Every channel selects its preset once, from all the fonts: only those presets' samples
    // are read, where selecting them after each font would read some of every font's.
    fluid_synth_program_reset(synth.get());
    return std::unique_ptr<BuiltInSynth>(
        new BuiltInSynth(std::make_shared<SynthCore>(std::move(settings), std::move(synth))));
}

bool BuiltInSynth::startAudio(
    const std::vector<std::string>& drivers, std::shared_ptr<JackCalls> jack)
{
    if (!output_)
        output_ = startAudioOutput(core_, drivers, std::move(jack));
    return output_ != nullptr;
}

void BuiltInSynth::stopAudio()
{
    // Returns at once: the output is cut off from the synth before it goes, and whatever of it
    // waits for its server does so on a thread of its own.
    output_.reset();
    silence();
    // FluidSynth applies a silence at its next rendering. With the audio output gone that would
    // be whenever it starts again, after notes sent since; so render one block now, to nowhere.
    std::array<float, kFlushFrames> left {}, right {};
    render(left, right);
}

// The output stops rendering while nothing sounds (audio_output.h), and FluidSynth applies what
// it was sent at its next rendering, in order. So only a message that starts a sound wakes the
// output: a press's Bank Select and Program Change wait for its Note On and are applied just
// before it. Waking at the first of them would start the output on a buffer of silence, and the
// note would queue behind it, a few milliseconds late. A system exclusive wakes it too: the GS
// reset resets the effects through FluidSynth's queue, which should not wait for the next note.
bool BuiltInSynth::play(MessageBytes message)
{
    if (message.empty())
        return false;
    const bool taken = deliver(message);
    const auto channel = readChannelMessage(message);
    const bool noteOn = channel && channel->kind == kNoteOn && channel->data2 > 0;
    if (taken && (noteOn || message[0] == kSystemExclusive))
        wakeOutput();
    return taken;
}

bool BuiltInSynth::deliver(MessageBytes message)
{
    // Bytes that are not one whole message reach no synth call: a cut-off Note On would read as
    // one of velocity 0, an exclusive without its end as a shorter one.
    if (wholeMessageLength(message) != message.size())
        return false;
    auto* synth = synth_;
    if (message[0] == kSystemExclusive) {
        // FluidSynth takes a system exclusive without its F0 and F7. Like any device, the synth
        // takes every well-formed message and ignores those not meant for it (another device
        // id, a wrong checksum); FluidSynth's result says which.
        const auto body = message.subspan(1, message.size() - 2);
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(body.data()),
            static_cast<int>(body.size()), nullptr, nullptr, nullptr, 0);
        return true;
    }
    const auto read = readChannelMessage(message);
    if (!read)
        return true; // timing and the like mean nothing to a synth without a sequencer
    const int channel = read->channel;
    const int data1 = read->data1;
    const int data2 = read->data2;
    switch (read->kind) {
    case kNoteOff:
        fluid_synth_noteoff(synth, channel, data1);
        return true;
    case kNoteOn:
        // FluidSynth ends the note for velocity 0; the result only says whether one was sounding.
        fluid_synth_noteon(synth, channel, data1, data2);
        return true;
    case kPolyPressure:
        return fluid_synth_key_pressure(synth, channel, data1, data2) == FLUID_OK;
    case kControlChange:
        return fluid_synth_cc(synth, channel, data1, data2) == FLUID_OK;
    case kProgramChange:
        // A bank without this program falls back to bank 0 in GS mode, so this only fails for
        // a program no font has at all.
        fluid_synth_program_change(synth, channel, data1);
        presets_.heard(channel);
        return true;
    case kChannelPressure:
        return fluid_synth_channel_pressure(synth, channel, data1) == FLUID_OK;
    case kPitchBend:
        return fluid_synth_pitch_bend(synth, channel, data1 + 128 * data2) == FLUID_OK;
    default:
        return false;
    }
}

void BuiltInSynth::silence()
{
    // A sounding note means a running output, which applies this at its next block; with
    // nothing sounding there is nothing to cut.
    fluid_synth_all_sounds_off(synth_, -1);
}

void BuiltInSynth::prepare(int bank, int program)
{
    presets_.readAhead(bank, program);
}

void BuiltInSynth::wakeOutput() noexcept
{
    if (output_)
        output_->wake();
}

void BuiltInSynth::render(std::span<float> left, std::span<float> right)
{
    const auto frames = static_cast<int>(std::min(left.size(), right.size()));
    fluid_synth_write_float(synth_, frames, left.data(), 0, 1, right.data(), 0, 1);
}

} // namespace tonalyx::midi
