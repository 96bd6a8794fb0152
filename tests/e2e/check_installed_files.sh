#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what `cmake --install` put into PREFIX: the program, a menu entry and a description that
# the desktop's own validators accept, the icon at every size the icon theme looks for, the
# manual page and the licence; and that the program, its description and its manual page name
# the same version. INSTALLED-PREFIX is where the files are used from, when that is not where
# they lie: /usr for a package unpacked into a folder.
#   check_installed_files.sh PREFIX [INSTALLED-PREFIX]
set -u
prefix="$1"
installed="${2:-$prefix}"
app_id=example.tonalyx.Tonalyx
entry="$prefix/share/applications/$app_id.desktop"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Every installed file: its path under the prefix and what it must be.
while read -r path kind; do
  file="$prefix/$path"
  case "$kind" in
  program) if ! [ -f "$file" ] || ! [ -x "$file" ]; then fail "$path is not an executable file"; fi ;;
  png-*)
    size="${kind#png-}"
    actual="$(identify -format '%m %wx%h' "$file" 2>/dev/null)"
    [ "$actual" = "PNG ${size}x${size}" ] || fail "$path is '$actual', not a ${size}x${size} PNG"
    ;;
  svg) grep -q '^<svg xmlns="http://www.w3.org/2000/svg"' "$file" 2>/dev/null || fail "$path is not an SVG image" ;;
  text) [ -s "$file" ] || fail "$path is missing or empty" ;;
  gzip) gzip -t "$file" 2>/dev/null || fail "$path is not a whole gzip file" ;;
  esac
done <<EOF_FILES
bin/tonalyx program
share/icons/hicolor/16x16/apps/tonalyx.png png-16
share/icons/hicolor/32x32/apps/tonalyx.png png-32
share/icons/hicolor/scalable/apps/tonalyx.svg svg
share/applications/$app_id.desktop text
share/metainfo/$app_id.metainfo.xml text
share/man/man1/tonalyx.1.gz gzip
share/doc/tonalyx/copyright text
share/doc/tonalyx/changelog.gz gzip
EOF_FILES

# The desktop's own rules for menu entries, and for the description together with the entry it
# names (validate-tree finds the entry through the description's launchable).
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
appstreamcli validate --pedantic --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli rejects the description"
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed tree"

# The manual page as Debian's checks read it: any warning of the formatter is a fault.
manual="$prefix/share/man/man1/tonalyx.1.gz"
warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"

# The licence in Debian's machine-readable form.
copyright="$prefix/share/doc/tonalyx/copyright"
[ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "$copyright is not in the machine-readable form"
grep -qx "License: GPL-3+" "$copyright" || fail "$copyright does not name GPL-3+"

# One version everywhere: what the program says, its description's latest release, the manual page.
version="$("$prefix/bin/tonalyx" --version | sed -n 's/^tonalyx //p')"
[ -n "$version" ] || fail "the program does not say its version"
grep -q "<release version=\"$version\" date=\"[0-9-]*\">" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "the description has no release $version"
zcat "$manual" | grep -q "^\.TH TONALYX 1 \"[0-9-]*\" \"Tonalyx $version\"" ||
  fail "the manual page is not of version $version"

# What the menu shows and starts: each key's exact value.
while IFS='=' read -r key expected; do
  actual="$(sed -n "s/^$(printf '%s' "$key" | sed 's/[][]/\\&/g')=//p" "$entry")"
  [ "$actual" = "$expected" ] || fail "$key is '$actual', expected '$expected'"
done <<EOF_KEYS
Exec=$installed/bin/tonalyx
Icon=tonalyx
Name=Tonalyx
Name[ja]=Ｔｏｎａｌｙｘ
Comment=Audition the sounds of a General MIDI / GS synthesiser
Comment[ja]=GM/GS音源の音色を選んで試聴します
Categories=Audio;Midi;AudioVideo;
EOF_KEYS

if ((failures)); then
  echo "$failures check(s) failed for the files installed in $prefix" >&2
  exit 1
fi
echo "installed files in $prefix: all checks passed"
