#!/usr/bin/env python3
"""The program on a Wayland session: Weston's headless backend, Qt's wayland
platform plugin (chosen with Qt's -platform switch) and no X display at all.
The program starts, requests the portal's client page, and SIGTERM ends it
with exit code 0 and nothing on stderr but the known sandbox lines (when run
as root).
"""

import argparse
import os
import signal
import subprocess
import sys
import time

from foundation_e2e import CLIENT_PATH, Portal, PrivateSession, check, sites, wait_for

KNOWN_STDERR = {
    "lodestone: running as root, so the web engine runs without its sandbox",
    "Sandboxing disabled by user.",
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    args = parser.parse_args()

    session = PrivateSession("lodestone-wayland-")
    env = session.env
    runtime = env["XDG_RUNTIME_DIR"]
    env.update(WAYLAND_DISPLAY="lodestone-test",
               # The headless compositor has no GPU; without this the web
               # engine says so on stderr.
               QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu")
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=lodestone-test",
                               "--idle-time=0"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    portal = Portal()
    program = None
    try:
        wait_for(lambda: os.path.exists(os.path.join(runtime, "lodestone-test")),
                 "the compositor")
        # Qt's own switch picks the plugin, past the program's command line.
        program = subprocess.Popen([args.program, "-platform", "wayland"],
                                   env=dict(env, **sites(portal.address)),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wait_for(lambda: CLIENT_PATH in portal.paths or program.poll() is not None,
                 "the client page request", timeout=60)
        check(program.poll() is None, "the program ended by itself")
        time.sleep(2)  # let the page render
        check(program.poll() is None, "the program ended while showing the page")
        program.send_signal(signal.SIGTERM)
        code = program.wait(timeout=30)
        errors = [line for line in program.stderr.read().splitlines()
                  if line not in KNOWN_STDERR]
        check(code == 0, "exit code %d after SIGTERM" % code)
        check(not errors, "stderr: %s" % "\n".join(errors))
        print("PASS wayland: client page requested, SIGTERM ended it cleanly")
        return 0
    except (AssertionError, subprocess.TimeoutExpired) as error:
        print("FAIL wayland:", error)
        if program and program.poll() is not None:
            print(program.stderr.read())
        return 1
    finally:
        if program and program.poll() is None:
            program.kill()
            program.wait()
        portal.close()
        weston.terminate()
        weston.wait()
        session.close()


if __name__ == "__main__":
    sys.exit(main())
