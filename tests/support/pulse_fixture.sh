#!/usr/bin/env bash
# Starts or stops a private PulseAudio server whose only sink is a null sink named "cap", for
# recording what the built-in synth plays. Everything lives in the folder given, which names the
# server: its socket is DIR/pulse/native.
#   pulse_fixture.sh start DIR    pulse_fixture.sh stop DIR
set -u
action="$1"
dir="$2"
export XDG_RUNTIME_DIR="$dir" HOME="$dir" PULSE_SERVER="unix:$dir/pulse/native"

stop() {
  if [ -f "$dir/pulse.pid" ]; then
    pid="$(cat "$dir/pulse.pid")"
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
    if pactl info >/dev/null 2>&1; then exit 0; fi
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
