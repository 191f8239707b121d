#!/usr/bin/env python3
"""The copied text outlives the program on an X display.

Runs under with-desktop.sh (Xvfb and icewm, no clipboard manager). Checks the
clipboard keeper on its own, the Qt host handing its text to the keeper as it
ends, and handing it to a clipboard manager instead when one runs.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TEXT = ("磁力链接：magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF01234567\r\n"
        "种子地址1：http://127.0.0.1:47803/torrent/0123.torrent\r\n"
        "种子地址2：http://127.0.0.1:47804/torrent/0123.torrent\r\n").encode()
TIMEOUT = 30
ARGS = None


def clipboard(target="UTF8_STRING"):
    result = subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", target],
                            capture_output=True, timeout=TIMEOUT)
    return result.stdout if result.returncode == 0 else None


def take_clipboard(text):
    # xclip stays behind to serve the text; the display's end ends it.
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text, timeout=TIMEOUT,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def keepers():
    """Live keeper processes on this display."""
    display = ("DISPLAY=" + os.environ["DISPLAY"]).encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat", "rb") as stat:
                fields = stat.read().rsplit(b")", 1)
            if not fields[0].endswith(b"(lodestone-clipb") or fields[1].split()[0] == b"Z":
                continue
            with open(f"/proc/{pid}/environ", "rb") as environ:
                if display in environ.read().split(b"\0"):
                    found.append(int(pid))
        except OSError:
            pass
    return found


def wait_until(condition, limit=10):
    deadline = time.monotonic() + limit
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def run_driver(*extra, **kwargs):
    return subprocess.Popen([ARGS.driver, ClipboardTest.text_file.name, *extra], **kwargs)


class ClipboardTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text_file = tempfile.NamedTemporaryFile(suffix=".txt")
        cls.text_file.write(TEXT)
        cls.text_file.flush()

    @classmethod
    def tearDownClass(cls):
        cls.text_file.close()

    def tearDown(self):
        # Whatever holds the clipboard now lets go of it, keepers included.
        take_clipboard(b"cleared")
        self.assertTrue(wait_until(lambda: not keepers()), "a keeper outlived its clipboard")

    def keep(self, text):
        return subprocess.run([ARGS.keeper], input=text, capture_output=True, timeout=TIMEOUT)

    def test_keeper_serves_the_exact_text_until_another_program_takes_it(self):
        self.assertEqual(self.keep(TEXT).returncode, 0)
        self.assertEqual(len(keepers()), 1)
        self.assertEqual(clipboard(), TEXT)
        self.assertEqual(clipboard("text/plain;charset=utf-8"), TEXT)
        self.assertEqual(clipboard("STRING"), TEXT)
        self.assertEqual(clipboard("TARGETS").split(),
                         [b"TARGETS", b"TIMESTAMP", b"UTF8_STRING", b"text/plain;charset=utf-8",
                          b"STRING", b"TEXT"])
        self.assertIsNone(clipboard("image/png"))

        take_clipboard(b"other")
        self.assertTrue(wait_until(lambda: not keepers()))
        self.assertEqual(clipboard(), b"other")

    def test_keeper_gives_latin1_to_old_programs_when_it_fits(self):
        self.assertEqual(self.keep("café\r\n".encode()).returncode, 0)
        self.assertEqual(clipboard("STRING"), "café\r\n".encode("latin-1"))
        self.assertEqual(clipboard(), "café\r\n".encode())

    def test_keeper_refuses_a_text_too_long_and_leaves_the_clipboard(self):
        take_clipboard(b"before")
        result = self.keep(b"a" * (17 << 20))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"too long", result.stderr)
        self.assertEqual(keepers(), [])
        self.assertEqual(clipboard(), b"before")

    def test_keeper_detaches_from_its_caller(self):
        self.assertEqual(self.keep(TEXT).returncode, 0)
        [pid] = keepers()
        # A session of its own, nobody's pipes, and deaf to the hang-up of
        # the terminal it came from.
        self.assertEqual(os.getsid(pid), pid)
        for stream in range(3):
            self.assertEqual(os.readlink(f"/proc/{pid}/fd/{stream}"), "/dev/null")
        os.kill(pid, signal.SIGHUP)
        time.sleep(0.2)
        self.assertEqual(keepers(), [pid])
        self.assertEqual(clipboard(), TEXT)

    def test_text_outlives_the_program(self):
        self.assertEqual(run_driver().wait(TIMEOUT), 0)
        self.assertEqual(len(keepers()), 1)
        self.assertEqual(clipboard(), TEXT)

    def test_program_uses_the_keeper_installed_with_it(self):
        with tempfile.TemporaryDirectory() as folder:
            # Installed: the program in bin/, the keeper in lib/lodestone/.
            os.makedirs(os.path.join(folder, "bin"))
            os.makedirs(os.path.join(folder, "lib", "lodestone"))
            driver = shutil.copy(ARGS.driver, os.path.join(folder, "bin"))
            # A keeper that leaves a trace, then does the real work.
            keeper = os.path.join(folder, "lib", "lodestone", "lodestone-clipboard")
            with open(keeper, "w") as script:
                script.write(f'#!/bin/sh\ntouch "{folder}/used"\nexec "{ARGS.keeper}"\n')
            os.chmod(keeper, 0o755)
            self.assertEqual(subprocess.run([driver, self.text_file.name],
                                            timeout=TIMEOUT).returncode, 0)
            self.assertTrue(os.path.exists(os.path.join(folder, "used")))
        self.assertEqual(clipboard(), TEXT)

    def test_program_leaves_another_programs_clipboard_alone(self):
        with run_driver("--until-taken", stdout=subprocess.PIPE) as driver:
            self.assertEqual(driver.stdout.readline(), b"set\n")
            self.assertEqual(clipboard(), TEXT)
            take_clipboard(b"other")
            self.assertEqual(driver.wait(TIMEOUT), 0)
        self.assertEqual(keepers(), [])
        self.assertEqual(clipboard(), b"other")

    def test_clipboard_manager_gets_the_text_and_no_keeper_starts(self):
        manager = subprocess.Popen([ARGS.manager], stdout=subprocess.PIPE)
        self.addCleanup(manager.stdout.close)
        self.addCleanup(manager.wait)
        self.addCleanup(manager.kill)
        self.assertEqual(manager.stdout.readline(), b"ready\n")
        self.assertEqual(run_driver().wait(TIMEOUT), 0)
        # Qt hands the text over as the application ends.
        self.assertEqual(manager.stdout.readline(), b"saved\n")
        self.assertEqual(keepers(), [])
        self.assertEqual(clipboard(), TEXT)
        take_clipboard(b"other")
        self.assertEqual(manager.stdout.readline(), b"lost\n")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--keeper", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--manager", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
