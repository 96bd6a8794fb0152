#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every benchmark in bench/ and writes their figures to docs/performance.md.
# Needs neither a sound card nor a display: it starts a JACK server of its own (dummy driver), a
# PulseAudio server whose only sink is a null sink, and an X display (Xvfb with fluxbox). The
# first-message benchmark runs with every core kept busy (scripts/with_busy_cores.sh), and the
# keyboard benchmarks run again so.
#   scripts/bench.sh            the full run (about five minutes on two cores)
#   scripts/bench.sh --quick    each benchmark once, only to see that they all work
# Raw results stay in BUILD/bench-results. Before measuring it waits for the machine to be quiet
# (1-minute load average below 0.7), up to TONALYX_BENCH_WAIT_MINUTES (default 30), and the
# document says whether it was.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_BUILD_DIR:-$root/build}"
quick=""
if [ "${1:-}" = --quick ]; then quick=--quick; fi

# What only the benchmarks need: the peer they compare the program with, and a General MIDI
# SoundFont of 6 MB whose copies stand for a user's own fonts.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
if ! installed vmpk || ! installed timgm6mb-soundfont; then
  echo "bench: installing vmpk and timgm6mb-soundfont"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends vmpk \
    timgm6mb-soundfont
fi
TONALYX_BUILD_DIR="$build" "$root/scripts/setup.sh" test
if [ ! -x "$build/bin/bench_press_to_wire" ]; then
  echo "bench: the benchmarks were not built (is libbenchmark-dev installed? TONALYX_BENCHMARKS?)" >&2
  exit 1
fi

results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"
work="$(mktemp -d /tmp/tonalyx-bench-XXXXXX)"
jack_name="tonalyx-bench-$$"
load_sampler=
cleanup() {
  if [ -n "$load_sampler" ]; then kill "$load_sampler" 2>/dev/null || true; fi
  "$root/tests/support/jack_fixture.sh" stop "$jack_name" "$work/jack" || true
  "$root/tests/support/pulse_fixture.sh" stop "$work/pulse" || true
  rm -rf "$work"
}
trap cleanup EXIT

load() { cut -d' ' -f1 /proc/loadavg; }
waited=0
if [ -z "$quick" ]; then
  limit="${TONALYX_BENCH_WAIT_MINUTES:-30}"
  while awk -v load="$(load)" 'BEGIN { exit !(load >= 0.7) }' && [ "$waited" -lt "$limit" ]; do
    echo "bench: load average $(load), waiting for a quiet machine ($waited of $limit minutes)"
    sleep 60
    waited=$((waited + 1))
  done
fi
load_before="$(load)"

"$root/tests/support/jack_fixture.sh" start "$jack_name" "$work/jack"
"$root/tests/support/pulse_fixture.sh" start "$work/pulse"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=offscreen
export JACK_NO_START_SERVER=1
pulse="unix:$work/pulse/pulse/native"
absent="tonalyx-bench-absent-$$"

# benchmark_into RESULTS NAME COMMAND...: runs bench_NAME under COMMAND, its results in
# RESULTS.json.
benchmark_into() {
  local out="$1" name="$2"
  shift 2
  echo "bench: $out"
  "$@" "$build/bin/bench_$name" $quick --benchmark_out="$results/$out.json" \
    --benchmark_out_format=json
}
benchmark() { benchmark_into "$1" "$@"; }
# benchmark_busy RESULTS NAME COMMAND...: the same with every core kept busy
# (scripts/with_busy_cores.sh), the load average sampled into RESULTS.loadavg.
benchmark_busy() {
  (while sleep 5; do load; done) >"$results/$1.loadavg" &
  load_sampler=$!
  benchmark_into "$1" "$2" "$root/scripts/with_busy_cores.sh" "${@:3}"
  kill "$load_sampler"
  load_sampler=
}
benchmark press_to_wire env JACK_DEFAULT_SERVER="$absent"
benchmark press_through_jack env JACK_DEFAULT_SERVER="$jack_name"
# A keyboard's messages are played through on the input's own thread, whatever else the machine
# does: measured quiet and with every core busy.
benchmark input_to_wire env JACK_DEFAULT_SERVER="$absent"
benchmark_busy input_to_wire-busy input_to_wire env JACK_DEFAULT_SERVER="$absent"
benchmark input_through_jack env JACK_DEFAULT_SERVER="$jack_name"
benchmark_busy input_through_jack-busy input_through_jack env JACK_DEFAULT_SERVER="$jack_name"
# The first message after an open goes missing on a busy machine when an output writes before the
# server runs its connection: this one runs with every core kept busy.
benchmark_busy first_message first_message env JACK_DEFAULT_SERVER="$jack_name"
benchmark press_to_sound env JACK_DEFAULT_SERVER="$absent" PULSE_SERVER="$pulse"
# A keyboard's note on JACK to sound, beside a press of the same preset, quiet and with every core
# busy. Apart from the run above, whose idle figures are the program's alone, without JACK.
keyboard_to_sound=(env BENCHMARK_FILTER='same-preset-again/iter|InputToSound'
  JACK_DEFAULT_SERVER="$jack_name" PULSE_SERVER="$pulse")
benchmark_into press_to_sound-keyboard press_to_sound "${keyboard_to_sound[@]}"
# The synth's open is bounded in time, and with every core busy from the start the PulseAudio
# server may not answer within it: the busy loops start once the start-up is over.
(while sleep 5; do load; done) >"$results/press_to_sound-busy.loadavg" &
load_sampler=$!
benchmark_into press_to_sound-busy press_to_sound "${keyboard_to_sound[@]}" &
sound_pid=$!
sleep 5
"$root/scripts/with_busy_cores.sh" tail --pid="$sound_pid" -f /dev/null
wait "$sound_pid"
kill "$load_sampler"
load_sampler=
benchmark builtin_synth env JACK_DEFAULT_SERVER="$absent"
benchmark settings_growth env
benchmark tone_search env JACK_DEFAULT_SERVER="$absent"
echo "bench: start-up, memory and idle CPU"
(unset QT_QPA_PLATFORM
  JACK_DEFAULT_SERVER="$jack_name" PULSE_SERVER="$pulse" \
    "$root/bench/with_display.sh" "$root/bench/run_startup.sh" "$build" "$results" $quick)
load_after="$(load)"

quiet=false
if awk -v a="$load_before" -v b="$load_after" 'BEGIN { exit !(a < 0.7 && b < 1.0) }'; then
  quiet=true
fi
python3 - "$results/meta.json" <<PYTHON
import json, os, platform, subprocess, sys
cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
ram = next(int(l.split()[1]) for l in open("/proc/meminfo") if l.startswith("MemTotal"))
osname = next((l.split("=", 1)[1].strip().strip('"') for l in open("/etc/os-release") if l.startswith("PRETTY_NAME")), "?")
commit = subprocess.run(["git", "-C", "$root", "describe", "--always", "--dirty"], capture_output=True, text=True).stdout.strip()
json.dump({
    "date": subprocess.run(["date", "-u", "+%Y-%m-%d %H:%M UTC"], capture_output=True, text=True).stdout.strip(),
    "machine": {"cpu": cpu, "cores": os.cpu_count(), "ram_gb": ram / 1024 / 1024, "os": osname,
                "kernel": platform.release()},
    "commit": commit,
    "load": {"before": "$load_before", "after": "$load_after", "waited_minutes": $waited},
    "quiet": "$quiet" == "true",
    "quick": "$quick" != "",
    "idle_seconds": 1 if "$quick" else 10,
    "ticks_per_s": os.sysconf("SC_CLK_TCK"),
    "jack": "48 kHz, 256-frame periods of 5.3 ms",
}, open(sys.argv[1], "w"), indent=1)
PYTHON

if [ -n "$quick" ]; then
  python3 "$root/bench/report.py" "$results" >"$results/performance.md"
  echo "bench: quick run done; report in $results/performance.md (docs/ left alone)"
else
  python3 "$root/bench/report.py" "$results" >"$root/docs/performance.md"
  echo "bench: wrote docs/performance.md"
fi
