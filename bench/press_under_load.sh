#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Press to sound on the built-in synth, quiet and with every core busy (scripts/with_busy_cores.sh),
# for one build of bench_press_to_sound or more: the same PulseAudio server (a null sink) serves
# them all, and the set-ups take turns. Prints one table row per set-up and press kind, p50 / p90 /
# p99 / max in milliseconds, and keeps the raw results in OUT.
#   bench/press_under_load.sh OUT LABEL=COMMAND... 
# TONALYX_PRESS_MACHINE="busy" runs only the busy half, TONALYX_PRESS_FILTER picks the presses.
# Each COMMAND is the benchmark's path, with any wrapper before it ("prlimit --rtprio=0 …",
# "setpriv --inh-caps=-sys_nice …"); LABEL names its rows.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$1"
shift
mkdir -p "$out"
work="$(mktemp -d /tmp/tonalyx-press-load-XXXXXX)"
cleanup() {
  "$root/tests/support/pulse_fixture.sh" stop "$work/pulse" || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/tests/support/pulse_fixture.sh" start "$work/pulse"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen JACK_NO_START_SERVER=1
export JACK_DEFAULT_SERVER="tonalyx-absent-$$" PULSE_SERVER="unix:$work/pulse/pulse/native"
filter="${TONALYX_PRESS_FILTER:-PressToSound/(first-use|same-preset-again\$)}"
load() { cut -d' ' -f1 /proc/loadavg; }
for setup in "$@"; do
  label="${setup%%=*}"
  read -r -a command <<<"${setup#*=}"
  for busy in ${TONALYX_PRESS_MACHINE:-quiet busy}; do
    wrapper=()
    if [ "$busy" = busy ]; then wrapper=("$root/scripts/with_busy_cores.sh"); fi
    before="$(load)"
    "${wrapper[@]}" "${command[@]}" --benchmark_filter="$filter" \
      --benchmark_out="$out/$label-$busy.json" --benchmark_out_format=json \
      >"$out/$label-$busy.log" 2>&1
    echo "{\"before\": $before, \"after\": $(load)}" >"$out/$label-$busy.load"
  done
done
python3 - "$out" <<'PYTHON'
import json, pathlib, sys
out = pathlib.Path(sys.argv[1])
print("| set-up | machine | press | p50 | p90 | p99 | max | presses | 1-min load |")
print("|---|---|---|---|---|---|---|---|---|")
for path in sorted(out.glob("*.json")):
    label, busy = path.stem.rsplit("-", 1)
    load = json.loads((out / f"{label}-{busy}.load").read_text())
    for run in json.loads(path.read_text())["benchmarks"]:
        name = run["name"].split("/", 1)[1].rsplit("/iterations", 1)[0].split("/manual_time")[0]
        ms = lambda key: f"{run[key] / 1000:.2f}"
        print(f"| {label} | {busy} | {name} | {ms('sound_p50_us')} | {ms('sound_p90_us')} | "
              f"{ms('sound_p99_us')} | {ms('sound_max_us')} | {run['iterations']} | "
              f"{load['before']:.1f}–{load['after']:.1f} |")
PYTHON
