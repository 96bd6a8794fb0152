#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window appears where the settings put it and does not move afterwards, start after start:
# the program is started RUNS times on a real X display with a window manager, while a watcher
# follows the window's frame from outside through the server's own events. The frame must be
# mapped with its corner at the saved place and never move while it is shown (the window manager
# may still fit its size); each run ends with SIGTERM and must write back the very rectangle it
# read.
#   window_maps_once.sh PROGRAM DISPLAY-FIXTURE-DIR JACK-SERVER DEVICE-NUMBER-TOOL CAPTURE-CLIENT
#                       WATCHER WORK-DIR [RUNS]
# The program sends to a JACK port named in its settings, so that start-up shows no box.
set -u
program="$1"
display_dir="$2"
jack_server="$3"
device_number_tool="$4"
capture_tool="$5"
watcher="$6"
work="$7"
runs="${8:-50}"

rm -rf "$work"
mkdir -p "$work/runtime" "$work/home" "$work/bin"
chmod 700 "$work/runtime"
cp "$program" "$work/bin/tonalyx"
settings="$work/bin/tonalyx.ini"

export DISPLAY
DISPLAY="$(cat "$display_dir/display")" || exit 1
export JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1
export PULSE_SERVER="unix:$work/no-pulse/native"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY XDG_CONFIG_HOME
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

capture_pid= watcher_pid= program_pid=
cleanup() {
  for pid in $program_pid $watcher_pid $capture_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in "$work/program.log" "$work/frames.txt"; do
    [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
  done
  exit 1
}

. "$here/x_window.sh"
lines_of() { grep -c "^$1" "$work/frames.txt"; }
at_least() { (($(lines_of "$1") >= $2)); }

capture_client=tonalyx-maps-once-capture
"$capture_tool" "$capture_client" input >"$work/capture.txt" 2>"$work/capture.log" &
capture_pid=$!
capture_ready() { grep -qx ready "$work/capture.txt"; }
wait_until "the capture port" capture_ready
device="$("$device_number_tool" "$capture_client:input")" || fail "the capture port is not offered as a device"

"$watcher" Tonalyx >"$work/frames.txt" 2>"$work/watcher.log" &
watcher_pid=$!
wait_until "the watcher" at_least ready 1

left=100 top=80 width=679 height=526
place="$left $top $width $height"
# Whatever the window manager still does to the frame is over once it is where it belongs.
placed() { [ "$(grep -E '^(mapped|moved)' "$work/frames.txt" | tail -n 1 | cut -d' ' -f2-)" = "$place" ]; }
written="$(printf '[window]\r\nHeight=%d\r\nWidth=%d\r\nTop=%d\r\nLeft=%d\r\n\r\n[dev]\r\ndev_num=%d\r\n\r\n' \
  "$height" "$width" "$top" "$left" "$device" | od -c)"
for run in $(seq "$runs"); do
  printf '[window]\nheight=%d\nwidth=%d\ntop=%d\nleft=%d\n\n[dev]\ndev_num=%d\n' \
    "$height" "$width" "$top" "$left" "$device" >"$settings"
  "$work/bin/tonalyx" >"$work/program.log" 2>&1 &
  program_pid=$!
  wait_until "the window of run $run" at_least mapped "$run"
  wait_until "the frame of run $run at '$place'" placed
  kill -TERM "$program_pid"
  wait "$program_pid"
  status=$?
  program_pid=
  ((status == 0)) || fail "run $run ended with status $status"
  wait_until "the window of run $run to go" at_least unmapped "$run"
  [ "$(od -c "$settings")" = "$written" ] || fail "run $run wrote: $(od -c "$settings")"
done

# Each run's lines end with "unmapped"; its frame's corner is the first two numbers of each line.
moved_runs="$(awk -v x="$left" -v y="$top" '
  /^(mapped|moved)/ { if ($2 != x || $3 != y) moved = 1 }
  /^unmapped/ { count += moved; moved = 0 }
  END { print count + 0 }' "$work/frames.txt")"
echo "window maps once: $runs starts, the frame's corner left its place in $moved_runs; the frames are in $work/frames.txt"
((moved_runs == 0)) || fail "the window moved after it was mapped in $moved_runs of $runs starts"
echo "window maps once: all checks passed"
