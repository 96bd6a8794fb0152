#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes docs/performance.md from the results of scripts/bench.sh.

    bench/report.py RESULTS_DIR > docs/performance.md

RESULTS_DIR holds each benchmark's Google Benchmark JSON, the start-up probe's JSON lines and
meta.json (machine, date, load, commands).
"""
import json
import statistics
import sys
from pathlib import Path

results = Path(sys.argv[1])
meta = json.loads((results / "meta.json").read_text())


def benchmarks(name):
    path = results / f"{name}.json"
    if not path.exists():
        return {}
    found = {}
    for run in json.loads(path.read_text()).get("benchmarks", []):
        # Drop the "/iterations:N" and "/manual_time" that Google Benchmark appends.
        key = "/".join(p for p in run["name"].split("/")
                       if not p.startswith("iterations:") and p != "manual_time")
        found[key] = run
    return found


def startup(name):
    path = results / f"startup-{name}.jsonl"
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines() if line.strip()]


def us(value):
    if value is None:
        return "–"
    if value >= 1000:
        return f"{value / 1000:.2f} ms"
    return f"{value:.1f} µs"


def ms(value):
    return "–" if value is None else f"{value:.0f} ms"


def mb(kb):
    return "–" if kb is None else f"{kb / 1024:.1f} MB"


def load_of(name):
    """The 1-minute load average sampled while RESULTS/name ran with every core busy."""
    path = results / f"{name}.loadavg"
    loads = [float(v) for v in path.read_text().split()] if path.exists() else []
    if not loads:
        return "load average not recorded"
    return f"1-minute load average {min(loads):.1f}–{max(loads):.1f} (mean {statistics.mean(loads):.1f})"


def verdict(met):
    if met is None:
        return "reported"
    return "met" if met else "**missed**"


summary = []  # (number, what, target, measured, met)
sections = []
notes = []

# ---- 1. Press to wire, in process ----------------------------------------------------------
wire = benchmarks("press_to_wire")
if wire:
    rows = []
    worst_p99 = 0.0
    worst_allocs = 0
    for name, run in wire.items():
        _, gesture, control = name.split("/")
        worst_p99 = max(worst_p99, run["press_p99_us"], run["release_p99_us"])
        worst_allocs = max(worst_allocs, int(run["press_program_allocs_max"]),
                           int(run["release_program_allocs_max"]))
        rows.append(
            f"| {control} | {gesture} | {us(run['press_p50_us'])} | {us(run['press_p99_us'])} | "
            f"{us(run['release_p50_us'])} | {us(run['release_p99_us'])} | "
            f"{us(run['press_program_p99_us'])} | {int(run['press_program_allocs_max'])} / "
            f"{int(run['release_program_allocs_max'])} | "
            f"{run['press_delivery_allocs_mean']:.0f} / {run['release_delivery_allocs_mean']:.0f} | "
            f"{run['iterations']} |")
    summary.append(("1", "Press to wire, in process (p99, worst of presses and releases)",
                    "< 20 µs", us(worst_p99), worst_p99 < 20))
    summary.append(("1", "Allocations per press or release in the program", "0",
                    str(worst_allocs), worst_allocs == 0))
    sections.append(f"""## 1. Press to wire, in process

`bench_press_to_wire`: the whole program on a MIDI service that keeps the bytes in fixed storage
(so that what allocates is the program), its window shown and active. Each press and release
enters at the window, as the window system's events do (`QTEST_QPA_MOUSE_HANDLING` for the
mouse, `QTest::keyPress` on the window for the A key with the button focused), and goes through
Qt's delivery, the control, the previewer and the MIDI port until its last message is in the
service. *Program* is the part from the control receiving the event to the last byte.
Allocations are counted by a `malloc` that stands in front of the C library's for the whole
process; *program* allocations are those from the control to the last byte, *toolkit* those
of Qt's delivery before the control gets the event (Qt builds each event on the heap).

| control | gesture | press p50 | press p99 | release p50 | release p99 | program p99 (press) | allocations in the program, press / release (max) | allocations in Qt's delivery, press / release (mean) | presses |
|---|---|---|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

Target: p99 under 20 µs (2 % of the 0.96 ms a Note On takes on a MIDI cable) and nothing
allocated per press. Worst p99: {us(worst_p99)}; most allocations in the program for one event:
{worst_allocs}.
""")

# ---- 2. Through a JACK port ----------------------------------------------------------------
jack = benchmarks("press_through_jack")
if jack:
    program = jack.get("PressThroughJack/program/Button5")
    direct = jack.get("PressThroughJack/direct")
    rows = []
    for label, run in (("the program (Button5)", program), ("straight from the benchmark (same bytes)", direct)):
        if run:
            rows.append(
                f"| {label} | {us(run['press_p50_us'])} | {us(run['press_p90_us'])} | "
                f"{us(run['press_p99_us'])} | {us(run['press_max_us'])} | {us(run['press_mean_us'])} | "
                f"{us(run['release_p50_us'])} | {us(run['release_p99_us'])} | {run['iterations']} | "
                f"{int(run.get('press_lost', 0) + run.get('release_lost', 0))} |")
    period = program["period_us"] if program else None
    added = None
    noise = None
    if program and direct:
        added = program["press_mean_us"] - direct["press_mean_us"]
        # Two standard errors of the difference of the two means: what chance alone can move it.
        noise = 2 * ((program["press_stddev_us"] ** 2 / program["iterations"]
                      + direct["press_stddev_us"] ** 2 / direct["iterations"]) ** 0.5)
    in_program = program.get("press_in_program_p99_us") if program else None
    from_control = program.get("press_from_control_p99_us") if program else None
    allocs = int(max(program.get("press_allocs_max", 0), program.get("release_allocs_max", 0))) if program else None
    met = added is not None and abs(added) <= noise
    summary.append(("2", "Press to a JACK client: what the program adds to the port's own delay "
                    "(difference of the mean arrival against a straight send)",
                    "nothing measurable", f"{us(added)} ± {us(noise)} (two standard errors)", met))
    summary.append(("2", "Allocations per press with the real JACK output", "0", str(allocs), allocs == 0))
    sections.append(f"""## 2. Press to wire through a real port

`bench_press_through_jack`: the program's device is a JACK MIDI input of the benchmark's own
client, on a JACK server with the dummy driver ({meta.get('jack', '48 kHz, 256-frame periods')}).
The press enters at the window as in 1.; its arrival is the moment the client's process
callback, which JACK runs once a period, finds the Note On. Presses come at random moments of the
period, as a user's do. The second row sends the same three messages straight from a JACK
client of the benchmark's own: the port's own delay, without the program.
*Lost* counts messages that never arrived: when the machine is too busy for a client to finish
its period in time (an xrun), JACK drops what was written in that period.

| path | press p50 | p90 | p99 | max | mean | release p50 | release p99 | presses | lost |
|---|---|---|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

The delay is JACK's: a message written during a period is passed on at the start of the next
one, so arrivals spread over up to one period ({us(period)}) whichever way they are sent. The
program's mean is {us(added)} from the straight send, against {us(noise)} that chance alone
moves it (two standard errors of the difference). The program's own part, from the event
entering the window to the return of its last send, has a p99 of {us(in_program)} (from the
button receiving the event: {us(from_control)}); the presses here follow a random pause, so they
start with cold caches, unlike the back-to-back presses of 1. Allocations on the press path, the
real service included: {allocs}.
""")

# ---- 3. Press to sound -----------------------------------------------------------------------
synth_bench = benchmarks("builtin_synth")
synth_open = synth_bench.get("BuiltInSynth/open")
every_preset = synth_bench.get("BuiltInSynth/press-every-preset")
read_ahead = synth_bench.get("BuiltInSynth/press-every-preset/read-ahead")
fonts_mb = sum(Path(f).stat().st_size for f in ("/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                              "/usr/share/sounds/sf2/FluidR3_GS.sf2")
               if Path(f).exists()) / 1e6
loading = "the largest presets"
if every_preset:
    loading = (f"{us(every_preset['press_p50_us'])} for half of the presets, {us(every_preset['press_p99_us'])} "
               f"for all but the largest 1 %, {us(every_preset['press_max_us'])} at most (`bench_builtin_synth`, "
               f"every bank and program a press can ask for)")
if read_ahead:
    loading += (f"; read ahead first, the same presses take {us(read_ahead['press_p50_us'])} for half, "
                f"{us(read_ahead['press_p99_us'])} for all but 1 %, {us(read_ahead['press_max_us'])} at most")
opened = ""
if synth_open:
    opened = (f"opens in {synth_open['real_time']:.0f} ms and adds {synth_open['resident_added_kb'] / 1024:.0f} MB "
              "of resident memory")

sound = benchmarks("press_to_sound")
idle_after_note = sound.get("IdleAfterNote") if sound else None
# The first use of a preset before presets were read ahead (docs/performance.md of the commit
# before that change): what a press that gives no time to read ahead must stay within.
FIRST_USE_P99_BEFORE_US = 11890
if sound:
    rows = []
    labels = {
        "PressToSound/first-use/pointer-resting-150ms":
            "a preset's first use, the pointer resting on its button 150 ms before the press (odd buttons 7–127)",
        "PressToSound/first-use/pointer-arriving-with-the-press":
            "a preset's first use, the pointer arriving with the press (even buttons 8–128)",
        "PressToSound/same-preset-again": "the same preset again (Button5), after a pause",
        "PressToSound/same-preset-again/in-quick-succession":
            "the same preset again as soon as the last note is silent, the output still running",
        "PressToSound/heard-before-another-since": "a preset heard before, another since (Button5 and Button6 in turn), after a pause",
    }

    def sound_row(label, run):
        # Allocations are counted on the GUI thread, for presses only.
        allocations = (f"{run['press_allocs_p50']:.0f} / {run['press_allocs_max']:.0f}"
                       if "press_allocs_p50" in run else "–")
        return (f"| {label} | {us(run['sound_p50_us'])} | {us(run['sound_p90_us'])} | "
                f"{us(run['sound_p99_us'])} | {us(run['sound_max_us'])} | "
                f"{us(run['handed_over_p50_us'])} | {us(run['server_latency_p50_us'])} | "
                f"{us(run['in_program_p50_us'])} / {us(run['in_program_max_us'])} | "
                f"{allocations} | {int(run['iterations'] - run.get('silent_presets', 0))} |")

    for name, label in labels.items():
        run = sound.get(name)
        if run and "sound_p50_us" in run:
            rows.append(sound_row(label, run))
    # A keyboard's note beside presses of the same preset, in runs of their own with a JACK server
    # (the main run has none, so that its idle figure is the program's alone).
    keyboard_rows = []
    keyboard_labels = {
        "PressToSound/same-preset-again": "the same preset again (Button5), after a pause",
        "InputToSound/note-from-jack": "a note from a keyboard on JACK, the preset of Button5, after a pause (timed from the period it reached `in`)",
    }
    keyboard_runs = (("quiet", benchmarks("press_to_sound-keyboard")),
                     (f"every core busy ({load_of('press_to_sound-busy')})", benchmarks("press_to_sound-busy")))
    for machine, runs in keyboard_runs:
        for name, label in keyboard_labels.items():
            run = runs.get(name)
            if run and "sound_p50_us" in run:
                keyboard_rows.append(sound_row(f"{label}, {machine}", run))
    heard = [sound.get("PressToSound/same-preset-again"),
             sound.get("PressToSound/same-preset-again/in-quick-succession"),
             sound.get("PressToSound/heard-before-another-since")]
    heard_p99 = max((r["sound_p99_us"] for r in heard if r and "sound_p99_us" in r), default=None)
    for machine, runs in keyboard_runs:
        keyboard_note = runs.get("InputToSound/note-from-jack")
        pressed = runs.get("PressToSound/same-preset-again")
        if not (keyboard_note and pressed and "sound_p99_us" in keyboard_note
                and "sound_p99_us" in pressed):
            continue
        summary.append(("3", f"A keyboard's note on JACK to sound, built-in synth, against a press of "
                        f"the same preset after a pause, {machine.split(' (')[0]} (p50 / p99)",
                        "no slower than the press",
                        f"{us(keyboard_note['sound_p50_us'])} / {us(keyboard_note['sound_p99_us'])} "
                        f"against {us(pressed['sound_p50_us'])} / {us(pressed['sound_p99_us'])}",
                        keyboard_note["sound_p99_us"] <= pressed["sound_p99_us"]))
    resting = sound.get("PressToSound/first-use/pointer-resting-150ms")
    arriving = sound.get("PressToSound/first-use/pointer-arriving-with-the-press")
    first = arriving
    if heard_p99 is not None:
        summary.append(("3", "Press to sound, built-in synth, a preset already heard (p99, worst of "
                        "after a pause, in quick succession and with another since)", "< 10 ms",
                        us(heard_p99), heard_p99 < 10000))
    if resting and "sound_p99_us" in resting:
        summary.append(("3", "Press to sound, a preset's first use, the pointer resting on the "
                        f"button 150 ms first (p99; p50 {us(resting['sound_p50_us'])})", "< 10 ms",
                        us(resting["sound_p99_us"]), resting["sound_p99_us"] < 10000))
    if arriving and "sound_p99_us" in arriving:
        summary.append(("3", "Press to sound, a preset's first use, the pointer arriving with the "
                        f"press (p99; p50 {us(arriving['sound_p50_us'])})",
                        f"no slower than before read-ahead ({us(FIRST_USE_P99_BEFORE_US)})",
                        us(arriving["sound_p99_us"]),
                        arriving["sound_p99_us"] <= FIRST_USE_P99_BEFORE_US))
    silent = int(sum(r.get("silent_presets", 0) for r in (resting, arriving) if r))
    underflows = ""
    if idle_after_note and "underflows_while_held" in idle_after_note:
        underflows = (f" While one note with reverb and chorus was held for "
                      f"{idle_after_note['held_seconds']:.0f} s the server ran out of audio "
                      f"{idle_after_note['underflows_while_held']:.0f} times (each a gap on a real "
                      "sound card; on this loaded machine FluidSynth's own driver ran dry 52–55 "
                      "times in 10 s in the same test).")
    sections.append(f"""## 3. Press to sound on the built-in synthesiser

`bench_press_to_sound`: the program with the built-in synth on its PulseAudio output, here a
server whose only sink is a null sink (the machine has no sound card). The benchmark puts its own
`pa_stream_write` in front of libpulse's, so it sees every block the output hands to the server.
The first sample at or above one step of 16-bit audio (−90 dBFS) after a press is *heard* at: the
moment its block is handed over, plus what the server still had to play before that block
(`pa_stream_get_latency`), plus the sample's place in the block. Each press starts from silence
(the previous note is cut with the device's reset; reverb and chorus are off so that the silence
is exact; the notes sound the same and as soon). *After a pause*, the output has stopped rendering
(250 ms of silence) and 50 ms more have passed; *in quick succession*, the press comes as soon as
two silent blocks have gone out, the output still running. Columns: press to sound; press to the
block holding the sound handed over; the server's latency ahead of it; press to the return of the
Note On (samples read by then) as median / max; heap allocations on the press's way through the
program and FluidSynth (reading samples allocates).

| press | p50 | p90 | p99 | max | handed over (p50) | server latency (p50) | in the program p50 / max | allocations p50 / max | presses |
|---|---|---|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

{silent} of the first-use presets gave no sound at the preview's pitch (middle C) at all (their
samples do not reach it) and are left out.

The output hands the server blocks of 64 frames at 48 kHz (1.3 ms) and asks for 128 frames
(2.7 ms) of latency in all. While nothing sounds it renders nothing; the Note On of the next press
wakes it, and it answers at once with the block holding the note, so after a pause the sound
leaves within about the sink's own latency. While it runs, a note waits for the server's next
request and the audio queued before it.{underflows}

A note from a MIDI keyboard on JACK (*a note from a keyboard on JACK*; a client of the
benchmark's own connected to the program's input `in`) is timed from the moment the keyboard's
process callback wrote it, in the period in which the program's callback reads it: the program
plays it into the synth on JACK's process thread, in that same period, and the synth's output
wakes for it as for a press. *In the program* is then the time to the return of the Note On on
that thread. A press goes first through the window system's delivery and the GUI thread; the
keyboard's note does not. These runs have a JACK server (`bench_press_to_sound` with
`BENCHMARK_FILTER='same-preset-again/iter|InputToSound'`), the one above has none; presses of
the same preset are measured beside the keyboard's notes in each:

| press | p50 | p90 | p99 | max | handed over (p50) | server latency (p50) | in the program p50 / max | allocations p50 / max | presses |
|---|---|---|---|---|---|---|---|---|---|
""" + "\n".join(keyboard_rows) + f"""

A preset's first use reads its samples from the SoundFont inside the press's Program Change:
the program uses FluidSynth's dynamic sample loading, with which the synth {opened}, where loading
the fonts whole would read all {fonts_mb:.0f} MB of them at start-up. Reading one preset's samples
takes {loading}. The pointer entering a button (or the keyboard focus arriving) has the synth
read that preset ahead on a thread of its own, so that the press finds it in memory: with the
pointer resting on the button 150 ms before the press, the press itself no longer reads anything.
""")

# ---- 4. and 5. Start-up, memory, idle CPU --------------------------------------------------------
runs = {name: startup(name) for name in ("builtin", "builtin-fonts", "jack", "vmpk")}


def median_of(name, field):
    values = [run[field] for run in runs.get(name, []) if field in run]
    return statistics.median(values) if values else None


def range_of(name, field):
    values = [run[field] for run in runs.get(name, []) if field in run]
    return (min(values), max(values)) if values else (None, None)


if runs["builtin"] or runs["jack"]:
    rows = []
    labels = {"builtin": "Tonalyx, built-in synth", "builtin-fonts": "Tonalyx, built-in synth, 200 user SoundFonts",
              "jack": "Tonalyx, JACK port", "vmpk": "vmpk (peer)"}
    for name, label in labels.items():
        if not runs[name]:
            continue
        low, high = range_of(name, "mapped_ms")
        device = median_of(name, "gs_reset_ms") if name == "jack" else median_of(name, "audio_stream_ms")
        device_label = "GS reset at the JACK port" if name == "jack" else "audio stream at the server"
        rows.append(
            f"| {label} | {ms(median_of(name, 'mapped_ms'))} ({ms(low)}–{ms(high)}) | "
            f"{ms(device)} ({device_label}) | {mb(median_of(name, 'VmRSS_kb'))} | "
            f"{mb(median_of(name, 'RssAnon_kb'))} | {mb(median_of(name, 'RssFile_kb'))} | "
            f"{mb(median_of(name, 'RssShmem_kb'))} | {len(runs[name])} |")
    mapped = median_of("builtin", "mapped_ms")
    mapped_jack = median_of("jack", "mapped_ms")
    peer = median_of("vmpk", "mapped_ms")
    rss = median_of("builtin", "VmRSS_kb")
    rss_peer = median_of("vmpk", "VmRSS_kb")
    worst_mapped = max(v for v in (mapped, mapped_jack) if v is not None)
    summary.append(("4", "Process start to window mapped (median; built-in synth / JACK port)",
                    "< 300 ms", f"{ms(mapped)} / {ms(mapped_jack)}", worst_mapped < 300))
    if peer is not None:
        summary.append(("4", "… against vmpk started the same way (ratio)", "< 1.0 (under the peer's time)",
                        f"{mapped / peer:.2f} / {mapped_jack / peer:.2f} (vmpk {ms(peer)})",
                        worst_mapped < peer))
    summary.append(("4", "Resident memory after start-up, built-in synth open", "< 80 MB", mb(rss),
                    rss is not None and rss < 80 * 1024))
    mapped_fonts = median_of("builtin-fonts", "mapped_ms")
    rss_fonts = median_of("builtin-fonts", "VmRSS_kb")
    user_fonts = ""
    if mapped_fonts is not None and mapped and rss_fonts is not None and rss:
        summary.append(("4", "Start-up with 200 user SoundFonts of 6 MB against none (window mapped, ratio)",
                        "< 1.5", f"{mapped_fonts / mapped:.2f} ({ms(mapped_fonts)} against {ms(mapped)})",
                        mapped_fonts / mapped < 1.5))
        summary.append(("4", "Resident memory with 200 user SoundFonts against none", "grows with the presets "
                        "heard, not with the fonts", f"{mb(rss_fonts)} against {mb(rss)}", rss_fonts < rss + 20 * 1024))
        user_fonts = (f"\n\nWith 200 SoundFonts of the user's own (copies of Debian's 6-MB TimGM6mb in "
                      "`~/.local/share/tonalyx/soundfonts`), the window maps in "
                      f"{ms(mapped_fonts)} against {ms(mapped)} without them, and the process holds {mb(rss_fonts)} "
                      f"against {mb(rss)}. FluidSynth keeps each font it loads in memory, samples aside (those are "
                      "read when a channel selects a preset): about 5 MB of preset and instrument zones for TimGM6mb, "
                      "1 GB for 200 of them. The synth reads each font's preset headers "
                      "first and loads only the fonts that have a preset no later font has, the only ones a Program "
                      "Change can reach: here the last copy.")
    if rss_peer:
        summary.append(("4", "… against vmpk (ratio)", "–", f"{rss / rss_peer:.2f} (vmpk {mb(rss_peer)})", None))
    after_use = ""
    if idle_after_note and "resident_after_presses_kb" in idle_after_note:
        used = idle_after_note["resident_after_presses_kb"]
        summary.append(("4", "Resident memory after every first use and hover of `bench_press_to_sound` "
                        "(16 presets heard and 2 read ahead held)", "reported", mb(used), None))
        after_use = (f" In use, the samples of the presets held come on top: after the press-to-sound "
                     f"benchmark's {2 * 61} first uses, half of them hovered first, the benchmark process "
                     f"(the whole program, built-in synth and window) held {mb(used)} against "
                     f"{mb(idle_after_note['resident_after_start_up_kb'])} after its start-up. The synth "
                     "keeps the 16 presets heard last and at most 2 read ahead (its *preset keeper*); "
                     "with FluidR3 a melodic preset holds 0.1–8 MB of samples, most of them under 2 MB.")
    sections.append(f"""## 4. Start-up and memory, from outside

`bench/run_startup.sh` with `startup_probe`: on an Xvfb display with the fluxbox window manager,
the probe starts the program and times from just before the process starts to the program's
window being viewable (it watches the screen's windows being mapped and looks for the window by
its title, inside its frame). With the JACK port as device (its settings file beside the
executable sets `dev_num=1`, the probe's own MIDI input, the only JACK input on the server) the
probe also notes when the GS reset reaches that port; with the built-in synth it notes when the
synth's audio stream appears at the PulseAudio server (the reset goes to the synth inside the
process right after). One second after the window is mapped it reads the resident memory from
`/proc/<pid>/status`. vmpk is started the same way with a fresh configuration; its own synth
plays through the same PulseAudio server. Median of {len(runs['builtin'])} runs after a warm-up
run of each, range in parentheses; the runs take turns.

| program | window mapped | device ready | resident (VmRSS) | anonymous | files | shared | runs |
|---|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

The saved device opens (the synth's fonts loading, the JACK connection being made) on a thread
of its own while the window system starts and the window is built; the GS reset goes out and the
window maps during the 100 ms that the device is given to settle after it, in which presses,
keys and commands are held back and delivered once it has passed. With a JACK port the
resident figure includes JACK's shared memory (the server's segments that every client maps,
*shared* above); the program's own memory is the anonymous and file parts.{after_use}{user_fonts}
""")

    def threads_of(name):
        for run in reversed(runs.get(name, [])):
            if run.get("idle_s", 0) >= 1:
                return run
        return None

    def classify(name, thread, main_tid):
        label = thread["name"]
        if thread["tid"] == main_tid:
            return "program", "main (user interface)"
        if label == "synth-pulse":
            return "synth", "synth audio output (libpulse's loop, renders the synth)"
        if label == "synth-presets":
            return "synth", "synth preset keeper"
        if label in ("synth-reaper", "synth-start"):
            return "synth", "synth output starting or stopping"
        if label in ("pulse-audio",) or label.startswith("fluid"):
            return "synth", "synth audio output (FluidSynth's driver)"
        if label == "threaded-ml":
            return "synth", "PulseAudio client loop of the synth's stream"
        if label in ("QXcbEventQueue", "QDBusConnection", "Thread (pooled)", "QThread"):
            return "program", f"Qt ({label})"
        if name == "jack":
            return "program", "JACK client of the MIDI ports"
        return "program", label

    idle_rows = []
    own_worst = 0.0
    synth_share = None
    for name, label in (("builtin", "Tonalyx, built-in synth"), ("jack", "Tonalyx, JACK port"), ("vmpk", "vmpk (peer)")):
        run = threads_of(name)
        if not run:
            continue
        ticks = run["ticks_per_s"] * run["idle_s"]
        main_tid = min(t["tid"] for t in run["threads"])
        groups = {}
        detail = {}
        for thread in run["threads"]:
            group, what = classify(name, thread, main_tid)
            groups[group] = groups.get(group, 0) + thread["ticks"]
            detail[what] = detail.get(what, 0) + thread["ticks"]
        own = 100.0 * groups.get("program", 0) / ticks
        synth = 100.0 * groups.get("synth", 0) / ticks
        if name != "vmpk":
            own_worst = max(own_worst, own)
        if name == "builtin":
            synth_share = synth
        parts = ", ".join(f"{what} {100.0 * t / ticks:.1f} %" for what, t in sorted(detail.items(), key=lambda i: -i[1]))
        idle_rows.append(f"| {label} | {own:.1f} % | {synth:.1f} % | {100.0 * run['process_ticks'] / ticks:.1f} % | {parts} |")
    resolution = 100.0 / (meta.get("ticks_per_s", 100) * meta.get("idle_seconds", 10))
    summary.append(("5", "Idle CPU of the program's own threads (worst of both devices)", "< 1 % of one core",
                    f"{own_worst:.1f} %", own_worst < 1))
    if synth_share is not None:
        summary.append(("5", "Idle CPU of the built-in synth's threads", "low", f"{synth_share:.1f} %", None))
    after_note = ""
    if idle_after_note and "idle_cpu_percent" in idle_after_note:
        cpu = idle_after_note["idle_cpu_percent"]
        summary.append(("5", "Idle CPU of the whole process with the built-in synth open, after a note and "
                        "its reverb have died away", "< 1 % of one core", f"{cpu:.2f} %", cpu < 1))
        woke = "was heard" if idle_after_note.get("heard_after_idle") else "**was not heard**"
        after_note = (f"\n\nAfter a note (`bench_press_to_sound`, *IdleAfterNote*): Button5 held with reverb and "
                      f"chorus, released, and once the output had stopped rendering after its tail, one second "
                      f"more; then utime + stime of the whole process over {idle_after_note['idle_seconds']:.0f} s: "
                      f"**{cpu:.2f} %** of a core. The next press {woke} (the output woke for it).")
    synth_bench = benchmarks("builtin_synth")
    on = synth_bench.get("BuiltInSynth/render-1s-of-silence/effects-on")
    off = synth_bench.get("BuiltInSynth/render-1s-of-silence/effects-off")
    effects = ""
    if on and off:
        effects = (f"\n\nRendering silence would cost {on['real_time'] / 10:.2f} % of a core with reverb and "
                   f"chorus and {off['real_time'] / 10:.3f} % without them (`bench_builtin_synth`, one second "
                   "of output in 128-frame periods); the output renders none.")
    # The stream's own buffer, as the server reports it; the null sink's latency figure jumps
    # about from one reading to the next and is left out (3. measures the whole delay).
    def queued(name):
        buffer = median_of(name, "stream_buffer_us")
        rate = median_of(name, "stream_rate")
        if buffer is None or rate is None:
            return None
        return f"{us(buffer)} of audio queued at {rate / 1000:.2f} kHz"

    streams = ""
    if queued("builtin") and queued("vmpk"):
        streams = (f" The server reports the synth's stream with {queued('builtin')} (median over the "
                   f"start-up runs); vmpk's synth keeps {queued('vmpk')}, so it wakes far less often, "
                   "and a key of it is heard that much later.")
    sections.append(f"""## 5. Idle cost

The last start-up run of each set-up sits idle for {meta.get('idle_seconds', 10)} s with its window shown;
the probe reads utime + stime of every thread from `/proc/<pid>/task/*/stat` before and after
(resolution {resolution:.1f} % of a core). *Program* is the user interface thread, Qt's threads and
the JACK client of the MIDI output; *synth* is the built-in synth's threads: libpulse's loop, on
which its PulseAudio output renders the synth, and the thread that keeps presets loaded.

| set-up | program's threads | synth's threads | whole process | by thread |
|---|---|---|---|---|
""" + "\n".join(idle_rows) + f"""

The synth's output renders nothing while nothing sounds: once the last note and the room's tail
after it have been silent for 250 ms it leaves the server's requests unanswered, the stream runs
dry and the process sleeps; the next Note On wakes it through an eventfd on libpulse's loop. The
stream stays connected, so the server keeps its latency for it and plays the next note at
once.{streams}{effects}{after_note}
""")

# ---- 6. Growth ---------------------------------------------------------------------------
growth = benchmarks("settings_growth")
if growth:
    rows = []
    worst = 0.0
    sizes = {}
    for name, run in growth.items():
        _, what, size = name.split("/")
        size = int(size)
        seconds = run["real_time"] / 1000.0
        sizes.setdefault(what, []).append((size, seconds, run["heap_peak_bytes"]))
        if size >= 16 * 1024 * 1024:
            worst = max(worst, seconds)
        rows.append(f"| {what} | {size:,} | {run['real_time']:.2f} ms | "
                    f"{run['real_time'] * 1e6 / size:.0f} ns | {run['heap_peak_bytes'] / 1024:,.0f} KiB | "
                    f"{run['heap_peak_per_file_byte']:.2f} | {run['iterations']} |")
    # At most linear: from 1 MiB to 16 MiB the cost per file byte must not grow (by more than
    # the noise of a shared machine, half as much again). It may shrink, as fixed costs such as
    # the flush to disk spread over more bytes.
    linear = True
    growth_notes = []
    for what, points in sizes.items():
        points.sort()
        small, large = points[1], points[-1]
        ratio_time = (large[1] / large[0]) / (small[1] / small[0])
        ratio_heap = (large[2] / large[0]) / (small[2] / small[0])
        linear = linear and ratio_time <= 1.5 and ratio_heap <= 1.5
        growth_notes.append(f"{what}: time per byte ×{ratio_time:.2f}, heap per byte ×{ratio_heap:.2f}")
    summary.append(("6", "Settings file of 16 MiB: load, save (slower of the two)", "< 1 s", f"{worst * 1000:.0f} ms", worst < 1))
    summary.append(("6", "Time and heap grow linearly: cost per byte at 16 MiB against 1 MiB",
                    "no more than linear", "; ".join(growth_notes), linear))
    smallest_save = min((r["real_time"] for n, r in growth.items() if n.startswith("SettingsFile/save/")),
                        default=0.0)
    sections.append(f"""## 6. Growth of the settings file

`bench_settings_growth`: a settings file of 1 KiB, 1 MiB and 16 MiB (16 MiB is the largest the
program reads) made of the program's own sections and numbered sections of ten keys each, with
CR LF line ends. *Load* reads and parses it as start-up does; *save* writes it back as shut-down
does (serialised, written to a temporary file, flushed to disk, renamed over the old one). Heap
peak is the most the process held on the heap during the operation above what it held before.

| operation | file bytes | time | per file byte | heap peak | heap peak per file byte | runs |
|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

A save of even the smallest file takes {smallest_save:.1f} ms: mostly the flush to disk, which every
save makes whatever its size. Loaded settings hold about four bytes of heap per file byte (one string per line), a
save briefly three (the serialised text).
""")

# ---- 7. The tone finder's search -------------------------------------------------------------
search = benchmarks("tone_search")
finds = {name.split("/")[-1]: run for name, run in search.items() if name.startswith("ToneSearch/find/")}
if finds:
    labels = {
        "empty": "nothing typed (every tone)",
        "one-letter": "one letter, \"s\"",
        "name": "a name, \"strings\"",
        "name-full-width": "the same in full-width letters, \"ｓｔｒｉｎｇｓ\"",
        "japanese": "a Japanese instrument, \"バイオリン\"",
        "number": "a program number, \"41\"",
        "two-words": "two words, \"slow strings\"",
        "no-match": "no match, \"zzz\"",
    }
    rows = []
    for label, what in labels.items():
        run = finds.get(label)
        if run:
            rows.append(f"| {what} | {int(run['matches'])} | {us(run['real_time'])} | {us(run['cpu_time'])} | "
                        f"{run['allocs_per_find']:.0f} | {run['iterations']} |")
    slowest = max(run["real_time"] for run in finds.values())
    typing = search.get("ToneSearch/keystroke-in-window")
    summary.append(("7", "Tone finder: filtering the 899 tones for one keystroke (slowest query, mean)",
                    "< 1 ms", us(slowest), slowest < 1000))
    if typing:
        summary.append(("7", "… a key typed into the search field until the list holds the new rows (mean)",
                        "–", us(typing["real_time"]), None))
    typed = ""
    if typing:
        typed = (f" Through the window, a key typed into the field until the list's model holds the new "
                 f"rows (`keystroke-in-window`: an \"s\" typed and taken back in turns, the list going "
                 f"from all 899 tones and ten drum sets to those with an s and back) takes {us(typing['real_time'])}; the "
                 "list then paints the rows on show at the next repaint.")
    sections.append(f"""## 7. The tone finder's search

`bench_tone_search`: `ToneSearch::find`, which the finder's list runs on every keystroke, over
all 899 tones of the catalogue: every word of the query is looked for in each tone's name and in
its program's Japanese instrument name, after folding case, full-width forms and hiragana.
*Time* is the wall-clock mean per search, *CPU* the thread's own time; allocations are those of
one search (the query's words; the list of matches is reused).

| query | matches | time | CPU | allocations | runs |
|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

Target: well under a millisecond, so that the list follows the field at once. Slowest query:
{us(slowest)}.{typed}
""")

# ---- 8. The first message after an open ---------------------------------------------------
first_message = benchmarks("first_message").get("FirstMessage/open-then-gs-reset")
if first_message:
    fm = first_message
    loads = [float(v) for v in (results / "first_message.loadavg").read_text().split()] \
        if (results / "first_message.loadavg").exists() else []
    load_text = (f"1-minute load average {min(loads):.1f}–{max(loads):.1f} (mean {statistics.mean(loads):.1f})"
                 if loads else "load average not recorded")
    opens = int(fm["opens"])
    arrived = int(fm["arrived"])
    unexplained = int(fm["lost_without_xrun"]) + int(fm["failed_opens"])
    summary.append(("8", "First message after an open, machine busy: GS resets lost in periods "
                    "without an xrun, and failed opens", "0",
                    f"{int(fm['lost_without_xrun'])} lost, {int(fm['failed_opens'])} failed "
                    f"({arrived:,} of {opens:,} arrived)", unexplained == 0))
    summary.append(("8", "Open of a JACK port, machine busy (p50 / p99)", "reported",
                    f"{us(fm.get('open_p50_us'))} / {us(fm.get('open_p99_us'))}", None))
    sections.append(f"""## 8. The first message after an open, on a busy machine

`bench_first_message`: {opens:,} opens of a JACK MIDI input of the benchmark's own client
through the program's device list and port, each followed at once by the GS reset, as start-up
and a device switch send it, then a close. `scripts/bench.sh` runs this one with three busy loops
per core beside it ({load_text}).
A reset is *lost* when it has not reached the client within a second. A loss in a time the
server reported an xrun to the client (some client missed its period) may be the platform's: what
was written in that period never reaches anyone, whatever the sender did. A loss without one is
the program's. Why the first message went missing, and the figures before the fix, are in
[reliability.md](reliability.md#the-first-message-after-opening-a-jack-port).

| opens | arrived | lost with an xrun | lost without one | failed opens | opens with an xrun | open p50 | p99 | max | close p50 | p99 |
|---|---|---|---|---|---|---|---|---|---|---|
| {opens:,} | {arrived:,} | {int(fm['lost_with_xrun'])} | {int(fm['lost_without_xrun'])} | {int(fm['failed_opens'])} | {int(fm['opens_with_xrun'])} | {us(fm.get('open_p50_us'))} | {us(fm.get('open_p99_us'))} | {us(fm.get('open_max_us'))} | {us(fm['close_p50_us'])} | {us(fm['close_p99_us'])} |

An open returns once the program's process thread has seen a period with the connection in
effect; it waits a second at most for a server that runs its periods, and gives up after half a
second without a period (a stopped server). A close returns at once: the port is taken down on the
thread that talks to the server.
""")

# ---- 9. A MIDI keyboard playing through the program ------------------------------------------
# Before the input was played on its own thread (docs/performance.md of the commit before that
# change, and the same benchmark run with every core busy on it).
JACK_DELAY_BEFORE = "130 frames at the median and 256 at p99 on a quiet machine; p99 1.19 s with every core busy"

machines = (("quiet", ""), ("every core busy", "-busy"))
keyboard = {label: benchmarks("input_to_wire" + suffix) for label, suffix in machines}
keyboard_jack = {label: benchmarks("input_through_jack" + suffix).get("InputThroughJack/note")
                 for label, suffix in machines}
keyboard_jack = {label: run for label, run in keyboard_jack.items() if run and "on_time" in run}
if any(keyboard.values()) or keyboard_jack:
    parts = []
    messages = {"note": "a Note On or Off", "controller": "a controller (modulation)",
                "program-change": "Bank Select and Program Change (five messages out)"}
    guis = {"gui-idle": "asleep in its event loop", "gui-busy": "busy in a loop of its own"}
    rows = []
    measured = []
    for machine, runs in keyboard.items():
        for gui, gui_label in guis.items():
            for message, label in messages.items():
                run = runs.get(f"InputToWire/{message}/{gui}")
                if not run or "p99_us" not in run:
                    continue
                measured.append(run)
                rows.append(
                    f"| {label} | {gui_label} | {machine} | {us(run['p50_us'])} | {us(run['p90_us'])} | "
                    f"{us(run['p99_us'])} | {us(run['max_us'])} | {int(run['push_allocs_max'])} | "
                    f"{run['iterations']} |")
    if measured:
        worst = max(r["p99_us"] for r in measured)
        allocs = max(int(r["push_allocs_max"]) for r in measured)
        summary.append(("9", "Keyboard to wire, in process: from the input's thread pushing into the "
                        "program's input to the device's buffer (p99, worst of every message, the GUI "
                        "thread asleep or busy, the machine quiet or busy)", "< 20 µs", us(worst),
                        worst < 20))
        summary.append(("9", "Allocations on the input's thread per keyboard message, on its way to "
                        "the device", "0", str(allocs), allocs == 0))
        busy_load = load_of("input_to_wire-busy")
        parts.append("""`bench_input_to_wire`: the whole program on a MIDI service that keeps the bytes in fixed
storage, its window shown, and the program's input (`midi::InputRoute`, the one JACK's process
thread and the ALSA reader push to) fed by a thread of the benchmark's own, as a backend's input
thread feeds it. Each message comes after a random pause of 2–6 ms, as a player's come
milliseconds apart at the least. It is timed on that thread, from just before the first push to
the last byte in the device's buffer: the thru (for a Program Change, the previewer) and the MIDI
port, under the lock the GUI thread takes for its own use of the selection and the device. The
GUI thread meanwhile is either asleep in its event loop, or busy in a loop of its own (as in a slot
that runs long) that holds no lock and never returns to the event loop until the message is at
the device. Allocations are counted per thread by the `malloc` in front of the C library's, on the
input's thread over its pushes (the worst message, after 50 of warm-up). *Every core busy* is the
same run beside `scripts/with_busy_cores.sh` (three busy loops per core, """ + busy_load + """).

| message (played on channel 3, sent on channel 1) | GUI thread | machine | p50 | p90 | p99 | max | allocations on the input's thread (max) | messages |
|---|---|---|---|---|---|---|---|---|
""" + "\n".join(rows) + """

Target: p99 under 20 µs and nothing allocated on the input's thread. A message goes through on the
thread it arrives on, so the GUI thread's sleep and its work alike are no part of the way: the
figures with the GUI thread busy are those with it asleep, within the noise. Before, the
message crossed to the GUI thread through a queue and its event loop: p99 82.6 µs for a note or
controller and 68.8 µs for a Program Change, the GUI thread asleep; while the GUI thread was
busy, the message waited for it to be done.
""")
    if keyboard_jack:
        jack_rows = []
        for machine, kj in keyboard_jack.items():
            suffix = dict(machines)[machine]
            unexplained = int(kj["late_without_xrun"]) + int(kj["lost_without_xrun"])
            summary.append(("9", f"Keyboard through JACK, {machine}: messages later than their direct "
                            "copy (0 periods and 0 frames added), or lost, in a time without an xrun",
                            "0", f"{int(kj['late_without_xrun'])} late, {int(kj['lost_without_xrun'])} "
                            f"lost ({int(kj['on_time'])} of {int(kj['arrived'])} arrived on time; "
                            f"{int(kj['with_xrun'])} arrived and {int(kj['lost'])} were lost in a time "
                            "with an xrun)", unexplained == 0))
            load_text = "" if not suffix else f" ({load_of('input_through_jack' + suffix)})"
            jack_rows.append(
                f"| {machine}{load_text} | {int(kj['iterations'])} | {int(kj['on_time'])} | "
                f"{int(kj['late'])} ({int(kj['late_without_xrun'])}) | {int(kj['with_xrun'])} | "
                f"{int(kj['lost'])} ({int(kj['lost_without_xrun'])}) | "
                f"{kj['delay_frames_p50']:.0f} / {kj['delay_frames_p99']:.0f} / {kj['delay_frames_max']:.0f} | "
                f"{us(kj['direct_p50_us'])} / {us(kj['direct_p99_us'])} | "
                f"{us(kj['program_p50_us'])} / {us(kj['program_p99_us'])} | "
                f"{us(kj['in_program_p50_us'])} / {us(kj['in_program_p99_us'])} / {us(kj['in_program_max_us'])} |")
        any_run = next(iter(keyboard_jack.values()))
        parts.append(f"""`bench_input_through_jack`: on a JACK server with the dummy driver
({meta.get('jack', '48 kHz, 256-frame periods')}), a keyboard client of the benchmark's own
writes each Note On and Off to two ports in one and the same period, at the same random frame of
it: one connected to the program's input `in`, whose device is a port of a capture client, the
other straight to a second port of that capture client. The *delay* of a message is the frame of
its arrival through the program less that of its direct copy, each the server's frame time of
the period it arrived in plus the event's frame in it. Times run from the benchmark's call that
queues the message, at a random moment of the period, to the capture's process callback finding
it. *The program's part* runs from the keyboard's period to the return of the program's send, on
JACK's process thread. A message *with an xrun* arrived, or was lost, in a time the server
reported an xrun in (some client missed its period; what was written in it reaches no one, and
JACK's timing of the others slips); a message not back within three seconds is lost.

| machine | messages | on time (0 frames) | later (of them without an xrun) | arrived with an xrun | lost (without an xrun) | delay in frames p50 / p99 / max | direct p50 / p99 | through the program p50 / p99 | the program's part p50 / p99 / max |
|---|---|---|---|---|---|---|---|---|---|
""" + "\n".join(jack_rows) + f"""

JACK runs the program's process callback after the keyboard's and before the capture's, and the
callback reads the input before it writes the output: a message is played through as it is read,
and goes out in the same period at the frame it came in at ({any_run['period_frames']:.0f}-frame
periods of {us(any_run['period_us'])}). Before, the message crossed to the GUI thread and left at
the start of a later period: a delay of {JACK_DELAY_BEFORE}.
""")
    sections.append("## 9. A MIDI keyboard playing through the program\n\n" + "\n".join(parts))

# ---- the document ------------------------------------------------------------------------
machine = meta["machine"]
load = meta.get("load", {})
quiet = meta.get("quiet", False)
out = []
out.append("# Performance\n")
out.append(f"Measured {meta['date']} on {machine['cpu']} ({machine['cores']} cores), "
           f"{machine['ram_gb']:.0f} GB RAM, {machine['os']}, kernel {machine['kernel']}; "
           f"commit {meta.get('commit', '?')}.\n")
if quiet:
    out.append(f"The machine was quiet: 1-minute load average {load.get('before', '?')} before the "
               f"run and {load.get('after', '?')} after it.\n")
else:
    out.append(f"**The machine was loaded** (other builds and tests shared its cores): 1-minute "
               f"load average {load.get('before', '?')} before the run and {load.get('after', '?')} "
               f"after it, after waiting {load.get('waited_minutes', 0)} minutes for it to fall "
               "below 0.7. Tails (p99, max) and start-up times are higher than on a quiet machine.\n")
out.append("""No sound card: the built-in synth plays to a PulseAudio null sink, as it would to a desktop's
PulseAudio or PipeWire; JACK runs with its dummy driver; the display is Xvfb. With no audio
server at all (no PulseAudio, no JACK server, no sound card for ALSA) the built-in synth cannot
open on this machine: start-up shows the box 「ＭＩＤＩデバイスが開けません」 and the window
appears once it is closed. Google Benchmark is Debian's `libbenchmark-dev` (built as a debug
library, which only affects its own bookkeeping, not the code measured).

## Reproducing

    scripts/bench.sh

builds into `build/` (or `TONALYX_BUILD_DIR`), starts its own JACK server, PulseAudio server and
X display, runs every benchmark, keeps their raw results in `build/bench-results/` and writes
this file. It waits up to 30 minutes for the machine to be quiet first
(`TONALYX_BENCH_WAIT_MINUTES`). `scripts/bench.sh --quick` runs each once, only to see that they
work (the test suite does the same: `ctest -L bench`). A single benchmark runs on its own as
`build/bin/bench_press_to_wire` (and so on) with Google Benchmark's options; the ones that need a
server say so.

""")
out.append("## Summary\n")
out.append("| # | what | target | measured | |")
out.append("|---|---|---|---|---|")
for number, what, target, measured, met in summary:
    out.append(f"| {number} | {what} | {target} | {measured} | {verdict(met)} |")
out.append("")
missed = [s for s in summary if s[4] is False]
if missed:
    out.append("### Targets missed, and what would reach them\n")
    for number, what, target, measured, _ in missed:
        if number == "3":
            in_press = ""
            if first:
                in_press = (f" (here the press returned after {us(first['in_program_p50_us'])} at the median "
                            f"and {us(first['in_program_max_us'])} at most)")
            out.append(f"- **{what}: {measured}.** A press that gives the synth no time to read its "
                       "preset ahead (the pointer arriving with the press, or a key pressed at once "
                       "after Tab) reads the samples from the SoundFont inside the Program Change "
                       f"before its note can start{in_press}. On its own, reading one preset's samples "
                       f"takes {loading}; on a busy machine it takes longer. With the pointer resting "
                       "on the button first the samples are read ahead; a first use with none of that "
                       "time needs every sample in memory before it is asked for: loading the fonts "
                       f"whole (all {fonts_mb:.0f} MB of SoundFont read at start-up, so a resident "
                       "size far over the 80 MB target and a slower start) or a smaller SoundFont.")
        elif number == "2" and "JACK client" in what:
            out.append(f"- **{what}: {measured}.** A message written during a period leaves at the "
                       "start of the next one. The program's own handling of a press (section 2) "
                       "now and then carries its messages past a period's start that the straight "
                       "send, which has no window event to handle first, still makes; that moves the "
                       "mean by a period times the chance of it, close to what chance alone moves "
                       "the difference. Nothing is held back in the program once the message is "
                       "written: the output port takes it in the next period, as the straight send's does.")
        elif number == "4":
            out.append(f"- **{what}: {measured}.** See the start-up section.")
        elif number == "5":
            out.append(f"- **{what}: {measured}.** See the idle section.")
        elif number == "9":
            out.append(f"- **{what}: {measured}.** See section 9.")
        else:
            out.append(f"- **{what}: {measured}.**")
    out.append("")
out.append("### Fixed on the way\n")
out.append("""- Every short message sent to a real device (the built-in synth, ALSA, JACK) allocated
  three times on the heap: the message's bytes, a copy of them and a one-element list to send.
  A press sends three messages, so nine allocations per press; now the bytes stay on the stack
  and a press allocates nothing in the program (1. and 2.).
- FluidSynth frees a preset's samples as soon as no channel selects it and no note plays it, so
  going back to a preset heard a moment ago, or pressing the same button again after its note
  ended, read the samples from the SoundFont again within the press (p99 15.7 ms, max 22 ms to
  the sound for two presets pressed in turn, measured before the change). The built-in synth now
  keeps the last 16 presets heard loaded (3.); letting the oldest of them go, which frees its
  samples (up to ~5 ms), happens on a thread of the synth's own rather than in a press.
- FluidSynth's PulseAudio driver kept rendering and handing periods to the server while nothing
  sounded (7–18 % of a core on this machine), and made the user interface wait for the server:
  up to 30 s at an open, as long as the server was stopped at a close. The built-in synth now
  plays through an output of its own on libpulse's asynchronous API, which renders nothing while
  nothing sounds and never makes the user interface wait (docs/reliability.md).
""")
out.extend(sections)
print("\n".join(out))
