#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up, memory and idle CPU of the real program, watched from outside by startup_probe, once
# with the built-in synth as its device and once with a JACK port, and of vmpk (Debian's virtual
# MIDI keyboard) started the same way. Needs DISPLAY, a JACK server (JACK_DEFAULT_SERVER) and a
# PulseAudio server (PULSE_SERVER); writes one JSON line per run to OUT/startup-*.jsonl.
#   bench/run_startup.sh BUILD OUT [--quick]
set -euo pipefail
build="$(cd "$1" && pwd)"
out="$2"
quick="${3:-}"
runs=7
idle=10
first=0
if [ "$quick" = --quick ]; then
  runs=1
  idle=1
  first=1
fi
probe="$build/bin/startup_probe"
work="$out/startup"
rm -rf "$work"
mkdir -p "$work"
rm -f "$out"/startup-*.jsonl
jack_server="${JACK_DEFAULT_SERVER:?a JACK server is needed}"
: "${PULSE_SERVER:?a PulseAudio server is needed}"

# The program reads its settings beside its executable, so each set-up gets a copy of its own.
prepare() {
  local folder="$work/$1"
  mkdir -p "$folder/home"
  cp "$build/bin/tonalyx" "$folder/tonalyx"
  if [ -n "${2:-}" ]; then printf '%s' "$2" >"$folder/tonalyx.ini"; fi
}

# run NAME RUN-NUMBER IDLE-SECONDS PROBE-OPTIONS... -- COMMAND...
run() {
  local name="$1" number="$2" seconds="$3"
  shift 3
  local folder="$work/$name"
  local results="$out/startup-$name.jsonl"
  # Run 0 is a warm-up, not counted: the first start after a build reads everything from disk.
  if [ "$number" -eq 0 ]; then results=/dev/null; fi
  (cd "$folder" && HOME="$folder/home" XDG_CONFIG_HOME="$folder/home/.config" \
    "$probe" --settle 1 --idle "$seconds" --log "$folder/run$number.log" "$@") >>"$results"
}

prepare builtin
prepare jack $'[dev]\r\ndev_num=1\r\n'
mkdir -p "$work/vmpk/home"

# The runs alternate, so that a change in the machine's load touches them all alike; the last
# one of each also sits idle for the CPU figures.
for number in $(seq "$first" "$runs"); do
  seconds=0
  if [ "$number" -eq "$runs" ]; then seconds="$idle"; fi
  # A desktop without JACK: the built-in synth plays through PulseAudio.
  JACK_DEFAULT_SERVER="tonalyx-bench-absent-$$" \
    run builtin "$number" "$seconds" --title Tonalyx --pulse -- ./tonalyx
  # The program's device is the probe's JACK port, the only JACK MIDI input (device 1).
  JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1 \
    run jack "$number" "$seconds" --title Tonalyx --jack-port gs-in -- ./tonalyx
  if command -v vmpk >/dev/null; then
    # vmpk as installed, with a fresh configuration: its own synth plays through PulseAudio.
    JACK_DEFAULT_SERVER="tonalyx-bench-absent-$$" \
      run vmpk "$number" "$seconds" --title "Virtual MIDI Piano Keyboard" --pulse -- vmpk
  fi
done
