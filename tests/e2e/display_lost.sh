#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The X server goes away under the program, as when it crashes or the session ends: the program
# ends with the toolkit's status 1, and the settings file holds the window as it last was (moved
# by the window manager) and the device it had switched to. The display is one of the test's own
# (Xvfb with fluxbox), killed with SIGKILL; the devices are two JACK ports, one after the other,
# so that the switch shows no box.
#   display_lost.sh PROGRAM DISPLAY-FIXTURE JACK-SERVER DEVICE-NUMBER-TOOL CAPTURE-CLIENT WORK-DIR
set -u
program="$1"
display_fixture="$2"
jack_server="$3"
device_number_tool="$4"
capture_tool="$5"
work="$6"

rm -rf "$work"
mkdir -p "$work/runtime" "$work/home" "$work/bin"
chmod 700 "$work/runtime"
cp "$program" "$work/bin/tonalyx"
settings="$work/bin/tonalyx.ini"

export JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1
export PULSE_SERVER="unix:$work/no-pulse/native"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY XDG_CONFIG_HOME
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

program_pid= capture_pids=
cleanup() {
  for pid in $program_pid $capture_pids; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  "$display_fixture" stop "$work/display"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in "$work/program.log" "$work"/capture-*.log; do
    [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
  done
  exit 1
}

. "$here/x_window.sh"

"$display_fixture" start "$work/display" || fail "no display"
export DISPLAY
DISPLAY="$(cat "$work/display/display")"

# Two ports, the second registered after the first, so that it is the next device.
gs_reset="f0 41 10 42 12 40 00 7f 00 41 f7"
for name in first second; do
  "$capture_tool" "tonalyx-lost-$name" input >"$work/capture-$name.txt" 2>"$work/capture-$name.log" &
  capture_pids="$capture_pids $!"
  ready() { grep -qx ready "$work/capture-$1.txt"; }
  wait_until "the $name capture port" ready "$name"
done
first="$("$device_number_tool" tonalyx-lost-first:input)" || fail "the first port is not offered"
second="$("$device_number_tool" tonalyx-lost-second:input)" || fail "the second port is not offered"
((second == first + 1)) || fail "the ports are devices $first and $second, not one after the other"
got_reset() { grep -qx "$gs_reset" "$work/capture-$1.txt"; }

printf '[window]\nleft=100\ntop=80\nwidth=679\nheight=526\n\n[dev]\ndev_num=%d\n' "$first" >"$settings"
"$work/bin/tonalyx" >"$work/program.log" 2>&1 &
program_pid=$!
window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonalyx$' | head -n 1)"
[ -n "$window" ] || fail "the program's window did not appear"
wait_until "the GS reset of start-up" got_reset first

placed() { [ "$(frame_of "$window")" = "100 80 679 526" ]; }
wait_until "the window at its place" placed
# The window is moved from outside, as a person dragging its title bar would. Whether the window
# manager puts the frame's corner or the client's there depends on the window's gravity.
xdotool windowmove "$window" 300 200
client_corner() { xwininfo -id "$window" | awk -F: '/Absolute upper-left [XY]/ { printf "%d ", $2 }'; }
moved() { [[ " $(frame_of "$window") $(client_corner)" =~ " 300 200 " ]]; }
wait_until "the window to move" moved
read -r x y width height <<<"$(frame_of "$window")"
read -r client_x client_y <<<"$(client_corner)"

# The device switch, clicked after the move: once its GS reset reaches the second port, the
# program has taken in the move too, which came before it.
xdotool mousemove --sync $((client_x + 552 + 36)) $((client_y + 368 + 16)) click 1
wait_until "the GS reset of the switch" got_reset second

kill -KILL "$(cat "$work/display/xvfb.pid")"
for _ in $(seq 200); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end when the display went away"
wait "$program_pid"
status=$?
program_pid=
((status == 1)) || fail "the program ended with status $status, expected 1"

expected="$(printf '[window]\r\nLeft=%d\r\nTop=%d\r\nWidth=%d\r\nHeight=%d\r\n\r\n[dev]\r\ndev_num=%d\r\n\r\n' \
  "$x" "$y" "$width" "$height" "$second" | od -c)"
[ "$(od -c "$settings")" = "$expected" ] ||
  fail "the settings file reads: $(od -c "$settings"), expected: $expected"
echo "display lost: all checks passed"
