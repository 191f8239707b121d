#!/usr/bin/env bash
# Installs the build into a private prefix and checks that the program, its
# clipboard keeper in lib/lodestone, the desktop entry and the icons land where
# desktops look for them.
# Usage: check_install.sh CMAKE BUILD-DIR PREFIX
set -euo pipefail
cmake=$1 build=$2 prefix=$3

rm -rf "$prefix"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
status=0
fail() { echo "check_install: $*" >&2; status=1; }

for program in bin/lodestone lib/lodestone/lodestone-clipboard; do
    [ -x "$prefix/$program" ] || fail "$program is missing"
done
entry=$prefix/share/applications/lodestone.desktop
if [ ! -f "$entry" ]; then
    fail "the desktop entry is missing"
else
    for line in Exec=lodestone Icon=lodestone 'Categories=Network;P2P;'; do
        grep -qxF "$line" "$entry" || fail "the desktop entry lacks $line"
    done
    desktop-file-validate "$entry" || fail "the desktop entry is not valid"
fi
for size in 16 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/lodestone.png
    [ "$(identify -format '%m %wx%h' "$icon" 2>/dev/null)" = "PNG ${size}x${size}" ] ||
        fail "no ${size}x${size} PNG icon"
done
exit $status
