#!/usr/bin/env bash
# Runs a command in a session of its own: a throw-away home with its own XDG
# folders, a private session bus, and (unless --headless) a private X display
# (Xvfb) with a window manager that has a notification area (icewm). Nothing
# of the machine's own desktop reaches the command; all is cleaned up after it.
# Usage: with-desktop.sh [--headless] COMMAND [ARGS...]
set -uo pipefail

headless=
if [ "${1:-}" = --headless ]; then
    headless=1
    shift
fi

work=$(mktemp -d)
cleanup() {
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" TERM INT

# Waits until a command succeeds, for at most $1 tenths of a second.
await_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS XDG_SESSION_TYPE XDG_CURRENT_DESKTOP

# With a bus address set, D-Bus clients never start (autolaunch) a bus of
# their own that would outlive the command.
dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/bus" --nofork --nopidfile \
    --print-address=3 3>"$work/bus" 2>"$work/bus.log" &
bus=$!
if ! await_for 600 test -s "$work/bus"; then
    echo "with-desktop: the session bus did not start" >&2
    cat "$work/bus.log" >&2
    exit 1
fi
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus")"

# The window manager is up once it names itself on the root window; windows
# mapped before that would never be framed. xprop is bounded: a stuck X server
# would otherwise hold it for good.
wm_named() { timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }

stop_desktop() {
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill -9 "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    wm= xvfb=
}

start_desktop() {
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    await_for 200 test -s "$work/display" || { echo "with-desktop: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
    icewm >"$work/icewm.log" 2>&1 &
    wm=$!
    await_for 200 wm_named || { echo "with-desktop: the window manager did not start" >&2; return 1; }
}

if [ -z "$headless" ]; then
    # Window titles are Chinese: give the window manager a font that has them.
    mkdir -p "$HOME/.icewm"
    cp "$(dirname "$0")/icewm-preferences" "$HOME/.icewm/preferences"
    # On a busy machine an X server has been seen to hang while starting; a
    # fresh one is the cure.
    for attempt in 1 2 3; do
        start_desktop && break
        stop_desktop
        [ "$attempt" = 3 ] && { cat "$work/xvfb.log" "$work/icewm.log" >&2; exit 1; }
    done
fi

"$@"
