# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# What the sessions that capture the program's bytes on a JACK port share; sourced by them. A
# session calls play_attempts first, which names it in the reports, and sets `here` (the folder of
# these scripts) and `work` (its own folder, with program.log and capture.log) before calling the
# others; start_capture sets `capture_pid`, `capture_port` and `device`, the program's number for
# it, and the session sets `program_pid` once it starts the program.

lost_to_xruns=75

# Unless this is an attempt already, plays the session: runs the command (which runs the calling
# script again with its arguments) with TONALYX_E2E_ATTEMPT set, again while the bytes of an
# attempt went missing in a time with xruns, up to three times in all, and exits with its status.
# Bytes lost without an xrun fail at once.
play_attempts() {
  local status
  session="$1"
  shift
  [ -n "${TONALYX_E2E_ATTEMPT:-}" ] && return
  for attempt in 1 2 3; do
    TONALYX_E2E_ATTEMPT="$attempt" "$@"
    status=$?
    [ "$status" -eq "$lost_to_xruns" ] || exit "$status"
    echo "$session: attempt $attempt of 3 lost bytes in a time with xruns" >&2
  done
  echo "FAIL: every attempt lost bytes in a time with xruns" >&2
  exit 1
}

# Makes the session's folder anew and gives the program this display and this JACK server only. Its
# built-in synth is never opened here, but would find no sound server rather than a user's.
enter_session() {
  local display_dir="$1" jack_server="$2"
  rm -rf "$work"
  mkdir -p "$work/runtime" "$work/home"
  chmod 700 "$work/runtime"
  export DISPLAY
  DISPLAY="$(cat "$display_dir/display")" || exit 1
  export JACK_DEFAULT_SERVER="$jack_server" JACK_NO_START_SERVER=1
  export PULSE_SERVER="unix:$work/no-pulse/native"
  export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  # Only read by a sanitizer build, which ends with an error on any leak, a system library's too.
  export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

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
    echo "$session: $* (the server reported $xruns xrun(s))" >&2
    exit "$lost_to_xruns"
  fi
  fail "$@"
}

# wait_until and frame_of.
# shellcheck source=x_window.sh
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

# Starts the far end: a JACK MIDI input, CLIENT:input, that records every event it receives, and
# every xrun, into $work/capture.txt; `device` is the number the program gives it, as the
# DEVICE-NUMBER-TOOL finds it.
start_capture() {
  local capture_tool="$1" client="$2" device_number_tool="$3"
  capture_port="$client:input"
  "$capture_tool" "$client" input >"$work/capture.txt" 2>"$work/capture.log" &
  capture_pid=$!
  wait_until "the capture port" capture_ready
  device="$("$device_number_tool" "$capture_port")" || fail "the capture port is not offered as a device"
}
capture_ready() {
  kill -0 "$capture_pid" 2>/dev/null || fail "the capture client ended"
  jack_lsp 2>/dev/null | grep -qx "$capture_port"
}

# Ends the program and the capture client, whichever still run.
end_processes() {
  for pid in ${program_pid:-} ${capture_pid:-}; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
}
