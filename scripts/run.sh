#!/usr/bin/env bash
# Sets up and builds, then starts the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
exec "${TONALYX_BUILD_DIR:-$root/build}/bin/tonalyx" "$@"
