#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running the program needs, builds the program alone (into build/,
# or TONALYX_BUILD_DIR), then starts it with the arguments given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" run
exec "${TONALYX_BUILD_DIR:-$root/build}/bin/tonalyx" "$@"
