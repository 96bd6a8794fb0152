# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test scripts: takes --under-load out of "$@". Sets `busy` to the command that
# keeps the machine busy around ctest (empty without the flag), `under_load` to the flag to pass
# on, and `arguments` to the rest, for ctest.
busy=()
under_load=()
arguments=()
for argument in "$@"; do
  if [ "$argument" = --under-load ]; then
    busy=("$root/scripts/with_busy_cores.sh")
    under_load=(--under-load)
  else
    arguments+=("$argument")
  fi
done
