#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops a virtual X display (Xvfb) with the fluxbox window manager on it, so that a
# test can drive the real program through a real window system without a screen. The display
# number is the first free one, written to DIR/display; the window manager gets a home of its
# own in DIR, so a user's configuration never applies.
#   display_fixture.sh start DIR    display_fixture.sh stop DIR
set -u
action="$1"
dir="$2"

# Both are told to end at once; each is waited for, and killed if it will not end.
stop() {
  local pids=()
  for name in fluxbox xvfb; do
    [ -f "$dir/$name.pid" ] && pids+=("$(cat "$dir/$name.pid")")
    rm -f "$dir/$name.pid"
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  rm -f "$dir/display"
}

fail() {
  echo "display_fixture: $1" >&2
  for log in "$dir"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }; done
  stop
  exit 1
}

# One try at the display and its window manager: writes the display to DIR/display once both are
# ready; on failure, says why on standard output.
start_once() {
  mkdir -p "$dir/home/.fluxbox"
  # A plain background: the default wallpaper needs a helper that is not installed, and its
  # failure would open a message window over the desktop.
  echo "background: none" >"$dir/home/.fluxbox/overlay"
  # Xvfb picks a free display itself and writes its number to the descriptor once it accepts
  # connections, so neither a guessed number nor a wait is needed.
  exec 3>"$dir/display.fd"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do [ -s "$dir/display.fd" ] && break; sleep 0.1; done
  [ -s "$dir/display.fd" ] || { echo "Xvfb did not start within 10 s"; return 1; }
  display=":$(tr -d '[:space:]' <"$dir/display.fd")"
  rm -f "$dir/display.fd"

  HOME="$dir/home" DISPLAY="$display" fluxbox >"$dir/fluxbox.log" 2>&1 &
  echo $! >"$dir/fluxbox.pid"
  # The window manager is ready once it has claimed the screen and names itself there.
  for _ in $(seq 100); do
    DISPLAY="$display" wmctrl -m >/dev/null 2>&1 && break
    sleep 0.1
  done
  DISPLAY="$display" wmctrl -m >/dev/null 2>&1 \
    || { echo "fluxbox did not start within 10 s on $display"; return 1; }
  echo "$display" >"$dir/display"
}

case "$action" in
start)
  # On a machine kept busy the window manager has, rarely, found no server on a display Xvfb
  # had just reported ready: a failure of the platform's, not of the program under test, so a
  # fresh server is tried once more, and each failed try is reported.
  for attempt in 1 2; do
    stop
    why="$(start_once)" && exit 0
    echo "display_fixture: attempt $attempt: $why" >&2
  done
  fail "$why"
  ;;
stop)
  stop
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
