#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A person's session with the installed program: it is started from its menu entry on a real X
# display with a window manager, with a settings file that chooses a JACK port as the device; the
# person clicks a program button and a key of the on-screen keyboard, holds a key on the focused
# button, uses the octave and GS buttons and closes the window through the window manager. Every
# byte the program sends is captured on the JACK port and must be exactly what those actions
# mean; the window's screenshot and the settings file written on closing are checked too.
#   desktop_session.sh PREFIX DISPLAY-FIXTURE-DIR JACK-SERVER DEVICE-NUMBER-TOOL CAPTURE-CLIENT WORK-DIR
#                      [ROOT]
# With ROOT, the program is a package unpacked into ROOT, as a user meets one installed: PREFIX
# lies inside ROOT and the menu entry names the program as installed, without ROOT; the
# program's folder cannot be written, so its settings are kept in
# $XDG_CONFIG_HOME/tonalyx/tonalyx.ini, XDG_CONFIG_HOME being a folder of WORK-DIR.
# Bytes lost in a session whose JACK server reported an xrun (a period some client missed, whose
# bytes no sender can bring back) may be the platform's loss: the session is then played again,
# up to three times in all. Bytes lost without an xrun fail at once.
set -u
lost_to_xruns=75
if [ -z "${TONALYX_E2E_ATTEMPT:-}" ]; then
  for attempt in 1 2 3; do
    TONALYX_E2E_ATTEMPT="$attempt" "$0" "$@"
    status=$?
    [ "$status" -eq "$lost_to_xruns" ] || exit "$status"
    echo "desktop session: attempt $attempt of 3 lost bytes in a time with xruns" >&2
  done
  echo "FAIL: every attempt lost bytes in a time with xruns" >&2
  exit 1
fi
prefix="$1"
display_dir="$2"
jack_server="$3"
device_number_tool="$4"
capture_tool="$5"
work="$6"
package_root="${7:-}"

rm -rf "$work"
mkdir -p "$work/runtime" "$work/home"
chmod 700 "$work/runtime"

# The program talks to this display and this JACK server only. Its built-in synth is never
# opened here, but would find no sound server rather than a user's.
export DISPLAY
DISPLAY="$(cat "$display_dir/display")" || exit 1
export JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1
export PULSE_SERVER="unix:$work/no-pulse/native"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# Only read by a sanitizer build, which ends with an error on any leak, a system library's too.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

capture_client=tonalyx-e2e-capture
capture_port="$capture_client:input"
if [ -n "$package_root" ]; then
  export XDG_CONFIG_HOME="$work/config"
  settings="$XDG_CONFIG_HOME/tonalyx/tonalyx.ini"
  mkdir -p "${settings%/*}"
else
  unset XDG_CONFIG_HOME
  settings="$prefix/bin/tonalyx.ini"
fi
capture_pid=
program_pid=

cleanup() {
  for pid in $program_pid $capture_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  import -window root "$work/screen-at-failure.png" 2>/dev/null &&
    echo "the whole screen at the failure: $work/screen-at-failure.png" >&2
  for log in "$work/program.log" "$work/capture.log"; do
    [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
  done
  exit 1
}

# Bytes missing or wrong on the capture port: the platform's loss when the server has reported an
# xrun in this session, the program's otherwise.
bytes_fail() {
  local xruns
  xruns="$(grep -c '^xrun$' "$work/capture.txt")"
  if ((xruns > 0)); then
    echo "desktop session: $* (the server reported $xruns xrun(s))" >&2
    exit "$lost_to_xruns"
  fi
  fail "$@"
}

. "$here/x_window.sh"

# Waits until the capture port has received at least as many bytes as these.
wait_for_bytes() {
  local what="$1" bytes="$2"
  for _ in $(seq 200); do
    received_as_many_as "$bytes" && return 0
    sleep 0.1
  done
  bytes_fail "gave up waiting for $what: the port received '$(captured)', expected '$bytes'"
}

# The bytes received on the capture port so far, in lower-case hex separated by blanks: one line
# of the capture client per event, besides its "ready" and "xrun" lines.
captured() {
  awk '/^[0-9a-f][0-9a-f]( [0-9a-f][0-9a-f])*$/ { printf "%s ", $0 }' "$work/capture.txt" |
    sed 's/ $//'
}

# Whether the port has received at least as many bytes as these.
received_as_many_as() {
  local have want
  read -r -a have <<<"$(captured)"
  read -r -a want <<<"$1"
  ((${#have[@]} >= ${#want[@]}))
}

# --- The far end: a JACK MIDI input that records every event it receives, and every xrun.
"$capture_tool" "$capture_client" input >"$work/capture.txt" 2>"$work/capture.log" &
capture_pid=$!
capture_ready() {
  kill -0 "$capture_pid" 2>/dev/null || fail "the capture client ended"
  jack_lsp 2>/dev/null | grep -qx "$capture_port"
}
wait_until "the capture port" capture_ready

# --- A settings file that chooses the capture port and a place for the window, edited by hand
# (lower-case names, Unix line ends); the program writes it back in its own form.
device="$("$device_number_tool" "$capture_port")" || fail "the capture port is not offered as a device"
left=100 top=80 width=679 height=526
printf '[window]\nheight=%d\nwidth=%d\ntop=%d\nleft=%d\n\n[dev]\ndev_num=%d\n' \
  "$height" "$width" "$top" "$left" "$device" >"$settings"

# --- Start the program as the menu does.
entry="$prefix/share/applications/example.tonalyx.Tonalyx.desktop"
command_line="$(sed -n 's/^Exec=//p' "$entry")"
[ -n "$command_line" ] || fail "no Exec line in $entry"
launcher=
if [ -n "$package_root" ]; then
  [ "${command_line:0:1}" = / ] || fail "the menu entry's program '$command_line' is not a full path"
  command_line="$package_root$command_line"
  # Root may write anywhere; a user may not write the program's folder. So root starts the program
  # without the capabilities that let it pass over permissions, as a user would.
  if [ "$(id -u)" -eq 0 ]; then launcher="setpriv --bounding-set -dac_override,-dac_read_search --"; fi
fi
# The value's own escapes first (a doubled backslash is one), then the quoting of the command
# line, which follows the shell's double quotes.
eval "exec $launcher ${command_line//\\\\/\\}" >"$work/program.log" 2>&1 &
program_pid=$!

window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonalyx$' | head -n 1)"
[ -n "$window" ] || fail "the program's window did not appear"

# The frame the window manager put around the window: left, right, top, bottom.
frame_extents() {
  xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ','
}
has_frame() { [ -n "$(frame_extents)" ]; }
wait_until "the window's frame" has_frame
read -r frame_left frame_right frame_top frame_bottom <<<"$(frame_extents)"

# The client area's place and size on the screen.
client_geometry() {
  xwininfo -id "$window" |
    awk -F: '/Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
             /^ *Width/ { w = $2 } /^ *Height/ { h = $2 } END { print x + 0, y + 0, w + 0, h + 0 }'
}
# Where the settings put it, frame included. The program fits its frame once the window manager
# has drawn it, so wait for that.
expected_geometry="$((left + frame_left)) $((top + frame_top)) \
$((width - frame_left - frame_right)) $((height - frame_top - frame_bottom))"
placed() { [ "$(client_geometry)" = "$expected_geometry" ]; }
for _ in $(seq 100); do placed && break; sleep 0.1; done
placed || fail "the client area is at '$(client_geometry)' (x y width height), expected '$expected_geometry'"
read -r client_x client_y client_width client_height <<<"$(client_geometry)"

gs_reset="f0 41 10 42 12 40 00 7f 00 41 f7"
expected="$gs_reset"
wait_for_bytes "the GS reset of start-up" "$expected"
[ "$(captured)" = "$expected" ] || bytes_fail "at start-up the port received '$(captured)', expected '$expected'"

# --- The window as it is drawn on the screen: its size, something drawn, and the keyboard's keys
# where the clicks below expect them.
import -window "$window" "$work/window.png" || fail "no screenshot of the window"
echo "screenshot of the window: $work/window.png"
pixel() { convert "$work/window.png" -crop "1x1+$1+$2" -depth 8 rgb:- | od -An -tx1 | tr -d ' \n'; }
size="$(identify -format '%wx%h' "$work/window.png")"
[ "$size" = "${client_width}x${client_height}" ] || fail "the screenshot is $size, the window ${client_width}x${client_height}"
colours="$(identify -format '%k' "$work/window.png")"
((colours >= 32)) || fail "the screenshot has only $colours colours: the window looks blank"
while read -r x y colour what; do
  [ "$(pixel "$x" "$y")" = "$colour" ] || fail "$what at $x,$y is $(pixel "$x" "$y"), expected $colour"
done <<EOF_PIXELS
200 425 ffffff the white key C4
208 390 000000 the black key C#4
232 425 ffffff the white key E4
EOF_PIXELS

# --- What the person does, and the bytes each action must send. Positions are in the client area:
# the controls' own layout, and for the program buttons the tab page's place in the tab control
# (2, 25), measured on a screenshot. Clicks aim at a control's middle, far from its edges.
click() { xdotool mousemove --sync "$((client_x + $1))" "$((client_y + $2))" click 1; }
hold_key() {
  # Longer than the keyboard's repeat delay, so the server repeats the key while it is held.
  xdotool keydown "$1"
  sleep 1.5
  xdotool keyup "$1"
}

step() {
  local what="$1" bytes="$2"
  shift 2
  "$@" || fail "$what: the action failed"
  expected="${expected}${bytes:+ $bytes}"
  [ -z "$bytes" ] && return
  wait_for_bytes "the bytes of: $what" "$expected"
  [ "$(captured)" = "$expected" ] ||
    bytes_fail "after: $what, the port received '$(captured)', expected '$expected'"
}

button5_x=$((8 + 2 + 8 + 16)) button5_y=$((0 + 25 + 8 + 40 * 4 + 16))
step "a click on Button5 (program 5), which takes the focus" \
  "b0 00 00 c0 04 90 3c 7f 90 3c 00" click "$button5_x" "$button5_y"
step "a key held on the focused Button5: one note however long it is held" \
  "c0 04 90 3c 7f 90 3c 00" hold_key a
step "the +1 octave button: nothing sounds yet" "" click $((632 + 16)) $((408 + 12))
step "a click on the key D4, an octave up: the note 74" \
  "b0 00 00 c0 04 90 4a 7f 90 4a 00" click $((208 + 8)) $((376 + 50))
step "the GS button" "$gs_reset" click $((632 + 16)) $((368 + 16))

# The readouts follow the selection: the program number and the tone name fields are drawn
# differently from start-up.
import -window "$window" "$work/window-after.png" || fail "no screenshot of the window"
echo "screenshot after the actions: $work/window-after.png"
area() { convert "$1" -crop "$2" +repage -depth 8 rgb:-; }
while read -r geometry what; do
  ! cmp -s <(area "$work/window.png" "$geometry") <(area "$work/window-after.png" "$geometry") ||
    fail "$what ($geometry) looks as it did at start-up"
done <<EOF_READOUTS
33x20+128+448 the program number
249x20+368+448 the tone name
EOF_READOUTS

# --- Close the window the way a person does: the window manager's close key.
xdotool key --clearmodifiers alt+F4
for _ in $(seq 200); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end when its window was closed"
wait "$program_pid"
status=$?
program_pid=
((status == 0)) || fail "the program ended with status $status"

[ "$(captured)" = "$expected" ] || bytes_fail "by the end the port received '$(captured)', expected '$expected'"

# The window was neither moved nor resized and the device not changed, so the settings file holds
# the same values, in the program's own form, and replaced the old one without leaving anything
# beside it or beside the program.
printf '[window]\r\nHeight=%d\r\nWidth=%d\r\nTop=%d\r\nLeft=%d\r\n\r\n[dev]\r\ndev_num=%d\r\n\r\n' \
  "$height" "$width" "$top" "$left" "$device" >"$work/settings-expected.ini"
cmp -s "$work/settings-expected.ini" "$settings" ||
  fail "the settings file reads: $(od -c "$settings"), expected: $(od -c "$work/settings-expected.ini")"
for file in "$prefix/bin"/* "$prefix/bin"/.[!.]* "${settings%/*}"/* "${settings%/*}"/.[!.]*; do
  case "$file" in
  "$prefix/bin/tonalyx" | "$settings" | */'*' | */'.[!.]*') ;;
  *) fail "a file was left beside the program or its settings: $file" ;;
  esac
done

echo "desktop session: all checks passed"
