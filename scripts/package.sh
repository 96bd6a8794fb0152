#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package tonalyx_VERSION_amd64.deb in a build folder of its own
# (build-package/, or TONALYX_PACKAGE_BUILD_DIR), with Debian's compiler and linker flags
# (dpkg-buildflags: hardening included), and prints its path. Install it with
#   sudo apt install ./build-package/tonalyx_*_amd64.deb
# CPack makes it from the program's install rules (cmake/Packaging.cmake).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TONALYX_PACKAGE_BUILD_DIR:-$root/build-package}"
"$root/scripts/setup.sh" package

if [ ! -f "$build/build.ninja" ]; then
  # The flags are taken once, at the first configuration, as for any CMake build folder. Every
  # hardening feature: immediate binding as well, so that the whole offset table is read-only.
  export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
  CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
    -DTONALYX_BENCHMARKS=OFF
fi
cmake --build "$build" --target tonalyx
# CPack names the file it made in its last line: "CPack: - package: PATH generated."
(cd "$build" && cpack -G DEB) | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p'

