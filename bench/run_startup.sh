#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up, memory and idle CPU of the real program, watched from outside by startup_probe, once
# with the built-in synth as its device, once more with 200 SoundFonts of the user's own (copies
# of Debian's 6-MB TimGM6mb, when installed) and once with a JACK port, and of vmpk (Debian's
# virtual MIDI keyboard) started the same way. Needs DISPLAY, a JACK server (JACK_DEFAULT_SERVER) and a
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
    XDG_DATA_HOME="$folder/home/.local/share" \
    "$probe" --settle 1 --idle "$seconds" --log "$folder/run$number.log" "$@") >>"$results"
}

prepare builtin
prepare jack $'[dev]\r\ndev_num=1\r\n'
user_font=/usr/share/sounds/sf2/TimGM6mb.sf2
user_fonts=0
if [ -f "$user_font" ]; then
  prepare builtin-fonts
  user_fonts=200
  if [ "$quick" = --quick ]; then user_fonts=3; fi
  mkdir -p "$work/builtin-fonts/home/.local/share/tonalyx/soundfonts"
  for i in $(seq "$user_fonts"); do
    cp "$user_font" "$work/builtin-fonts/home/.local/share/tonalyx/soundfonts/$(printf 'user-%03d.sf2' "$i")"
  done
fi
mkdir -p "$work/vmpk/home"

# The runs alternate, so that a change in the machine's load touches them all alike; the last
# one of each also sits idle for the CPU figures.
for number in $(seq "$first" "$runs"); do
  seconds=0
  if [ "$number" -eq "$runs" ]; then seconds="$idle"; fi
  # A desktop without JACK: the built-in synth plays through PulseAudio.
  JACK_DEFAULT_SERVER="tonalyx-bench-absent-$$" \
    run builtin "$number" "$seconds" --title Tonalyx --pulse -- ./tonalyx
  if [ "$user_fonts" -gt 0 ]; then
    JACK_DEFAULT_SERVER="tonalyx-bench-absent-$$" \
      run builtin-fonts "$number" "$seconds" --title Tonalyx --pulse -- ./tonalyx
  fi
  # The program's device is the probe's JACK port, the only JACK MIDI input (device 1).
  JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1 \
    run jack "$number" "$seconds" --title Tonalyx --jack-port gs-in -- ./tonalyx
  if command -v vmpk >/dev/null; then
    # vmpk as installed, with a fresh configuration: its own synth plays through PulseAudio.
    JACK_DEFAULT_SERVER="tonalyx-bench-absent-$$" \
      run vmpk "$number" "$seconds" --title "Virtual MIDI Piano Keyboard" --pulse -- vmpk
  fi
done
# 1.2 GB of copies are not worth keeping.
rm -rf "$work/builtin-fonts/home/.local/share/tonalyx/soundfonts"
