#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops a private PulseAudio server whose only sink is a null sink named "cap", for
# recording what the built-in synth plays. Everything lives in the folder given, which names the
# server: its socket is DIR/pulse/native, its process id is in DIR/pulse.pid (tests that stop
# the server with SIGSTOP read it there).
#   pulse_fixture.sh start DIR    pulse_fixture.sh stop DIR
#
# A null sink with no stream renders up to 2 s ahead, and cannot take that back when a stream
# connects: a new stream is then not read for up to 2 s, where a sound card's sink rewinds at
# once. A silent stream kept playing (DIR/pin.pid) makes the null sink behave like a
# card's.
set -u
action="$1"
dir="$2"
export XDG_RUNTIME_DIR="$dir" HOME="$dir" PULSE_SERVER="unix:$dir/pulse/native"

stop() {
  if [ -f "$dir/pin.pid" ]; then
    kill "$(cat "$dir/pin.pid")" 2>/dev/null
    rm -f "$dir/pin.pid"
  fi
  if [ -f "$dir/pulse.pid" ]; then
    pid="$(cat "$dir/pulse.pid")"
    kill -CONT "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$dir/pulse.pid"
  fi
}

case "$action" in
start)
  stop
  rm -rf "$dir"
  mkdir -p "$dir" && chmod 700 "$dir"
  pulseaudio --daemonize=no --system=false --exit-idle-time=-1 -n --disallow-exit \
    --use-pid-file=no --log-target=stderr \
    -L module-native-protocol-unix \
    -L "module-null-sink sink_name=cap rate=48000" >"$dir/pulse.log" 2>&1 &
  echo $! >"$dir/pulse.pid"
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then
      pacat --playback --latency-msec=100 --format=s16le --rate=48000 --channels=2 /dev/zero \
        >/dev/null 2>&1 &
      echo $! >"$dir/pin.pid"
      # The sink has rendered ahead before the pin came; let that run out.
      sleep 2.5
      exit 0
    fi
    sleep 0.1
  done
  echo "pulse_fixture: the server did not answer within 10 s" >&2
  cat "$dir/pulse.log" >&2
  stop
  exit 1
  ;;
stop)
  stop
  exit 0
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
