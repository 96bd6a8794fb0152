#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages only), then configures and builds.
# Safe to run again: it installs only what is missing and the build is incremental.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_BUILD_DIR:-$root/build}"

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libx11-dev libbenchmark-dev
  fonts-ipafont-gothic
  librtmidi-dev libfluidsynth-dev libjack-jackd2-dev libpulse-dev
  fluid-soundfont-gm fluid-soundfont-gs
  jackd2 pulseaudio pulseaudio-utils procps
  qemu-system-x86 busybox-static
  clang-14 libclang-rt-14-dev
  xvfb xauth x11-utils xdotool wmctrl fluxbox imagemagick appstream desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja ${TONALYX_CMAKE_ARGS:-}
fi
cmake --build "$build"
