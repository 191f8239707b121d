#!/usr/bin/env python3
"""The program on the desktops people have, one story each:

- no_display: without DISPLAY and WAYLAND_DISPLAY it says so in one line and
  ends with exit code 1.
- enlarge_x11: maximise and full-screen requests (icewm's Alt+F10, Alt+F11)
  leave the fixed main window running at its size.
- enlarge_wayland: on a compositor without a seat (Weston's headless backend)
  the page's focused search box does not crash the program, and the kiosk
  shell's full-screen request leaves it running; Weston's own maximise and
  full-screen keys (on an X display, which gives it a seat) are answered and
  leave the program running at its size.
- menu_key: with a tray, the menu key opens the program's menu, whose
  关于软件 opens the About box.
- small_screen: at a scale the screen cannot hold 796 x 603 at, the window
  fits the screen's free area.
- screen_reader: the main window's page is in the accessibility (AT-SPI)
  tree: the search field and the link by name.
- player_x11, player_wayland: the player window, opened by a click on a play
  link of the bundled portal, maximises and restores (icewm's Alt+F10,
  Weston's Super+Shift+M), and its page refits to the window each time.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from contextlib import closing

from foundation_e2e import (Desktop, Portal, PrivateSession, Program, check, sites,
                            wait_for)
from portal_e2e import SEARCH_TERM, PortalProcess, Relay, Session


def no_display(program_path):
    session = PrivateSession("lodestone-nodisplay-")
    try:
        result = subprocess.run([program_path], env=session.env, capture_output=True, text=True,
                                timeout=60)
        check(result.returncode == 1, "exit code %d" % result.returncode)
        check(result.stderr.splitlines() == [
            "lodestone: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is "
            "set): run it in a graphical session"], "stderr: " + result.stderr)
    finally:
        session.close()


def on_desktop(program_path, story, portal=None, **env):
    if portal is None:
        with closing(Portal()) as portal:
            return on_desktop(program_path, story, portal, **env)
    desktop = Desktop()
    program = None
    try:
        program = Program(desktop, program_path,
                          dict(sites(portal.address, portal.player), **env))
        # The engine asks for the icon once the page has loaded.
        wait_for(lambda: "/favicon.ico" in portal.paths, "the page to be shown")
        story(desktop, program)
    except AssertionError:
        if program:
            print(program.output())
        raise
    finally:
        if program:
            program.stop()
        desktop.close()


def enlarge_x11(desktop, program):
    window = program.window
    wait_for(lambda: desktop.outer_geometry(window) == (50, 50, 796, 603), "the framed window")
    with tempfile.TemporaryFile("w+") as states:
        spy = subprocess.Popen(["xprop", "-spy", "-id", str(window), "_NET_WM_STATE"],
                               env=desktop.env, stdout=states, stderr=subprocess.DEVNULL)
        try:
            # icewm refuses to maximise a window whose smallest and largest
            # sizes agree, but makes it full screen; the program answers by
            # asking for the normal state again and takes its size back.
            for key in ("alt+F10", "alt+F11"):
                desktop.run("xdotool", "windowactivate", "--sync", str(window), "key", key)
            wait_for(lambda: states.seek(0) == 0 and "_NET_WM_STATE_FULLSCREEN" in states.read(),
                     "the full-screen state")
            wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" not in
                     desktop.property(window, "_NET_WM_STATE")
                     and desktop.outer_geometry(window)[2:] == (796, 603),
                     "the window back at 796 x 603, have %s" % (desktop.outer_geometry(window),))
        finally:
            spy.terminate()
            spy.wait()
    check(program.process.poll() is None, "the program ended")


def small_screen(desktop, program):
    # At twice the scale the screen holds 640 x 512 of the window's pixels:
    # the window takes the free area instead of reaching past the screen.
    def inside():
        x, y, width, height = desktop.outer_geometry(program.window)
        return x >= 0 and y >= 0 and x + width <= 1280 and y + height <= 1024 and width > 600
    wait_for(inside, "the window within the screen, have %s"
             % (desktop.outer_geometry(program.window),))


def menu_key(desktop, program):
    wait_for(program.tray_icon, "the tray icon")
    desktop.run("xdotool", "windowactivate", "--sync", str(program.window))
    menu = wait_for(lambda: desktop.run("xdotool", "key", "Menu") is not None
                    and program.popup_menu(), "the menu from the menu key", timeout=20)
    # It opens at the focused search field, below the page's heading, not at
    # the window's corner.
    window = desktop.info(program.window)
    check(menu["y"] - window["y"] > 60 and menu["x"] - window["x"] < 100,
          "the menu at %s, the window at %s" % (menu, window))
    # Back, Forward, Reload, then 关于软件 and 检查更新 (no Exit with a tray).
    desktop.run("xdotool", "key", "Up", "Up", "Return")
    wait_for(lambda: any('"软件信息"' in desktop.property(w, "_NET_WM_NAME")
                         for w in desktop.client_list()), "the About box")


def screen_reader(desktop, program):
    # pyatspi belongs to the system's Python.
    result = subprocess.run(
        ["/usr/bin/python3", "-c", ACCESSIBLE_TREE], env=desktop.env, capture_output=True,
        text=True, timeout=90)
    check(result.returncode == 0, "AT-SPI tree: " + result.stdout + result.stderr)


# Waits until the program's tree shows the page's search field and link by
# name, and no showing element without a name that has no children either.
ACCESSIBLE_TREE = r"""
import sys, time, pyatspi

def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for index in range(node.childCount):
        yield from walk(node.getChildAtIndex(index), depth + 1)

deadline = time.monotonic() + 60
while True:
    found = set()
    unnamed = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or "lodestone" not in (app.name or ""):
            continue
        for node in walk(app):
            role, name = node.getRoleName(), node.name
            found.add((role, name))
            showing = node.getState().contains(pyatspi.STATE_SHOWING)
            if (showing and not name and node.childCount == 0 and role in ("label", "panel", "filler")):
                unnamed.append(role)
    if found & {("entry", "搜索词"), ("text", "搜索词")} and ("link", "client page") in found:
        break
    if time.monotonic() > deadline:
        sys.exit("not found in %s" % sorted(found))
    time.sleep(0.5)
if unnamed:
    sys.exit("unnamed empty elements: %s" % unnamed)
"""


def on_weston(program_path, session, options, story, portal=None):
    """Runs the program with Qt's wayland plugin on a Weston of the session's
    own, started with `options`, then `story(program, said)`, where `said()`
    is the Wayland protocol the program has spoken so far; SIGTERM must then
    end it with exit code 0."""
    if portal is None:
        with closing(Portal()) as portal:
            return on_weston(program_path, session, options, story, portal)
    env = dict(session.env, WAYLAND_DISPLAY="lodestone-weston",
               QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu")
    weston = subprocess.Popen(["weston", "--socket=lodestone-weston", "--idle-time=0"] + options,
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    program = None
    protocol = tempfile.TemporaryFile("w+")
    try:
        wait_for(lambda: os.path.exists(os.path.join(env["XDG_RUNTIME_DIR"], "lodestone-weston")),
                 "the compositor")
        program_env = dict(env, WAYLAND_DEBUG="client", **sites(portal.address, portal.player))
        program_env.pop("DISPLAY", None)
        program = subprocess.Popen([program_path, "-platform", "wayland"], env=program_env,
                                   stdout=subprocess.DEVNULL, stderr=protocol)
        wait_for(lambda: "/favicon.ico" in portal.paths or program.poll() is not None,
                 "the page to be shown", timeout=60)
        check(program.poll() is None, "the program ended")
        story(program, lambda: protocol.seek(0) == 0 and protocol.read())
        program.terminate()
        check(program.wait(timeout=30) == 0, "exit code after SIGTERM")
    finally:
        if program and program.poll() is None:
            program.kill()
            program.wait()
        protocol.close()
        weston.terminate()
        weston.wait()


def enlarge_wayland(program_path):
    # Without a seat: the page's search box takes the focus, so the input
    # method's state changes; the kiosk shell makes every window full screen.
    session = PrivateSession("lodestone-kiosk-")
    try:
        on_weston(program_path, session, ["--backend=headless-backend.so",
                                          "--shell=kiosk-shell.so"], lambda *_: None)
    finally:
        session.close()

    # Weston on an X display gives the program a seat; its own keys maximise
    # (Super+Shift+M) and make full screen (Super+Shift+F) whatever the
    # window's limits say. The program answers by asking for the normal state.
    def keys(program, said):
        # The compositor's window on the X display takes the keys under the pointer.
        desktop.run("xdotool", "mousemove", "--sync", "600", "425")
        for key, answer in (("super+shift+m", "unset_maximized"),
                            ("super+shift+f", "unset_fullscreen")):
            desktop.run("xdotool", "key", key)
            wait_for(lambda: answer in said() or program.poll() is not None,
                     "the program to answer " + key)
            check(program.poll() is None, "the program ended after " + key)
        # Back at its size: the last geometry it gave its window is its own.
        wait_for(lambda: re.findall(r"set_window_geometry\(0, 0, (\d+), (\d+)\)", said())[-1:]
                 == [("796", "603")], "the window back at 796 x 603")

    desktop = Desktop(window_manager=False)
    try:
        on_weston(program_path, desktop, ["--backend=x11-backend.so", "--use-pixman",
                                          "--width=1200", "--height=850"], keys)
    finally:
        desktop.close()


# The client page finds one entry, whose play link covers the page, so that a
# click anywhere in the window plays; the player page reports the size of its
# view whenever it changes, numbered, as reports may overtake one another. It
# also looks four times a second: under load the engine may fire the resize
# event while the view still reads its first size, and none after.
PLAY_ANYWHERE = (b"<style>.actions a:first-child { position: fixed; left: 0; top: 0;"
                 b" width: 100%; height: 100%; }</style></head>")
REPORT_SIZE = (b"<script>var told = 0, last = ''; function tell() {"
               b" var size = innerWidth + 'x' + innerHeight; if (size == last) return;"
               b" last = size; fetch('/size?' + ++told + '&' + size, {cache: 'no-store'}); }"
               b" addEventListener('resize', tell); setInterval(tell, 250); tell();</script></body>")


class PlayerPortal:
    """The bundled portal, behind relays for its client and player pages."""

    def __init__(self, binary):
        self.portal = PortalProcess(binary)
        self.front = Relay(self.portal.sites["portal"])
        self.front.forward = (lambda target: target + SEARCH_TERM if target.endswith("&t=")
                              else target)
        self.front.replacements = [(b"</head>", PLAY_ANYWHERE)]
        self.relay = Relay(self.portal.sites["player"])
        self.relay.replacements = [(b"</body>", REPORT_SIZE)]
        self.address, self.paths, self.player = (self.front.address, self.front.targets,
                                                 self.relay.address)

    def page_size(self):
        """The size of the player page's view that it reported last."""
        sizes = [tuple(map(int, size)) for size in
                 re.findall(r"^/size\?(\d+)&(\d+)x(\d+)$", "\n".join(self.relay.targets), re.M)]
        return max(sizes)[1:] if sizes else None

    def fits(self, width, height):
        """Whether the page's view is about the window's outer size."""
        size = self.page_size()
        return size and abs(size[0] - width) <= 40 and abs(size[1] - height) <= 60

    def close(self):
        self.front.close()
        self.relay.close()
        self.portal.close()


def about(have, wanted, slack):
    return all(abs(a - b) <= slack for a, b in zip(have, wanted))


def player_x11(desktop, program, portal):
    desktop.env["LC_ALL"] = "C.UTF-8"  # xprop shows the player's title as it is
    x, y, width, height = desktop.outer_geometry(program.window)
    player = Session(desktop, program, None, None).play((x + width // 2, y + height // 2))
    normal = wait_for(lambda: desktop.outer_geometry(player), "the player's geometry")
    wait_for(lambda: portal.fits(*normal[2:]), lambda: "the page at %s, have %s"
             % (normal, portal.page_size()))
    area = tuple(int(n) for n in
                 re.findall(r"\d+", desktop.run("xprop", "-root", "_NET_WORKAREA"))[:4])
    # Alt+F10 maximises the window to the work area (its borders may reach
    # past it), and restores it again.
    for wanted, slack in ((area, 10), (normal, 0)):
        desktop.run("xdotool", "windowactivate", "--sync", str(player), "key", "alt+F10")
        wait_for(lambda: about(desktop.outer_geometry(player), wanted, slack)
                 and portal.fits(*wanted[2:]), lambda: "the player at %s, have %s, its page %s"
                 % (wanted, desktop.outer_geometry(player), portal.page_size()))
    check(program.process.poll() is None, "the program ended")


def player_wayland(program_path, portal_path):
    def story(program, said):
        # Weston follows the pointer once it has entered its window, and
        # places windows within its output, so the output's middle is always
        # on the page, which the play link covers.
        for spot in ("1250", "1000"), ("590", "415"), ("600", "425"):
            desktop.run("xdotool", "mousemove", "--sync", *spot)
        time.sleep(0.8)  # the browser reports the link under the pointer
        desktop.run("xdotool", "click", "1")
        wait_for(portal.page_size, "the player page")
        # Weston's key maximises the focused window, the player, to the output
        # less its panel, and restores it.
        last = lambda: tuple(map(int, re.findall(
            r"set_window_geometry\(0, 0, (\d+), (\d+)\)", said())[-1]))
        for wanted, slack in (((1200, 818), 32), ((796, 603), 0)):
            desktop.run("xdotool", "key", "super+shift+m")
            wait_for(lambda: program.poll() is not None or about(last(), wanted, slack)
                     and portal.fits(*last()), lambda: "the player at %s, have %s, its page %s"
                     % (wanted, last(), portal.page_size()))
            check(program.poll() is None and "wl_display@1.error" not in said(),
                  "the program ended or was told of a protocol error")

    desktop = Desktop(window_manager=False)
    try:
        with closing(PlayerPortal(portal_path)) as portal:
            on_weston(program_path, desktop, ["--backend=x11-backend.so", "--use-pixman",
                                              "--width=1200", "--height=850"], story, portal)
    finally:
        desktop.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--scenario", required=True,
                        choices=["no_display", "enlarge_x11", "enlarge_wayland", "menu_key",
                                 "small_screen", "screen_reader", "player_x11", "player_wayland"])
    parser.add_argument("--portal", help="the lodestone-portal binary, for the player stories")
    args = parser.parse_args()
    try:
        if args.scenario == "player_x11":
            with closing(PlayerPortal(args.portal)) as portal:
                on_desktop(args.program, lambda *run: player_x11(*run, portal), portal)
        elif args.scenario == "player_wayland":
            player_wayland(args.program, args.portal)
        elif args.scenario == "no_display":
            no_display(args.program)
        elif args.scenario == "enlarge_wayland":
            enlarge_wayland(args.program)
        elif args.scenario == "small_screen":
            on_desktop(args.program, small_screen, QT_SCALE_FACTOR="2")
        elif args.scenario == "screen_reader":
            on_desktop(args.program, screen_reader, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        else:
            on_desktop(args.program, globals()[args.scenario])
    except (AssertionError, subprocess.TimeoutExpired) as error:
        print("FAIL", args.scenario + ":", error)
        return 1
    print("PASS", args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
