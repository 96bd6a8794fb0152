#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program's boxes on a real X display with a window manager: the box of start-up (a settings
# file that names a device which cannot be opened) and the box of closing (a settings file that
# cannot be written anywhere) each appear with their frame centred on the screen's work area,
# the part that the window manager's panels leave free, and go with the Return key.
#   centred_boxes.sh PREFIX DISPLAY-FIXTURE-DIR WORK-DIR
set -u
prefix="$1"
display_dir="$2"
work="$3"

rm -rf "$work"
mkdir -p "$work/runtime" "$work/home" "$work/config"
chmod 700 "$work/runtime"

export DISPLAY
DISPLAY="$(cat "$display_dir/display")" || exit 1
# No device is ever opened: no JACK server, no sound server.
export JACK_DEFAULT_SERVER="tonalyx-e2e-absent-$$" JACK_NO_START_SERVER=1
export PULSE_SERVER="unix:$work/no-pulse/native"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/config"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

settings="$prefix/bin/tonalyx.ini"
program_pid=

cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null; fi
  chmod u+w "$prefix/bin" "$work/config"
  rm -f "$settings"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  import -window root "$work/screen-at-failure.png" 2>/dev/null &&
    echo "the whole screen at the failure: $work/screen-at-failure.png" >&2
  [ -s "$work/program.log" ] && { echo "--- $work/program.log" >&2; cat "$work/program.log" >&2; }
  exit 1
}

. "$here/x_window.sh"

# The work area of the first desktop: x y width height.
read -r area_x area_y area_width area_height < <(
  xprop -root _NET_WORKAREA | sed -n 's/.*= //p' | tr -d ',' | cut -d' ' -f1-4)
[ -n "$area_height" ] || fail "the window manager names no work area"

# Whether a window's frame is centred on the work area, to within a pixel and a half: the
# centres are compared at twice their values, which are whole numbers.
centred() {
  local x y width height
  read -r x y width height <<<"$(frame_of "$1")" || return 1
  [ -n "$height" ] || return 1
  local dx=$((2 * x + width - 2 * area_x - area_width)) dy=$((2 * y + height - 2 * area_y - area_height))
  ((dx >= -3 && dx <= 3 && dy >= -3 && dy <= 3))
}

# A visible window of the program's titled "tonalyx" (the boxes' title; the search ignores letter
# case, so the main window "Tonalyx" is told apart by its number), other than the one given.
box_other_than() {
  local window
  for window in $(xdotool search --onlyvisible --name '^tonalyx$' 2>/dev/null); do
    if [ "$window" != "$1" ]; then echo "$window"; return 0; fi
  done
  return 1
}

check_box() {
  local what="$1" other="$2" box
  wait_until "the $what box" box_other_than "$other"
  box="$(box_other_than "$other")"
  if ! wait_until_centred "$box"; then
    fail "the $what box's frame is at '$(frame_of "$box")' (x y width height), not centred on the work area '$area_x $area_y $area_width $area_height'"
  fi
  import -window "$box" "$work/$what-box.png" 2>/dev/null && echo "the $what box: $work/$what-box.png"
  xdotool windowactivate --sync "$box" key --clearmodifiers Return
  box_gone() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
  wait_until "the $what box to go with Return" box_gone
}
wait_until_centred() {
  for _ in $(seq 100); do centred "$1" && return 0; sleep 0.1; done
  return 1
}

# --- Start-up: the settings name device -1, which no device has.
printf '[dev]\ndev_num=-1\n' >"$settings"
entry="$prefix/share/applications/example.tonalyx.Tonalyx.desktop"
command_line="$(sed -n 's/^Exec=//p' "$entry")"
[ -n "$command_line" ] || fail "no Exec line in $entry"
# Root may write anywhere; a user cannot write a folder without the permission to. So root starts
# the program without the capabilities that let it pass over permissions, as a user would.
launcher=
if [ "$(id -u)" -eq 0 ]; then launcher="setpriv --bounding-set -dac_override,-dac_read_search --"; fi
eval "exec $launcher ${command_line//\\\\/\\}" >"$work/program.log" 2>&1 &
program_pid=$!

check_box start-up none
window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonalyx$' | head -n 1)"
[ -n "$window" ] || fail "the main window did not appear after the box"

# --- Closing, with the settings file's every place read-only: beside the program and in
# XDG_CONFIG_HOME.
chmod a-w "$prefix/bin" "$work/config"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
check_box closing "$window"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended although its settings were not saved"

echo "centred boxes: all checks passed"
