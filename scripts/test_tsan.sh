#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the tests of the program's threads with ThreadSanitizer in a folder of their own
# (build-tsan/, or TONALYX_TSAN_BUILD_DIR) and runs them there: the MIDI input's queue, a keyboard
# playing into the program on recorded devices and through a real JACK server, the JACK calls
# thread, the JACK outputs with the ring to their process thread, device switching, every note a
# preview starts ending, the input soak, whose keyboard plays on a thread of its own among the
# window's clicks, switches and close, and the JACK input coming back with a server that was
# restarted. Any report of a data race fails the test that made it (ThreadSanitizer's exit
# status). scripts/test.sh runs it after the suite, once the packages are installed
# (scripts/setup.sh test). Extra arguments go to ctest; --under-load runs the tests on a machine
# kept busy, as scripts/test.sh does.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_TSAN_BUILD_DIR:-$root/build-tsan}"
source "$root/scripts/ctest_arguments.sh"

tests=(test_input_queue test_message_ring test_midi_input test_jack_input test_jack_calls
  test_jack_outputs test_device_switching test_every_note_ends test_input_soak
  test_jack_server_return)
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTONALYX_SANITIZE_THREAD=ON -DTONALYX_BENCHMARKS=OFF \
    ${TONALYX_CMAKE_ARGS:-}
fi
cmake --build "$build" --target "${tests[@]}"

# Set here rather than in the build, so that every process the tests start runs under them.
# The suppressions name libraries that are not built with the sanitizer and whose own threads
# it cannot follow; tests/tsan.supp says why each one is there. Qt starts a process (the tests'
# own JACK servers and tools) in its parent's memory, as vfork does, and the sanitizer then takes
# the parent for a child of a multi-threaded fork that starts threads: every such child runs its
# program at once, so that check is off.
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:second_deadlock_stack=1:history_size=4:die_after_fork=0"
regex="^($(IFS='|'; echo "${tests[*]}"))\$"
"${busy[@]}" ctest --test-dir "$build" --output-on-failure --no-tests=error -R "$regex" \
  "${arguments[@]}"
