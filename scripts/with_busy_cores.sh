#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a machine kept busy: three busy loops for every core, at the command's own
# priority, for as long as the command runs. They stop when it ends, however it ends. Its exit
# status is the command's.
#   scripts/with_busy_cores.sh COMMAND [ARGUMENTS...]
# TONALYX_BUSY_LOOPS sets the number of loops (default: 3 × nproc).
set -uo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGUMENTS...]" >&2
  exit 2
fi
loops="${TONALYX_BUSY_LOOPS:-$(($(nproc) * 3))}"
pids=()
stop_loops() {
  if [ ${#pids[@]} -gt 0 ]; then
    kill "${pids[@]}" 2>/dev/null
    wait "${pids[@]}" 2>/dev/null
    pids=()
  fi
}
trap stop_loops EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
for _ in $(seq "$loops"); do
  (trap - INT TERM; while :; do :; done) &
  pids+=($!)
done
echo "with_busy_cores: $loops busy loops on $(nproc) cores" >&2
"$@"
