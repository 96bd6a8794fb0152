#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that one purpose needs (only those missing), then configures and
# builds for it. Safe to run again: it installs only what is missing and the build is incremental.
#   scripts/setup.sh run        build and run the program: configures build/ without the tests
#                               and benchmarks if it is new, and builds the program alone
#   scripts/setup.sh test       everything the tests, the sanitizer run, the fuzzer and the
#                               end-to-end and package tests need: builds everything in build/
#   scripts/setup.sh package    what scripts/package.sh needs; builds nothing (scripts/package.sh
#                               builds the package in a folder of its own)
# TONALYX_BUILD_DIR moves the build folder; TONALYX_CMAKE_ARGS adds options to its first
# configuration.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_BUILD_DIR:-$root/build}"
purpose="${1:-run}"

# To build the program, and what it needs at run time besides the libraries it links.
run_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libx11-dev libasound2-dev libfluidsynth-dev libglib2.0-dev
  libpulse-dev libjack-jackd2-dev libdbus-1-dev
  fluid-soundfont-gm fluid-soundfont-gs fonts-ipafont-gothic
)
# To make the Debian package: dpkg-shlibdeps finds its dependencies, `file` finds its binaries.
package_packages=(dpkg-dev file)
# The tests' servers and tools: JACK and PulseAudio servers, an X display with a window manager
# and the tools that drive and look at it, a D-Bus session with the AT-SPI registry and the
# bindings a screen reader reads it with, the desktop's validators, the manual page checker,
# QEMU and busybox for the ALSA guest, clang's libFuzzer and sanitizers, Google Benchmark.
test_packages=(
  libbenchmark-dev
  jackd2 pulseaudio pulseaudio-utils procps
  xvfb xauth x11-utils xdotool wmctrl fluxbox imagemagick
  dbus at-spi2-core python3-pyatspi
  appstream desktop-file-utils man-db
  qemu-system-x86 busybox-static
  clang-14 libclang-rt-14-dev
)

case "$purpose" in
run) packages=("${run_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
*)
  echo "usage: $0 run|test|package" >&2
  exit 2
  ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    # A Debian installed with a root password has no sudo: say in one line what root must do.
    if ! command -v sudo >/dev/null; then
      echo "setup: no sudo here; as root, run: apt-get install --no-install-recommends ${missing[*]}; then run this command again" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# Whether the build folder is configured with its tests.
with_tests() { grep -q '^BUILD_TESTING:BOOL=ON$' "$build/CMakeCache.txt" 2>/dev/null; }

case "$purpose" in
run)
  # A folder configured for the tests builds the program just as well.
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DBUILD_TESTING=OFF -DTONALYX_BENCHMARKS=OFF \
      ${TONALYX_CMAKE_ARGS:-}
  fi
  cmake --build "$build" --target tonalyx
  ;;
test)
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja ${TONALYX_CMAKE_ARGS:-}
  elif ! with_tests; then
    # A folder that the run script configured: add the tests, and let the benchmarks be built
    # now that Google Benchmark is there.
    cmake "$build" -DBUILD_TESTING=ON -UTONALYX_BENCHMARKS
  fi
  cmake --build "$build"
  ;;
esac
