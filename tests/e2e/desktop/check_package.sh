#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it: lintian finds
# no error; unpacked into a folder of its own, the program answers --version,
# --help and a wrong option, nothing in it refers to the source or build tree,
# the icons, desktop entry, AppStream metadata and manual page are sound, and
# the clipboard keeper is found from the unpacked bin/ on an X display.
# Usage: check_package.sh CPACK BUILD-DIR SOURCE-DIR CLIPBOARD-DRIVER
set -uo pipefail
cpack=$1 build=$2 source=$3 driver=$4
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "check_package: $*" >&2; status=1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/out/lodestone_1.0.0*_*.deb) || exit 1
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors"
dpkg-deb -x "$deb" "$work/tree" || exit 1
dpkg-deb -f "$deb" Recommends | grep -q "fonts-wqy-microhei" ||
    fail "the package recommends no CJK font: $(dpkg-deb -f "$deb" Recommends)"
usr=$work/tree/usr

[ "$("$usr/bin/lodestone" --version)" = "Lodestone 1.0.0 (build 20130906)" ] ||
    fail "--version says: $("$usr/bin/lodestone" --version 2>&1)"
"$usr/bin/lodestone" --help | grep -q "^Usage: lodestone" || fail "--help gives no usage"
"$usr/bin/lodestone" --no-such-option >"$work/out.txt" 2>"$work/err.txt"
code=$?
[ $code -eq 2 ] && [ ! -s "$work/out.txt" ] &&
    [ "$(head -n1 "$work/err.txt")" = "lodestone: unknown option '--no-such-option'" ] &&
    grep -q "^Usage: lodestone" "$work/err.txt" || fail "a wrong option gave $code: $(cat "$work/err.txt")"

for tree in "$source" "$build"; do
    found=$(grep -rlaF "$tree" "$work/tree")
    [ -z "$found" ] || fail "refers to $tree: $found"
done
[ -x "$usr/lib/lodestone/lodestone-clipboard" ] || fail "no keeper in lib/lodestone"
for size in 16 24 32 48 64 128 256; do
    [ "$(identify -format '%m %wx%h' "$usr/share/icons/hicolor/${size}x${size}/apps/lodestone.png" \
        2>/dev/null)" = "PNG ${size}x${size}" ] || fail "no ${size}x${size} PNG icon"
done
[ -f "$usr/share/icons/hicolor/scalable/apps/lodestone.svg" ] || fail "no scalable icon"
desktop-file-validate "$usr/share/applications/lodestone.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml >"$work/appstream.txt" ||
    fail "AppStream metadata: $(cat "$work/appstream.txt")"
man --warnings -l "$usr/share/man/man1/lodestone.1.gz" 2>&1 >/dev/null | grep . &&
    fail "the manual page has faults"
grep -q "^License: MIT" "$usr/share/doc/lodestone/copyright" || fail "copyright lacks the licence"

# The keeper is found from bin/ alone: the build tree is out of the unpacked
# program's reach. The driver ends at once; without the keeper the text would
# go with it.
cp "$driver" "$usr/bin/"
printf 'magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567\n' >"$work/text"
"$here/../with-desktop.sh" bash -c '
    "$1" "$2" || exit 1
    sleep 1
    [ "$(xclip -selection clipboard -o)" = "$(cat "$2")" ] || exit 1
    echo taken | xclip -selection clipboard -i' _ "$usr/bin/$(basename "$driver")" "$work/text" ||
    fail "the unpacked program did not keep its text on the clipboard"
exit $status
