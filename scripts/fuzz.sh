#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the settings-file fuzzer (libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer, through clang 14) in a folder of its own (build-fuzz/, or
# TONALYX_FUZZ_BUILD_DIR) and runs it for TONALYX_FUZZ_SECONDS seconds (60 unless set), starting
# from the seed corpus in tests/fuzz/corpus. New inputs worth keeping go to the build folder's
# corpus, never into the repository. A crash, hang, sanitizer report or broken property fails the
# run and leaves the input that caused it in the build folder (crash-*, timeout-*, leak-*).
# Extra arguments go to the fuzzer, for example -runs=10000000 for a long run by hand.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_FUZZ_BUILD_DIR:-$root/build-fuzz}"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14
fi
cmake --build "$build"
mkdir -p "$build/corpus"
cd "$build"
./fuzz_settings_file -max_total_time="${TONALYX_FUZZ_SECONDS:-60}" -timeout=10 -print_final_stats=1 \
  "$@" corpus "$root/tests/fuzz/corpus"
