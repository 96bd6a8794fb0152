#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test; then builds and runs the
# suite again under the sanitizers (scripts/test_sanitized.sh) and fuzzes the settings file for a
# minute (scripts/fuzz.sh). Exits non-zero on any failure. Extra arguments go to both ctest runs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" test
ctest --test-dir "${TONALYX_BUILD_DIR:-$root/build}" --output-on-failure --no-tests=error "$@"
"$root/scripts/test_sanitized.sh" "$@"
"$root/scripts/fuzz.sh"
