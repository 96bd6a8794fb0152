#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package from a build folder (CPack, with the build's own CPack configuration)
# into WORK-DIR and unpacks it with dpkg -x into WORK-DIR/root, whose files are then made
# read-only, as a system folder is for users; or removes WORK-DIR again.
#   package_fixture.sh build BUILD-DIR WORK-DIR    package_fixture.sh remove WORK-DIR
set -eu
remove() {
  if [ -d "$1" ]; then chmod -R u+w "$1"; fi
  rm -rf "$1"
}
case "$1" in
build)
  work="$3"
  remove "$work"
  mkdir -p "$work"
  cpack --config "$2/CPackConfig.cmake" -G DEB -B "$work"
  packages=("$work"/tonalyx_*_amd64.deb)
  [ "${#packages[@]}" -eq 1 ] && [ -f "${packages[0]}" ] || {
    echo "package_fixture: expected one package in $work, found: ${packages[*]}" >&2
    exit 1
  }
  dpkg -x "${packages[0]}" "$work/root"
  chmod -R a-w "$work/root"
  ;;
remove)
  remove "$2"
  ;;
*)
  echo "usage: $0 build BUILD-DIR WORK-DIR | remove WORK-DIR" >&2
  exit 2
  ;;
esac
