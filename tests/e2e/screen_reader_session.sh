#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The installed program as a screen reader's user meets it: on a real X display, with a D-Bus
# session and the AT-SPI registry of its own, sending to a JACK port. screen_reader.py walks the
# program's tree as a screen reader does and presses the key C4 through its press action; the
# port must receive exactly what a click on the key sends. It also types into the tone finder
# and checks its clear button, and that no control is unnamed.
#   screen_reader_session.sh PREFIX DISPLAY-FIXTURE-DIR JACK-SERVER DEVICE-NUMBER-TOOL CAPTURE-CLIENT
#                            WORK-DIR
# Each attempt runs in a D-Bus session of its own (dbus-run-session), which ends with it, and
# with it the accessibility bus and the registry that it started.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=captured_session.sh
. "$here/captured_session.sh"
play_attempts "screen reader session" dbus-run-session -- "$0" "$@"
prefix="$1"
display_dir="$2"
jack_server="$3"
device_number_tool="$4"
capture_tool="$5"
work="$6"

enter_session "$display_dir" "$jack_server"
unset XDG_CONFIG_HOME
# Qt exports its tree only to a screen reader that asks, unless told to always.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

settings="$prefix/bin/tonalyx.ini"
capture_pid=
program_pid=

cleanup() {
  end_processes
  rm -f "$settings"
}
trap cleanup EXIT

# What the session bus starts lives in this session's folders, not in the user's.
dbus-update-activation-environment HOME XDG_RUNTIME_DIR || fail "the session bus took no environment"

# --- The registry, before the program: a program started without one never joins the bus. The
# session bus starts the accessibility bus at the first question for its address, and that bus
# starts the registry at the first question to it.
a11y_bus="$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress | tr -d '[:space:]')"
[ -n "$a11y_bus" ] || fail "the session bus started no accessibility bus"
registry_answers() {
  dbus-send --bus="$a11y_bus" --print-reply --dest=org.a11y.atspi.Registry \
    /org/a11y/atspi/accessible/root org.freedesktop.DBus.Properties.Get \
    string:org.a11y.atspi.Accessible string:ChildCount >/dev/null 2>&1
}
wait_until "the AT-SPI registry" registry_answers

start_capture "$capture_tool" tonalyx-e2e-capture "$device_number_tool"
printf '[dev]\ndev_num=%d\n' "$device" >"$settings"

"$prefix/bin/tonalyx" >"$work/program.log" 2>&1 &
program_pid=$!

gs_reset="f0 41 10 42 12 40 00 7f 00 41 f7"
wait_for_bytes "the GS reset of start-up" "$gs_reset"

"$here/screen_reader.py" tonalyx || fail "the screen reader's checks failed"

# Program 1 in bank 0 at middle C, as a click on the key sends it; the finder sends nothing.
expected="$gs_reset b0 00 00 c0 00 90 3c 7f 90 3c 00"
wait_for_bytes "the bytes of the key C4" "$expected"
[ "$(captured)" = "$expected" ] ||
  bytes_fail "the port received '$(captured)', expected '$expected'"

# A logout's signal ends the program normally.
kill -TERM "$program_pid"
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_until "the program to end" program_ended
wait "$program_pid"
status=$?
program_pid=
((status == 0)) || fail "the program ended with status $status"
[ "$(captured)" = "$expected" ] || bytes_fail "by the end the port received '$(captured)', expected '$expected'"

echo "screen reader session: all checks passed"
