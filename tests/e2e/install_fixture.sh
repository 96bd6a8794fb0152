#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built program into a prefix of its own, as `cmake --install` does for a user, or
# removes that prefix again.
#   install_fixture.sh install BUILD-DIR PREFIX    install_fixture.sh remove PREFIX
set -eu
case "$1" in
install)
  rm -rf "$3"
  cmake --install "$2" --prefix "$3"
  ;;
remove)
  rm -rf "$2"
  ;;
*)
  echo "usage: $0 install BUILD-DIR PREFIX | remove PREFIX" >&2
  exit 2
  ;;
esac
