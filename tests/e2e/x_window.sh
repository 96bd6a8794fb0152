# SPDX-License-Identifier: GPL-3.0-or-later
# Shell functions that the tests on a real X display share; sourced, not run. The script that
# sources it defines fail MESSAGE, which reports and ends it.

# Waits until a command succeeds, trying every tenth of a second; the limit of 20 s only turns a
# hang into a failure.
wait_until() {
  local what="$1"
  shift
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.1
  done
  fail "gave up waiting for $what"
}

# A window's frame on the screen, x y width height: the client area (xwininfo is right under
# fluxbox, where xdotool is not) grown by the frame's extents. Fails while there is no frame.
frame_of() {
  local extents left right top bottom
  extents="$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')"
  [ -n "$extents" ] || return 1
  read -r left right top bottom <<<"$extents"
  xwininfo -id "$1" |
    awk -F: -v l="$left" -v r="$right" -v t="$top" -v b="$bottom" '
      /Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
      /^ *Width/ { w = $2 } /^ *Height/ { h = $2 }
      END { print x - l, y - t, w + l + r, h + t + b }'
}
