#!/usr/bin/env python3
"""One instance per user on a private X display.

A second start brings the running instance's window forward from the tray and
ends with exit code 0 without a window of its own; an instance killed without
a chance to clean up does not block the next start, and neither do idle
connections held on its socket past its descriptor limit; another user
(another runtime folder) gets an instance of their own.
"""

import argparse
import copy
import os
import resource
import socket
import subprocess
import sys

from foundation_e2e import CLIENT_PATH, Desktop, Portal, Program, check, sites, wait_for


def shown(desktop, window):
    return window in desktop.client_list() and desktop.info(window)["viewable"] \
        and "Iconic" not in desktop.property(window, "WM_STATE")


def hold_idle_connections(path, count):
    """Connections that never send a byte, as another process of the user's could hold."""
    held = []
    try:
        for _ in range(count):
            connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            held.append(connection)
            connection.settimeout(5)
            connection.connect(path)
    except OSError:
        pass  # the socket is gone: the start below tells
    return held


def run(desktop, binary):
    servers = sites(desktop.portal.address)
    first = Program(desktop, binary, servers)
    window = first.window
    wait_for(lambda: CLIENT_PATH in desktop.portal.paths, "the client page request")
    wait_for(first.tray_icon, "the tray icon")
    desktop.run("xdotool", "windowminimize", str(window))
    wait_for(lambda: window not in desktop.client_list() and not desktop.info(window)["viewable"],
             "the minimised window to hide in the tray")

    second = subprocess.run([binary], env=first.env, capture_output=True, text=True,
                            timeout=60)
    check(second.returncode == 0, "the second start ended with %d: %s"
          % (second.returncode, second.stderr))
    wait_for(lambda: shown(desktop, window), "the first window to come forward, restored")
    check(desktop.client_list() == [window], "windows: %s" % desktop.client_list())
    check(first.process.poll() is None, "the first instance ended")

    # Killed, the first instance leaves its socket behind.
    first.stop()
    check(os.path.exists(os.path.join(desktop.env["XDG_RUNTIME_DIR"], "lodestone.socket")),
          "no socket left behind to test with")
    third = Program(desktop, binary, servers)

    # A thousand idle connections, well past the descriptor limit it is
    # given here, neither stay open in it nor cost it its socket.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
    resource.prlimit(third.process.pid, resource.RLIMIT_NOFILE, (512, 512))
    held = hold_idle_connections(
        os.path.join(desktop.env["XDG_RUNTIME_DIR"], "lodestone.socket"), 1000)
    again = subprocess.run([binary], env=desktop.env, capture_output=True, text=True,
                           timeout=60)
    for connection in held:
        connection.close()
    check(again.returncode == 0, "a start after idle connections ended with %d: %s"
          % (again.returncode, again.stderr))

    # Another user has a runtime folder of their own.
    other = copy.copy(desktop)
    other.env = dict(desktop.env, XDG_RUNTIME_DIR=os.path.join(desktop.work, "other-runtime"),
                     HOME=os.path.join(desktop.work, "other-home"))
    os.makedirs(other.env["XDG_RUNTIME_DIR"], mode=0o700)
    os.makedirs(other.env["HOME"])
    fourth = Program(other, binary, servers)
    check(third.process.poll() is None and fourth.process.poll() is None,
          "an instance ended when another user started theirs")
    for program in (third, fourth):
        program.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    args = parser.parse_args()

    desktop = Desktop()
    desktop.portal = Portal()
    try:
        run(desktop, args.program)
        print("PASS one instance per user")
        return 0
    except (AssertionError, subprocess.TimeoutExpired) as error:
        print("FAIL one instance per user:", error)
        return 1
    finally:
        desktop.portal.close()
        desktop.close()


if __name__ == "__main__":
    sys.exit(main())
