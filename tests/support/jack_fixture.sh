#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops a JACK server with the dummy driver (no sound card needed) under a name of its
# own, so that tests never meet a user's server or each other's. Its process id and log are kept
# in DIR.
#   jack_fixture.sh start NAME DIR    jack_fixture.sh stop NAME DIR
set -u
action="$1"
name="$2"
dir="$3"
export JACK_DEFAULT_SERVER="$name" JACK_NO_START_SERVER=1

stop() {
  if [ -f "$dir/jackd.pid" ]; then
    pid="$(cat "$dir/jackd.pid")"
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$dir/jackd.pid"
  fi
}

# JACK keeps its servers in a registry in shared memory with room for eight. A server that was
# killed (as the fault tests do on purpose) stays registered until a server of the same name
# starts again, so names that change between builds fill it up for good. With no JACK server
# running on the machine at all, every entry is stale and the registry can go.
clear_stale_registry() {
  if ! pgrep -x jackd >/dev/null && ! pgrep -x jackdbus >/dev/null; then
    find /dev/shm -maxdepth 1 -user "$(id -u)" \( -name 'jack-*' -o -name 'jack_*' \) \
      -delete 2>/dev/null
  fi
}

case "$action" in
start)
  stop
  clear_stale_registry
  mkdir -p "$dir"
  jackd --no-realtime -n "$name" -d dummy -r 48000 -p 256 >"$dir/jackd.log" 2>&1 &
  echo $! >"$dir/jackd.pid"
  if ! timeout 20 jack_wait -w -s "$name" >/dev/null 2>&1; then
    echo "jack_fixture: server $name did not start within 20 s" >&2
    cat "$dir/jackd.log" >&2
    stop
    exit 1
  fi
  ;;
stop)
  stop
  ;;
*)
  echo "usage: $0 start|stop NAME DIR" >&2
  exit 2
  ;;
esac
