# SPDX-License-Identifier: GPL-3.0-or-later
# The sound servers that the tests and the quick benchmark runs start for themselves, each named
# once here. They are named after this build folder, so that builds and users never share one.
string(MD5 _tonalyx_build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_tonalyx_build_hash}" 0 8 TONALYX_BUILD_HASH)

# The JACK server (dummy driver, no sound card) shared by the MIDI and device tests.
set(TONALYX_JACK_SERVER "tonalyx-test-${TONALYX_BUILD_HASH}")
# One that the device fault tests start and kill themselves.
set(TONALYX_FAULTS_JACK_SERVER "tonalyx-faults-${TONALYX_BUILD_HASH}")
# One that the stall test starts, stops and continues itself.
set(TONALYX_STALL_JACK_SERVER "tonalyx-stall-${TONALYX_BUILD_HASH}")
# The end-to-end session's own, so that the only MIDI input on it is the session's capture port.
set(TONALYX_E2E_JACK_SERVER "tonalyx-e2e-${TONALYX_BUILD_HASH}")
# A name that no server has, for the tests of a machine without JACK.
set(TONALYX_ABSENT_JACK_SERVER "tonalyx-absent-${TONALYX_BUILD_HASH}")

# The PulseAudio server whose one sink is a null sink. Its folder is short, since the socket's
# whole path must fit in 108 bytes wherever the build is.
set(TONALYX_PULSE_DIR "/tmp/tonalyx-pulse-${TONALYX_BUILD_HASH}")
set(TONALYX_PULSE_SERVER "unix:${TONALYX_PULSE_DIR}/pulse/native")

# A JACK server and a PulseAudio server of their own for the tests that stop them with SIGSTOP,
# so that no other test meets a server that does not answer.
set(TONALYX_STALL_JACK_SERVER "tonalyx-stall-${TONALYX_BUILD_HASH}")
set(TONALYX_STALL_PULSE_DIR "/tmp/tonalyx-stall-${TONALYX_BUILD_HASH}")
set(TONALYX_STALL_PULSE_SERVER "unix:${TONALYX_STALL_PULSE_DIR}/pulse/native")

# The scripts that start and stop them.
set(TONALYX_JACK_FIXTURE "${PROJECT_SOURCE_DIR}/tests/support/jack_fixture.sh")
set(TONALYX_PULSE_FIXTURE "${PROJECT_SOURCE_DIR}/tests/support/pulse_fixture.sh")
