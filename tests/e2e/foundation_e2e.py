#!/usr/bin/env python3
"""The program end to end on a private X display.

Starts Xvfb, icewm (a window manager with a notification area) and a loopback
HTTP server standing in for the portal, then runs the program built against
that server and drives it the way a person would: through the window manager,
the tray icon and the keyboard. Each scenario runs a fresh program.
"""

import argparse
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

CLIENT_PATH = "/client?v=varnholt&c=0&so=0&t="
PORTAL_PAGE = ("<html><head><title>portal</title></head>"
               "<body style='background:#e8f4ff;font-family:sans-serif'>"
               "<h1>Loopback portal</h1><input aria-label='搜索词' autofocus>"
               "<p><a href='/about'>client page</a></p></body></html>").encode()


class QuietHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass


class LoopbackServer:
    """An HTTP server on a free loopback port, answering from a thread of its
    own."""

    def serve(self, handler):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.address = "127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Portal(LoopbackServer):
    """Serves the client page on 127.0.0.1 and records the request paths."""

    player = None  # the player site is the portal's own

    def __init__(self):
        self.paths = []
        portal = self

        class Handler(QuietHandler):
            def do_GET(self):
                portal.paths.append(self.path)
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(PORTAL_PAGE)))
                self.end_headers()
                self.wfile.write(PORTAL_PAGE)

        self.serve(Handler)


class PrivateSession:
    """A throw-away home with its own XDG folders and a private session bus, so
    that nothing of the machine's desktop reaches the program and no D-Bus
    client starts (autolaunches) a bus that would outlive the test."""

    def __init__(self, prefix):
        self.work = tempfile.mkdtemp(prefix=prefix)
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        self.env = {key: value for key, value in os.environ.items()
                    if not key.startswith(("XDG_", "DBUS_", "QT_", "WAYLAND_"))
                    and key != "DISPLAY"}
        self.env.update(HOME=home, XDG_RUNTIME_DIR=runtime,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"))
        self.bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--address=unix:path=" + os.path.join(runtime, "bus"),
             "--nofork", "--nopidfile", "--print-address=1"],
            env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = self.bus.stdout.readline().strip()
        if not address:
            raise RuntimeError("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def close(self):
        stop(self.bus)
        shutil.rmtree(self.work, ignore_errors=True)


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Desktop(PrivateSession):
    """Xvfb with icewm, in a private session; without a window manager there
    is no notification area either."""

    def __init__(self, window_manager=True):
        super().__init__("lodestone-e2e-")
        if window_manager:
            # Window titles are Chinese: give the window manager a font that has them.
            os.makedirs(os.path.join(self.env["HOME"], ".icewm"))
            shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                     "icewm-preferences"),
                        os.path.join(self.env["HOME"], ".icewm", "preferences"))
        # On a busy machine an X server has been seen to hang while starting;
        # a fresh one is the cure.
        for attempt in range(3):
            try:
                self.start(window_manager)
                return
            except (RuntimeError, AssertionError):
                for process in filter(None, (self.wm, self.xvfb)):
                    process.kill()
                    process.wait()
                if attempt == 2:
                    raise

    def start(self, window_manager):
        self.wm = None
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        if not window_manager:
            return
        self.wm = subprocess.Popen(["icewm"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                 "the window manager to start", timeout=20)

    def run(self, *command):
        # Bounded: a stuck X server would hold an X client for good.
        try:
            result = subprocess.run(command, env=self.env, capture_output=True, text=True,
                                    timeout=20)
        except subprocess.TimeoutExpired:
            return ""
        return result.stdout

    def close(self):
        for process in filter(None, (self.wm, self.xvfb)):
            stop(process)
        super().close()

    # What the X server and the window manager say about windows.
    def client_list(self):
        return [int(w, 16) for w in
                re.findall(r"0x[0-9a-f]+", self.run("xprop", "-root", "_NET_CLIENT_LIST"))]

    def property(self, window, name):
        return self.run("xprop", "-id", str(window), name)

    def info(self, window):
        text = self.run("xwininfo", "-id", str(window))
        number = lambda label: int(re.search(label + r":\s+(-?\d+)", text).group(1))
        return {"x": number("Absolute upper-left X"), "y": number("Absolute upper-left Y"),
                "width": number("Width"), "height": number("Height"),
                "viewable": "IsViewable" in text, "override": "Override Redirect State: yes" in text}

    def outer_geometry(self, window):
        info = self.info(window)
        extents = [int(n) for n in re.findall(r"\d+", self.property(window, "_NET_FRAME_EXTENTS"))]
        left, right, top, bottom = extents if len(extents) == 4 else (0, 0, 0, 0)
        return (info["x"] - left, info["y"] - top, info["width"] + left + right,
                info["height"] + top + bottom)

    def windows_of(self, pid):
        return [int(w) for w in self.run("xdotool", "search", "--pid", str(pid)).split()]

    def screenshot(self, path, geometry=None):
        command = ["import", "-window", "root"]
        if geometry:
            x, y, width, height = geometry
            command += ["-crop", f"{width}x{height}+{x}+{y}", "+repage"]
        subprocess.run(command + [path], env=self.env, check=True)


def wait_for(condition, what, timeout=45.0):
    """Waits until `condition()` holds and returns its value; `what` names it,
    or tells it when called, as the failure's message."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(0.1)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def sites(portal, player=None, cache_a=None, cache_b=None, notice_url=None):
    """The servers for the test build of the program, as its environment
    names them; what a test does not give points at the portal."""
    return {"LODESTONE_PORTAL_HOST": portal, "LODESTONE_PLAYER_HOST": player or portal,
            "LODESTONE_CACHE_A_HOST": cache_a or portal,
            "LODESTONE_CACHE_B_HOST": cache_b or portal,
            "LODESTONE_UPDATE_NOTICE_URL": notice_url or "http://%s/notice.html" % portal}


class Program:
    runs = 0

    def __init__(self, desktop, binary, servers):
        self.desktop = desktop
        self.log = tempfile.TemporaryFile()
        # A mark in the environment tells the processes this run started from
        # the test's own (its bus, display and window manager).
        Program.runs += 1
        self.mark = "LODESTONE_E2E_RUN=%d-%d" % (os.getpid(), Program.runs)
        self.env = dict(desktop.env, **servers)
        self.env.update([self.mark.split("=", 1)])
        self.process = subprocess.Popen([binary], env=self.env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.window = wait_for(self.main_window, "the main window")

    def main_window(self):
        for window in self.desktop.client_list():
            if re.search(r"= %d\b" % self.process.pid,
                         self.desktop.property(window, "_NET_WM_PID")):
                return window
        if self.desktop.wm:
            return None
        # Without a window manager there is no client list: the program's
        # one viewable window of full size is the main window.
        for window in self.desktop.windows_of(self.process.pid):
            info = self.desktop.info(window)
            if info["viewable"] and not info["override"] and info["width"] > 400:
                return window
        return None

    def tray_icon(self):
        for window in self.desktop.windows_of(self.process.pid):
            info = self.desktop.info(window)
            if info["viewable"] and info["override"] and info["width"] <= 64 \
                    and info["height"] <= 64:
                return info
        return None

    def popup_menu(self):
        # A pop-up is a viewable override-redirect window bigger than the icon.
        for window in self.desktop.windows_of(self.process.pid):
            info = self.desktop.info(window)
            if info["viewable"] and info["override"] and info["height"] > 40:
                return info
        return None

    def click_tray(self, button):
        icon = wait_for(self.tray_icon, "the tray icon")
        self.desktop.run("xdotool", "mousemove", "--sync", str(icon["x"] + icon["width"] // 2),
                         str(icon["y"] + icon["height"] // 2), "click", str(button))

    def exit_code(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the program did not end")

    def output(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def processes(self):
        """The live processes that this run started, by pid, with their names."""
        found = {}
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/stat", "rb") as stat:
                    name, rest = stat.read().split(b" (", 1)[1].rsplit(b")", 1)
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    mine = self.mark.encode() in environ.read().split(b"\0")
            except OSError:
                continue
            if mine and rest.split()[0] != b"Z":
                found[int(pid)] = name.decode()
        return found


def scenario_start_tray_menu_exit(desktop, program, portal, shots):
    window = program.window
    check(desktop.property(window, "_NET_WM_NAME").split("=", 1)[1].strip().startswith('"Lodestone'),
          "caption: " + desktop.property(window, "_NET_WM_NAME"))
    wait_for(lambda: desktop.outer_geometry(window) == (50, 50, 796, 603),
             "the outer geometry 796 x 603 at (50, 50), have %s" % (desktop.outer_geometry(window),))
    wait_for(lambda: CLIENT_PATH in portal.paths, "the client page request")
    check(all(path in (CLIENT_PATH, "/favicon.ico") for path in portal.paths),
          "unexpected requests: %s" % portal.paths)
    wait_for(program.tray_icon, "the tray icon")
    time.sleep(1.5)  # let the page paint
    desktop.screenshot(os.path.join(shots, "screenshot-main.png"), (50, 50, 796, 603))

    # Minimising hides the window from the task bar, leaving the tray icon.
    desktop.run("xdotool", "windowminimize", str(window))
    wait_for(lambda: window not in desktop.client_list() and not desktop.info(window)["viewable"],
             "the minimised window to leave the task bar")
    check(program.tray_icon(), "the tray icon went with the window")

    # A left click brings the window back to the task bar, still minimised.
    program.click_tray(1)
    wait_for(lambda: window in desktop.client_list(), "the window to come back to the task bar")
    wait_for(lambda: "Iconic" in desktop.property(window, "WM_STATE"), "a minimised window")
    check(not desktop.info(window)["viewable"], "the window came back restored")

    # A right click pops up the menu; its last item, Exit, ends the program.
    program.click_tray(3)
    choose_exit(desktop, program, "the tray menu", 3, os.path.join(shots, "screenshot-menu.png"))


def choose_exit(desktop, program, which, items, screenshot):
    """Exit, the last item of the menu that has just popped up, ends the program."""
    menu = wait_for(program.popup_menu, which)
    time.sleep(0.5)
    desktop.screenshot(screenshot, (menu["x"], menu["y"], menu["width"], menu["height"]))
    check(menu["height"] > items * 12, "the menu is too small for %d items: %s" % (items, menu))
    desktop.run("xdotool", "key", "Up", "Return")
    check(program.exit_code() == 0, "exit code after Exit")


def scenario_close_button(desktop, program, portal, shots):
    window = program.window
    x, y, width, _ = wait_for(lambda: desktop.outer_geometry(window) == (50, 50, 796, 603)
                              and desktop.outer_geometry(window), "the framed window")
    # icewm draws the close button at the right end of the title bar.
    desktop.run("xdotool", "mousemove", "--sync", str(x + width - 17), str(y + 14), "click", "1")
    check(program.exit_code() == 0, "exit code after the close button")


def scenario_escape(desktop, program, portal, shots):
    # The page fills the window and keeps Esc: the program goes on.
    window = program.window
    wait_for(lambda: CLIENT_PATH in portal.paths, "the client page request")
    desktop.run("xdotool", "windowactivate", "--sync", str(window))
    time.sleep(1)
    desktop.run("xdotool", "key", "Escape")
    time.sleep(1)
    check(program.process.poll() is None and window in desktop.client_list(),
          "Esc in the page ended the program")
    check("_NET_WM_ICON(CARDINAL)" in desktop.property(window, "_NET_WM_ICON"),
          "the main window carries no icon")
    desktop.run("xdotool", "key", "alt+F4")
    check(program.exit_code() == 0, "exit code after the window manager's close")


def scenario_page_menu_exit_without_tray(desktop, program, portal, shots):
    """No window manager, so no notification area: the page's own menu ends
    with the tray menu's items, and its last one, Exit, ends the program."""
    window = program.window
    wait_for(lambda: CLIENT_PATH in portal.paths, "the client page request")
    time.sleep(1.5)  # the page answers the right click once it is shown
    info = desktop.info(window)
    desktop.run("xdotool", "mousemove", "--sync", str(info["x"] + info["width"] // 2),
                str(info["y"] + info["height"] // 2), "click", "3")
    # Back, Forward, Reload, then About, Check for updates, Exit.
    choose_exit(desktop, program, "the page's menu", 6,
                os.path.join(shots, "screenshot-page-menu.png"))


SCENARIOS = [scenario_start_tray_menu_exit, scenario_close_button, scenario_escape]
WITHOUT_WINDOW_MANAGER = [scenario_page_menu_exit_without_tray]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--screenshots", default=".")
    parser.add_argument("--no-window-manager", action="store_true",
                        help="run the scenarios of a desktop without a window manager")
    args = parser.parse_args()

    passed = failed = 0
    desktop = Desktop(window_manager=not args.no_window_manager)
    try:
        for scenario in WITHOUT_WINDOW_MANAGER if args.no_window_manager else SCENARIOS:
            portal = Portal()
            program = None
            try:
                program = Program(desktop, args.program, sites(portal.address))
                scenario(desktop, program, portal, args.screenshots)
                passed += 1
                print("PASS", scenario.__name__, flush=True)
            except AssertionError as error:
                failed += 1
                print("FAIL", scenario.__name__ + ":", error, flush=True)
                if program:
                    print(program.output(), flush=True)
            finally:
                if program:
                    program.stop()
                portal.close()
    finally:
        desktop.close()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
