#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that package_fixture.sh made and unpacked in WORK-DIR: its name and
# control data, its dependencies (the libraries the program links, found from the binary, and
# the data it needs; no development package), a stripped program, and every installed file as
# check_installed_files.sh checks an install, for files used from /usr.
#   check_package.sh WORK-DIR
set -u
work="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

package="$(ls "$work"/tonalyx_*_amd64.deb)" || exit 1
field() { dpkg-deb --field "$package" "$1"; }

version="$("$work/root/usr/bin/tonalyx" --version | sed -n 's/^tonalyx //p')"
[ "${package##*/}" = "tonalyx_${version}_amd64.deb" ] ||
  fail "the package is ${package##*/}, expected tonalyx_${version}_amd64.deb"
while read -r name expected; do
  [ "$(field "$name")" = "$expected" ] || fail "$name is '$(field "$name")', expected '$expected'"
done <<EOF_FIELDS
Package tonalyx
Version $version
Architecture amd64
Section sound
EOF_FIELDS

# Each dependency as a bare package name, one a line: alternatives split, versions dropped.
depends="$(field Depends | tr ',|' '\n\n' | sed 's/([^)]*)//; s/^ *//; s/ *$//')"
for needed in fluid-soundfont-gm fluid-soundfont-gs fonts-ipafont-gothic libqt6widgets6 \
  libfluidsynth3 libasound2; do
  grep -qx "$needed" <<<"$depends" || fail "the package does not depend on $needed: $(field Depends)"
done
if grep -q -- '-dev$' <<<"$depends"; then
  fail "the package depends on development packages: $(grep -- '-dev$' <<<"$depends" | tr '\n' ' ')"
fi

# Everything lies under /usr, and the program has no symbols, debugging data or compiler notes.
outside="$(dpkg-deb --contents "$package" | awk '{ print $6 }' | grep -v '^\./usr/' | grep -vx '\./')"
[ -z "$outside" ] || fail "files outside /usr: $outside"
sections="$(readelf --section-headers --wide "$work/root/usr/bin/tonalyx")"
for section in .symtab .debug_info .comment; do
  ! grep -q " \\$section " <<<"$sections" || fail "the program still has its $section section"
done

"$here/check_installed_files.sh" "$work/root/usr" /usr || failures=$((failures + 1))

if ((failures)); then
  echo "$failures check(s) failed for $package" >&2
  exit 1
fi
echo "package $package: all checks passed"
