#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A person's session with the installed program: it is started from its menu entry on a real X
# display with a window manager, with a settings file that chooses a JACK port as the device; the
# person finds a tone by name and holds Down on the list's only row, clicks a program button and a
# key of the on-screen keyboard, holds a key on the focused button, uses the octave and GS buttons,
# plays a drum set and a drum sound on the drum set page and closes the window through the window
# manager. Every byte the program sends is captured on the JACK port and must be exactly what
# those actions mean; the window's screenshot and the settings file written on closing are checked
# too.
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
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=captured_session.sh
. "$here/captured_session.sh"
play_attempts "desktop session" "$0" "$@"
prefix="$1"
display_dir="$2"
jack_server="$3"
device_number_tool="$4"
capture_tool="$5"
work="$6"
package_root="${7:-}"

enter_session "$display_dir" "$jack_server"

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
trap end_processes EXIT

# --- The far end: a JACK MIDI input that records every event it receives, and every xrun.
start_capture "$capture_tool" tonalyx-e2e-capture "$device_number_tool"

# --- A settings file that chooses the capture port and a place for the window, edited by hand
# (lower-case names, Unix line ends); the program writes it back in its own form.
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

# The tab bar has the focus at start-up; a click on the first tab, the page shown, only makes the
# window active. The X server repeats a held key as presses alone, as the program asks it to.
first_tab_x=$((8 + 30)) first_tab_y=12
find_tone() {
  click "$first_tab_x" "$first_tab_y" && xdotool key Right Right Right Tab &&
    xdotool type --delay 20 "$1" && xdotool key Tab
}
step "on the finder's page, a search that lists one row, Gun Shot" "" find_tone "gun shot"
step "Down held on the only row: it sounds once however long it is held" \
  "b0 00 00 b0 20 00 c0 7f 90 3c 7f 90 3c 00" hold_key Down
step "back to the first page" "" click "$first_tab_x" "$first_tab_y"
button5_x=$((8 + 2 + 8 + 16)) button5_y=$((0 + 25 + 8 + 40 * 4 + 16))
step "a click on Button5 (program 5), which takes the focus" \
  "b0 00 00 c0 04 90 3c 7f 90 3c 00" click "$button5_x" "$button5_y"
step "a key held on the focused Button5: one note however long it is held" \
  "c0 04 90 3c 7f 90 3c 00" hold_key a
step "the +1 octave button: nothing sounds yet" "" click $((632 + 16)) $((408 + 12))
step "a click on the key D4, an octave up: the note 74" \
  "b0 00 00 c0 04 90 4a 7f 90 4a 00" click $((208 + 8)) $((376 + 50))
step "the GS button" "$gs_reset" click $((632 + 16)) $((368 + 16))
# The fifth tab, "ドラムセット", as measured on a screenshot.
step "on the drum set page" "" click $((8 + 431)) "$first_tab_y"
# The fifth page's buttons: the sets in a row from (6, 6) every 64 pixels, 63 by 24; the sounds
# in columns of eleven from (6, 54), 107 by 25 apart, 105 by 23 each.
step "a click on the Jazz set: its Program Change on channel 10 and its kick" \
  "c9 20 99 24 7f 99 24 00" click $((10 + 6 + 64 * 5 + 31)) $((25 + 6 + 12))
step "a click on Snare 1, key 38" \
  "99 26 7f 99 26 00" click $((10 + 6 + 107 + 52)) $((25 + 54 + 11))

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

# --- Close the window the way a person does: the window manager's close key. Its Alt reaches the
# focused button, Snare 1, first and sounds it, as any key does; the close ends it.
xdotool key --clearmodifiers alt+F4
expected="$expected 99 26 7f 99 26 00"
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
