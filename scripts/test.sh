#!/usr/bin/env bash
# Sets up and builds, then runs every test; exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
ctest --test-dir "${TONALYX_BUILD_DIR:-$root/build}" --output-on-failure --no-tests=error "$@"
