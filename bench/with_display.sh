#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a virtual X display of its own (Xvfb, 1280x1024) with the fluxbox window
# manager, as on a desktop, then takes the display down again.
#   bench/with_display.sh COMMAND [ARGUMENTS...]
set -u
dir="$(mktemp -d /tmp/tonalyx-display-XXXXXX)"
xvfb=""
wm=""
cleanup() {
  for pid in $wm $xvfb; do
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$dir"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts connections.
exec 3>"$dir/display.fd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$dir/display.fd" ] && break; sleep 0.1; done
if [ ! -s "$dir/display.fd" ]; then
  echo "with_display: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(tr -d '[:space:]' <"$dir/display.fd")"

if command -v fluxbox >/dev/null; then
  mkdir -p "$dir/home/.fluxbox"
  # A plain background: the default wallpaper needs a helper that is not installed, and its
  # complaint would be one more window on the screen.
  echo "background: none" >"$dir/home/.fluxbox/overlay"
  HOME="$dir/home" fluxbox >"$dir/fluxbox.log" 2>&1 &
  wm=$!
  for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
fi

"$@"
