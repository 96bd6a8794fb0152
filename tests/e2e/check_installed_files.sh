#!/usr/bin/env bash
# Checks what `cmake --install` put into PREFIX: the program, a menu entry and a description that
# the desktop's own validators accept, and the icon at every size the icon theme looks for.
#   check_installed_files.sh PREFIX
set -u
prefix="$1"
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
  esac
done <<EOF_FILES
bin/tonalyx program
share/icons/hicolor/16x16/apps/tonalyx.png png-16
share/icons/hicolor/32x32/apps/tonalyx.png png-32
share/icons/hicolor/scalable/apps/tonalyx.svg svg
share/applications/$app_id.desktop text
share/metainfo/$app_id.metainfo.xml text
EOF_FILES

# The desktop's own rules for menu entries, and for the description together with the entry it
# names (validate-tree finds the entry through the description's launchable).
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed tree"

# What the menu shows and starts: each key's exact value.
while IFS='=' read -r key expected; do
  actual="$(sed -n "s/^$(printf '%s' "$key" | sed 's/[][]/\\&/g')=//p" "$entry")"
  [ "$actual" = "$expected" ] || fail "$key is '$actual', expected '$expected'"
done <<EOF_KEYS
Exec=$prefix/bin/tonalyx
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
