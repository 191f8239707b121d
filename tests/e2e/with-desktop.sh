#!/usr/bin/env bash
# Runs a command on a private X display (Xvfb) with a window manager that has
# a notification area (icewm), in a throw-away home, and cleans up after it.
# Usage: with-desktop.sh COMMAND [ARGS...]
set -uo pipefail

work=$(mktemp -d)
cleanup() {
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" TERM INT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "with-desktop: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME DBUS_SESSION_BUS_ADDRESS

# Window titles are Chinese: give the window manager a font that has them.
mkdir -p "$HOME/.icewm"
cp "$(dirname "$0")/icewm-preferences" "$HOME/.icewm/preferences"
icewm >"$work/icewm.log" 2>&1 &
wm=$!
# The window manager is up once it names itself on the root window.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.05
done

"$@"
