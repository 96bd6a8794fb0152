#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the tests need, builds everything and runs every test; then builds and runs the suite again under the
# sanitizers (scripts/test_sanitized.sh), the tests of the program's threads under ThreadSanitizer
# (scripts/test_tsan.sh), and fuzzes the settings file for a minute (scripts/fuzz.sh). Exits
# non-zero on any failure. Extra arguments go to every ctest run.
#   scripts/test.sh [--under-load] [CTEST ARGUMENTS...]
# --under-load runs both suites on a machine kept busy, three busy loops for every core
# (scripts/with_busy_cores.sh), started once the build is done and stopped when the suite ends,
# however it ends.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/ctest_arguments.sh"

"$root/scripts/setup.sh" test
"${busy[@]}" ctest --test-dir "${TONALYX_BUILD_DIR:-$root/build}" --output-on-failure \
  --no-tests=error "${arguments[@]}"
"$root/scripts/test_sanitized.sh" "${under_load[@]}" "${arguments[@]}"
"$root/scripts/test_tsan.sh" "${under_load[@]}" "${arguments[@]}"
"$root/scripts/fuzz.sh"
