#!/bin/sh
# Installs the build into a throw-away root and checks what a desktop needs:
# the program, its menu entry and its icons in the standard places.
set -eu
build="$1"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
fail() { echo "install check: $*" >&2; exit 1; }
[ -x "$root/usr/bin/docharvest" ] || fail "no executable"
entry="$root/usr/share/applications/docharvest.desktop"
[ -f "$entry" ] || fail "no .desktop entry"
for line in 'Name=Docharvest' 'Exec=docharvest' 'Icon=docharvest' 'Categories=Network;FileTransfer;' 'Type=Application'; do
    grep -qxF "$line" "$entry" || fail "missing '$line'"
done
grep -q '^Name\[zh_CN\]=' "$entry" || fail "no Chinese name"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "invalid entry"; fi
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/docharvest.svg" || fail "no SVG icon"
png="$root/usr/share/icons/hicolor/256x256/apps/docharvest.png"
# PNG signature, then the IHDR width and height (256 = 00 00 01 00).
[ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" = "0000010000000100" ] || fail "PNG icon is not 256 x 256"
echo "install check: ok"
