#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and its tests with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer in a folder of their own (build-sanitize/, or TONALYX_SANITIZE_BUILD_DIR), then
# runs the test suite there. Any report fails the run: undefined behaviour aborts (the build
# passes -fno-sanitize-recover), a memory error aborts, and a leak at exit fails the test.
#
# Left out: tests labelled "alsa". The ALSA guest test runs its check program inside an emulated
# machine whose kernel has the ALSA sequencer; what it adds over the rest is the behaviour of
# that external system, and under full emulation it takes minutes. The normal pass runs it.
# Extra arguments go to ctest; --under-load runs the suite on a machine kept busy, as
# scripts/test.sh does.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_SANITIZE_BUILD_DIR:-$root/build-sanitize}"
source "$root/scripts/ctest_arguments.sh"

TONALYX_BUILD_DIR="$build" TONALYX_CMAKE_ARGS="-DTONALYX_SANITIZE=ON" "$root/scripts/setup.sh" test

# Set here rather than in the build, so that the processes the tests start (writers killed on
# purpose, JACK clients) run under the same options. No leak is suppressed: the whole suite,
# Qt, fontconfig, FluidSynth and libjack included, exits without one.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"${busy[@]}" ctest --test-dir "$build" --output-on-failure --no-tests=error -LE alsa \
  "${arguments[@]}"
