#!/usr/bin/env python3
"""Link capture, the player window and the update check end to end.

Runs the program on a private X display against the bundled reference portal
on free loopback ports, and drives it with the real mouse and
keyboard: the pointer rests on a result link before it clicks, menus come
from the tray icon, boxes are answered with keys. Two small relays stand
between the program and the portal: one records the player requests exactly
as they arrive (the portal's own log shows them re-encoded), the other serves
the update notice the scenario asks for. Each scenario is one run of the
program; --scenario picks one.
"""

import argparse
import hashlib
import http.client
import os
import re
import signal
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

from foundation_e2e import (Desktop, LoopbackServer, Program, QuietHandler, check, sites,
                            wait_for)

LINK_COLOUR = (0x2F, 0x5D, 0x8A)  # the portal's link colour
COPY_CAPTION = "地址复制成功,请粘贴到空白处"
PLAYER_CAPTION = "正在播放中...."
UPDATE_CAPTION = "更新提示"
PACKAGE = "lodestone-20261201.tar.gz"
SLOW = "slow.bin"
SEARCH_TERM = "sonnet"  # matches exactly one portal entry


class PortsBusy(Exception):
    """Another program holds a port that the test needs."""


# --- Servers -----------------------------------------------------------------

class PortalProcess:
    """The bundled portal with its request log, on free ports unless a base
    port is given."""

    def __init__(self, binary, base_port=0):
        command = [binary, "--verbose"]
        if base_port is not None:
            command += ["--base-port", str(base_port)]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline()
        if not ready.startswith("lodestone-portal ready"):
            self.close()
            error = self.process.stderr.read().strip()
            raise (PortsBusy if "cannot listen" in error else RuntimeError)(error)
        self.sites = dict(re.findall(r"([a-z-]+)=(\S+)", ready))
        self.requests = []  # (site, target, status)
        threading.Thread(target=self._read_log, daemon=True).start()

    def _read_log(self):
        for line in self.process.stdout:
            fields = line.split()
            if len(fields) == 4:
                self.requests.append((fields[0], fields[2], int(fields[3])))

    def served(self, site, target, times=1):
        return self.requests.count((self.sites[site], target, 200)) >= times

    def fetch(self, site, target):
        with urllib.request.urlopen("http://" + self.sites[site] + target, timeout=10) as reply:
            return reply.read()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Relay(LoopbackServer):
    """Stands for one of the portal's sites on a free port: records each
    request target byte for byte as it arrives and answers with what the
    portal answers to `forward(target)`, its body passed through `edit` and
    `replacements`. Without an upstream it is a plain-http proxy: each target
    is a whole address, and goes to the server it names."""

    def __init__(self, upstream=None):
        self.targets = []
        self.upstream = upstream
        self.forward = lambda target: target
        self.edit = lambda target, body: body
        self.replacements = []  # (old, new) byte strings, replaced in every body
        relay = self

        class Handler(QuietHandler):
            def do_GET(self):
                relay.targets.append(self.path)
                if relay.upstream:
                    host, port = relay.upstream.split(":")
                    target = relay.forward(self.path)
                else:
                    address = urllib.parse.urlsplit(self.path)
                    host, port = address.hostname, address.port or 80
                    target = address.path + ("?" + address.query if address.query else "")
                connection = http.client.HTTPConnection(host, int(port), timeout=10)
                try:
                    connection.request("GET", target)
                    reply = connection.getresponse()
                    body = relay.edit(self.path, reply.read())
                    for old, new in relay.replacements:
                        body = body.replace(old, new)
                    self.send_response(reply.status)
                    self.send_header("Content-Type", reply.getheader("Content-Type", "text/html"))
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                finally:
                    connection.close()

        self.serve(Handler)


# --- What the screen and the clipboard hold ------------------------------------

def pixels(desktop, geometry):
    """The RGB bytes of a screen rectangle (x, y, width, height), row by row."""
    x, y, width, height = geometry
    ppm = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                          "+repage", "-depth", "8", "ppm:-"], env=desktop.env, capture_output=True,
                         check=True).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    check(header and (int(header[1]), int(header[2])) == (width, height), "unreadable screenshot")
    return ppm[header.end():]


def link_spots(desktop, window, top):
    """The centres, in screen coordinates, of the links drawn in `window`
    below `top` (client coordinates), in reading order. A link is a run of
    columns in the link colour; its underline keeps a link's run unbroken."""
    info = desktop.info(window)
    width, height = info["width"], info["height"] - top
    if height <= 0:
        return []
    data = pixels(desktop, (info["x"], info["y"] + top, width, height))
    red, green, blue = LINK_COLOUR
    rows = {}
    for row in range(height):
        line = data[row * width * 3:(row + 1) * width * 3]
        columns = [column for column in range(width)
                   if abs(line[3 * column] - red) + abs(line[3 * column + 1] - green)
                   + abs(line[3 * column + 2] - blue) < 40]
        if columns:
            rows[row] = columns
    spots = []
    for band in runs(sorted(rows), gap=4):
        columns = sorted({column for row in band for column in rows[row]})
        middle = info["y"] + top + (band[0] + band[-1]) // 2
        spots += [(info["x"] + (run[0] + run[-1]) // 2, middle) for run in runs(columns, gap=2)]
    return spots


def runs(numbers, gap):
    """Sorted numbers split where two neighbours are more than `gap` apart."""
    groups = []
    for number in numbers:
        if groups and number - groups[-1][-1] <= gap:
            groups[-1].append(number)
        else:
            groups.append([number])
    return groups


def clipboard(desktop):
    return subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=desktop.env,
                          capture_output=True).stdout


def info_hash(metainfo):
    """The SHA-1 of a metainfo file's bencoded info dictionary, in hex."""
    def end_of(at):  # where the value that starts at `at` ends
        kind = metainfo[at:at + 1]
        if kind == b"i":
            return metainfo.index(b"e", at) + 1
        if kind in (b"l", b"d"):
            at += 1
            while metainfo[at:at + 1] != b"e":
                at = end_of(at)
            return at + 1
        colon = metainfo.index(b":", at)
        return colon + 1 + int(metainfo[at:colon])

    check(metainfo[:1] == b"d", "the metainfo is not a dictionary")
    at = 1
    while metainfo[at:at + 1] != b"e":
        key_end = end_of(at)
        value_end = end_of(key_end)
        if metainfo[metainfo.index(b":", at) + 1:key_end] == b"info":
            return hashlib.sha1(metainfo[key_end:value_end]).hexdigest()
        at = value_end
    raise AssertionError("the metainfo has no info dictionary")


# --- Driving the program --------------------------------------------------------

class Session:
    """One run of the program on the desktop, with what a person would do."""

    def __init__(self, desktop, program, portal, shots):
        self.desktop = desktop
        self.program = program
        self.portal = portal
        self.shots = shots

    def title(self, window):
        value = self.desktop.property(window, "_NET_WM_NAME")
        match = re.search(r'= "(.*)"$', value.strip())
        return match[1] if match else None

    def windows(self):
        """The top-level windows that the window manager lists; the program
        is alone on its desktop."""
        return set(self.desktop.client_list())

    def wait_for_window(self, title, timeout=20.0):
        return wait_for(lambda: next((w for w in self.desktop.client_list()
                                      if self.title(w) == title), None),
                        "a window titled " + title, timeout)

    def wait_until_gone(self, window):
        wait_for(lambda: window not in self.desktop.client_list(), "window %#x to go" % window)

    def viewable(self, window):
        return self.desktop.info(window)["viewable"]

    def screenshot(self, name, window):
        self.desktop.screenshot(os.path.join(self.shots, name),
                                self.desktop.outer_geometry(window))

    def press(self, window, *keys):
        self.desktop.run("xdotool", "windowactivate", "--sync", str(window))
        self.desktop.run("xdotool", "key", "--clearmodifiers", *keys)

    def hover_and_click(self, spot):
        """Rests the pointer on the spot, so that the browser reports the link
        under it, then clicks."""
        x, y = spot
        self.desktop.run("xdotool", "mousemove", "--sync", str(x - 20), str(y + 30))
        self.desktop.run("xdotool", "mousemove", "--sync", str(x), str(y))
        time.sleep(0.8)  # nothing outside shows when the browser has seen it
        self.desktop.run("xdotool", "click", "1")

    def search(self, term, escape=False):
        """Types the term into the client page's search box (it has the focus
        once the page is loaded) and waits for the one result row with its
        play and torrent links; returns their spots. With `escape`, Esc typed
        into the box before the search leaves the program and the text."""
        client = "/client?v=varnholt&c=0&so=0&t="
        wait_for(lambda: self.portal.served("portal", client), "the client page")
        wait_for(lambda: link_spots(self.desktop, self.program.window, 120),
                 "the result links to show")
        searched = self.portal.requests.count((self.portal.sites["portal"], client + term, 200))
        self.press(self.program.window, "ctrl+a")
        self.desktop.run("xdotool", "type", "--delay", "20", term)
        if escape:
            self.desktop.run("xdotool", "key", "Escape")
            time.sleep(1)
            check(self.program.process.poll() is None, "Esc in the search box ended the program")
        self.desktop.run("xdotool", "key", "Return")
        wait_for(lambda: self.portal.served("portal", client + term, searched + 1),
                 "the search request")
        return wait_for(self.result_row, "one result row on the page")

    def result_row(self):
        """The play and torrent links of the page's only result row (its
        third link saves the .torrent file)."""
        spots = link_spots(self.desktop, self.program.window, 120)
        return spots[:2] if len(spots) == 3 and len({y for _, y in spots}) == 1 else None

    def play(self, play_spot):
        """Clicks a play link; returns the player window, which hides the
        main window, once its page shows its one link."""
        self.hover_and_click(play_spot)
        player = self.wait_for_window(PLAYER_CAPTION)
        main = self.program.window
        wait_for(lambda: not self.viewable(main) and main not in self.desktop.client_list(),
                 "the main window to hide")
        wait_for(lambda: self.player_links(player), "the player page")
        return player

    def player_links(self, player):
        return link_spots(self.desktop, player, 80)  # below the page's header

    def close_player(self, player):
        """Closes the player through the window manager; the main window
        comes back."""
        self.press(player, "alt+F4")
        self.wait_until_gone(player)
        main = self.program.window
        wait_for(lambda: self.viewable(main) and main in self.desktop.client_list(),
                 "the main window to come back")

    def tray_menu_item(self, index, count=3):
        """Chooses an item of the tray menu with the mouse."""
        self.program.click_tray(3)
        menu = wait_for(self.program.popup_menu, "the tray menu")
        y = menu["y"] + menu["height"] * (2 * index + 1) // (2 * count)
        self.desktop.run("xdotool", "mousemove", "--sync", str(menu["x"] + menu["width"] // 2),
                         str(y))
        time.sleep(0.3)
        self.desktop.run("xdotool", "click", "1")

    def copy_torrent_links(self, torrent_spot, hash_, during=lambda: None):
        """Clicks a torrent link and checks the page fetch, the clipboard, the
        cache's torrent file and the confirmation box, which it closes.
        `during` runs between the click and the box."""
        main = self.program.window
        before = self.windows()
        self.hover_and_click(torrent_spot)
        during()
        box = self.wait_for_window(COPY_CAPTION)
        check(self.portal.served("portal", "/torrent?info_hash=" + hash_),
              "no torrent page request: %s" % self.portal.requests)
        check(self.windows() == before | {box}, "other windows opened: %s" % self.windows())

        cache_a = "/torrents/%s/%s/%s.torrent" % (hash_[:2], hash_[2:4], hash_)
        cache_b = "/files/%s.torrent" % hash_
        site_a, site_b = self.portal.sites["cache-a"], self.portal.sites["cache-b"]
        expected = "\r\n".join([
            "磁力链接：", "magnet:?xt=urn:btih:" + hash_, "种子地址：",
            "http://" + site_a + cache_a, "http://" + site_b + cache_b]).encode()
        copied = clipboard(self.desktop)
        check(copied == expected, "clipboard: %r" % copied)
        address = copied.split(b"\r\n")[3].decode()
        with urllib.request.urlopen(address, timeout=10) as reply:
            metainfo = reply.read()
        check(info_hash(metainfo).upper() == hash_.upper(),
              "the torrent file's info-hash is %s" % info_hash(metainfo))

        time.sleep(0.5)  # let the box paint
        self.screenshot("screenshot-copy-box.png", box)
        self.press(box, "Return")
        self.wait_until_gone(box)
        time.sleep(1)  # a window the request opened would show once the box is gone
        check(self.windows() == before, "windows after the box: %s" % self.windows())
        check(self.viewable(main), "the main window went away")


def result_hash(portal, term=SEARCH_TERM):
    """The info-hash of the one entry that the search term finds."""
    page = portal.fetch("portal", "/client?v=varnholt&c=0&so=0&t=" + term).decode()
    hashes = re.findall(r"/torrent\?info_hash=([0-9A-Fa-f]{40})", page)
    check(len(hashes) == 1, "the search term finds %d entries" % len(hashes))
    return hashes[0]


# --- Scenarios -------------------------------------------------------------------

def check_only_the_keeper_remains(session, text):
    """After Exit: within 5 s only the clipboard keeper is left, holding its
    standard streams on /dev/null and its X connection, in a session of its
    own at /, and the text still pastes."""
    check(session.program.exit_code() == 0, "exit code after Exit")
    found = {}
    deadline = time.monotonic() + 5
    while list(found.values()) != ["lodestone-clipb"] and time.monotonic() < deadline:
        time.sleep(0.1)
        found = session.program.processes()
    check(list(found.values()) == ["lodestone-clipb"], "left after Exit: %s" % found)
    [keeper] = found
    fds = {int(fd): os.readlink(f"/proc/{keeper}/fd/{fd}") for fd in os.listdir(f"/proc/{keeper}/fd")}
    check(sorted(fds) == [0, 1, 2, 3] and all(fds[n] == "/dev/null" for n in range(3))
          and fds[3].startswith("socket:"), "the keeper holds %s" % fds)
    check(os.readlink(f"/proc/{keeper}/cwd") == "/" and os.getsid(keeper) == keeper,
          "the keeper's folder or session is the program's")
    check(clipboard(session.desktop) == text, "clipboard after Exit: %r"
          % clipboard(session.desktop))


def scenario_link_capture(session, relays):
    hash_ = result_hash(session.portal)
    _, torrent = session.search(SEARCH_TERM, escape=True)
    session.screenshot("screenshot-search.png", session.program.window)
    session.copy_torrent_links(torrent, hash_)
    copied = clipboard(session.desktop)
    session.tray_menu_item(2)  # "退出"
    check_only_the_keeper_remains(session, copied)


def scenario_player(session, relays):
    hash_ = result_hash(session.portal)
    play, _ = session.search(SEARCH_TERM)
    before = session.windows()
    player = session.play(play)
    target = "/lumacast/api.html?url=magnet:?xt=urn:btih:" + hash_
    wait_for(lambda: target in relays["player"].targets,
             "the player request, have %s" % relays["player"].targets)
    own_files = "/lumacast/files/%s/" % hash_  # the page shows the torrent's text
    check(all(t in (target, "/favicon.ico") or t.startswith(own_files)
              for t in relays["player"].targets), "player requests: %s" % relays["player"].targets)
    after = (before - {session.program.window}) | {player}
    check(session.windows() == after, "windows: %s" % session.windows())

    # The player page's link to a new window opens nothing.
    help_link = session.player_links(player)
    session.screenshot("screenshot-player.png", player)
    check(len(help_link) == 1, "links on the player page: %s" % help_link)
    session.hover_and_click(help_link[0])
    time.sleep(1.5)  # what would open, would have opened by now
    check(session.windows() == after, "windows: %s" % session.windows())
    check("/lumacast/help.html" not in relays["player"].targets, "the help page was loaded")
    check(session.viewable(player), "the player went away")
    check(session.desktop.outer_geometry(player)[2:] == (796, 603),
          "player size: %s" % (session.desktop.outer_geometry(player),))

    # Back to the main window through the tray: another play link only brings
    # the open player forward, still playing what it played.
    session.program.click_tray(1)
    main = session.program.window
    wait_for(lambda: session.viewable(main), "the main window to show")
    session.desktop.run("xdotool", "windowactivate", "--sync", str(main))
    play = wait_for(session.result_row, "the result row again")[0]
    requests = list(relays["player"].targets)
    session.hover_and_click(play)
    wait_for(lambda: not session.viewable(main), "the main window to hide again")
    check(session.windows() == after, "windows: %s" % session.windows())
    time.sleep(1)  # a reload would have reached the player by now
    check(relays["player"].targets == requests, "player requests: %s" % relays["player"].targets)
    session.close_player(player)


# Opens a pop-up twice a second on its own and reports each to the portal.
POPUP_SCRIPT = (b"<script>setInterval(function () { window.open('about:blank');"
                b" new Image().src = '/popup-tick?' + Date.now(); }, 500);</script>")


def scenario_scripted_popup(session, relays):
    """A result page that opens pop-ups on a timer while the pointer rests on
    its torrent link: nothing is fetched, copied or shown until the click."""
    hash_ = result_hash(session.portal)
    portal = relays["portal"]
    portal.edit = lambda target, body: (body.replace(b"</body>", POPUP_SCRIPT + b"</body>")
                                        if target.endswith("t=" + SEARCH_TERM) else body)
    _, torrent = session.search(SEARCH_TERM)
    before = session.windows()
    x, y = torrent
    session.desktop.run("xdotool", "mousemove", "--sync", str(x - 20), str(y + 30))
    session.desktop.run("xdotool", "mousemove", "--sync", str(x), str(y))
    ticks = lambda: sum(target.startswith("/popup-tick") for target in portal.targets)
    fetched = lambda: [t for t in portal.targets if t.startswith("/torrent?info_hash=")]
    start = ticks()
    # A pop-up taken for a click would stop the page's script at its box.
    wait_for(lambda: ticks() >= start + 6 or fetched() or session.windows() != before,
             "the page's pop-ups")
    time.sleep(1)  # what the last pop-up caused would have shown by now
    check(not fetched(), "fetched without a click: %s" % fetched())
    check(session.windows() == before, "windows without a click: %s" % session.windows())
    check(clipboard(session.desktop) == b"", "copied without a click")

    # The user's own click still copies.
    session.hover_and_click(torrent)
    box = session.wait_for_window(COPY_CAPTION)
    check("/torrent?info_hash=" + hash_ in portal.targets, "no torrent page: %s" % portal.targets)
    check(b"magnet:?xt=urn:btih:" + hash_.encode() in clipboard(session.desktop),
          "the click copied nothing")
    session.press(box, "Return")
    session.wait_until_gone(box)


# Ticks every 200 ms, and reports where the search box lies and each
# character typed into it.
LIVELY_SCRIPT = b"""<script>(function () {
  var report = function (what) { new Image().src = what + '&at=' + Date.now(); };
  var box = document.querySelector('input[name=t]'), r = box.getBoundingClientRect();
  report('/box?' + [r.left, r.top, r.width, r.height].map(Math.round).join(','));
  setInterval(function () { report('/tick?'); }, 200);
  box.addEventListener('input', function (e) { report('/typed?' + encodeURIComponent(e.data)); });
})();</script>"""
SLOW_PAGE_SECONDS = 5


def scenario_slow_torrent_page(session, relays):
    """The torrent page takes 5 s to come: meanwhile the portal page's own
    timer keeps ticking and a key typed into its search box arrives; then
    clipboard and box are as ever."""
    hash_ = result_hash(session.portal)
    log = []  # (when, target) of each request the portal relay answers

    def edit(target, body):
        log.append((time.monotonic(), target))
        if target.startswith("/torrent?"):
            time.sleep(SLOW_PAGE_SECONDS)
            log.append((time.monotonic(), "answered"))
        elif target.endswith("t=" + SEARCH_TERM):
            body = body.replace(b"</body>", LIVELY_SCRIPT + b"</body>")
        return body

    relays["portal"].edit = edit
    _, torrent = session.search(SEARCH_TERM)
    first = lambda prefix: next(((at, t) for at, t in log if t.startswith(prefix)), None)
    left, top, width, height = map(int, wait_for(lambda: first("/box?"), "the search box")[1]
                                   [len("/box?"):].split("&")[0].split(","))
    info = session.desktop.info(session.program.window)
    typed = {}
    # The timer's pace on this machine: what it keeps for 5 s before the click.
    first_tick = wait_for(lambda: first("/tick?"), "the page's timer")[0]
    time.sleep(max(0, first_tick + SLOW_PAGE_SECONDS - time.monotonic()))

    def during_fetch():
        typed["asked"] = wait_for(lambda: first("/torrent?"), "the torrent page request")[0]
        # The browser sits one pixel up and left of the window's client area.
        session.desktop.run("xdotool", "mousemove", "--sync", str(info["x"] - 1 + left + width - 8),
                            str(info["y"] - 1 + top + height // 2), "click", "1")
        session.press(session.program.window, "x")
        typed["arrived"] = wait_for(lambda: first("/typed?x"), "the typed key to arrive",
                                    timeout=SLOW_PAGE_SECONDS)[0]

    session.copy_torrent_links(torrent, hash_, during_fetch)
    answered = first("answered")[0]
    ticks = [at for at, target in log if target.startswith("/tick?")]
    during = sum(typed["asked"] <= at <= answered for at in ticks)
    before = sum(typed["asked"] - SLOW_PAGE_SECONDS <= at < typed["asked"] for at in ticks)
    print("timer ticks: %d in the %d s before the fetch, %d during it"
          % (before, SLOW_PAGE_SECONDS, during), flush=True)
    check(during >= 0.8 * SLOW_PAGE_SECONDS / 0.2, "the page's timer ticked %d times" % during)
    check(typed["arrived"] < answered, "the typed key arrived after the fetch")


def scenario_overlapping_clicks(session, relays):
    """A torrent link whose page takes 5 s, then the same link again, quick:
    the later click's lines are copied and stay, and nothing of the slow
    page (its cache links marked) ever reaches the clipboard or a box."""
    hash_ = result_hash(session.portal)
    asked = []

    def edit(target, body):
        if not target.startswith("/torrent?"):
            return body
        asked.append(target)
        if len(asked) > 1:
            return body
        time.sleep(SLOW_PAGE_SECONDS)
        return body.replace(hash_.encode() + b".torrent", b"slow-page.torrent")

    relays["portal"].edit = edit
    _, torrent = session.search(SEARCH_TERM)

    def click_again():
        wait_for(lambda: asked, "the slow torrent page request")
        session.hover_and_click(torrent)

    slow_answered = time.monotonic() + SLOW_PAGE_SECONDS
    session.copy_torrent_links(torrent, hash_, click_again)
    copied = clipboard(session.desktop)
    time.sleep(max(0, slow_answered - time.monotonic()) + 1.5)
    check(len(asked) == 2, "torrent page requests: %s" % asked)
    check(all(session.title(w) != COPY_CAPTION for w in session.desktop.client_list()),
          "a box for the superseded click")
    check(clipboard(session.desktop) == copied, "the clipboard changed to %r"
          % clipboard(session.desktop))


def has_icon(session, window):
    return "_NET_WM_ICON(CARDINAL)" in session.desktop.property(window, "_NET_WM_ICON")


def check_for_update(session):
    """Chooses the update check from the tray menu; returns its box."""
    wait_for(session.program.tray_icon, "the tray icon")
    session.tray_menu_item(1)
    return session.wait_for_window(UPDATE_CAPTION)


def download_update(session, relays, name):
    """Accepts the update and names the file in the save dialog; returns the
    download window and the path of the file."""
    box = check_for_update(session)
    check(relays["notice"].targets == ["/notice.html"], "notice requests: %s"
          % relays["notice"].targets)
    time.sleep(0.5)
    session.screenshot("screenshot-update-question.png", box)
    session.press(box, "Return")  # Yes is the default button
    session.wait_until_gone(box)
    window = session.wait_for_window("下载新版本")
    dialog = session.wait_for_window("另存为")
    time.sleep(0.5)
    # Both open wholly on the screen, with the program's icon.
    for shown in (window, dialog):
        x, y, width, height = session.desktop.outer_geometry(shown)
        check(x >= 0 and y >= 0 and x + width <= 1280 and y + height <= 1024,
              "window %#x lies off the screen: %s" % (shown, (x, y, width, height)))
        check(has_icon(session, shown), "window %#x carries no icon" % shown)
    session.screenshot("screenshot-save-dialog.png", dialog)
    folder = os.path.join(session.desktop.work, "saved")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    session.press(dialog, "ctrl+a")
    session.desktop.run("xdotool", "type", "--delay", "10", path)
    session.desktop.run("xdotool", "key", "Return")
    session.wait_until_gone(dialog)
    return window, path


def scenario_update_download(session, relays):
    window, path = download_update(session, relays, PACKAGE)
    package = session.portal.fetch("notice", "/download/" + PACKAGE)
    wait_for(lambda: os.path.exists(path) and os.path.getsize(path) == len(package),
             "the whole file at " + path)
    with open(path, "rb") as saved:
        check(saved.read() == package, "the saved file differs from the portal's")
    check(os.listdir(os.path.dirname(path)) == [PACKAGE],
          "left in the folder: %s" % os.listdir(os.path.dirname(path)))
    check(session.portal.served("notice", "/share?id=1&from=notice"),
          "the share page was not fetched with a plain '&': %s" % session.portal.requests)
    time.sleep(0.5)
    session.screenshot("screenshot-download-done.png", window)
    session.press(window, "Return")  # its one button, "关闭", is the default
    session.wait_until_gone(window)


def scenario_update_cancel(session, relays):
    # The share page leads to the portal's slow download instead.
    relays["notice"].forward = lambda target: target
    relays["notice"].edit = lambda target, body: body.replace(
        session.portal.sites["notice"].encode() + b"/share", relays["notice"].address.encode()
        + b"/share").replace(PACKAGE.encode(), SLOW.encode())
    window, path = download_update(session, relays, SLOW)
    folder = os.path.dirname(path)
    wait_for(lambda: any(name.endswith(".part") and os.path.getsize(os.path.join(folder, name))
                         >= 1024 for name in os.listdir(folder)), "part of the download")
    session.screenshot("screenshot-download-running.png", window)
    info = session.desktop.info(window)
    # The cancel button sits alone in the bottom right corner.
    session.desktop.run("xdotool", "mousemove", "--sync", str(info["x"] + info["width"] - 45),
                        str(info["y"] + info["height"] - 25), "click", "1")
    session.wait_until_gone(window)
    wait_for(lambda: not os.listdir(folder),
             "the folder to be emptied, it holds %s" % os.listdir(folder), timeout=10)


def scenario_update_current(session, relays):
    relays["notice"].forward = lambda target: target + "?current=1"
    before = session.windows()
    box = check_for_update(session)
    time.sleep(0.5)
    session.screenshot("screenshot-update-current.png", box)
    session.press(box, "Return")
    session.wait_until_gone(box)
    time.sleep(1)  # a download would have started by now
    check(relays["notice"].targets == ["/notice.html"], "notice requests: %s"
          % relays["notice"].targets)
    check(session.windows() == before, "windows: %s" % session.windows())


def scenario_close_mid_request(session, relays):
    """The notice never comes; closing the main window meanwhile ends the
    program at once, not when the request gives up."""
    relays["notice"].edit = lambda target, body: time.sleep(60) or body
    wait_for(session.program.tray_icon, "the tray icon")
    session.tray_menu_item(1)
    wait_for(lambda: relays["notice"].targets, "the notice request")
    time.sleep(0.5)  # the request waits in its read loop
    x, y, width, _ = session.desktop.outer_geometry(session.program.window)
    closed = time.monotonic()
    # icewm draws the close button at the right end of the title bar.
    session.desktop.run("xdotool", "mousemove", "--sync", str(x + width - 17), str(y + 14),
                        "click", "1")
    code = session.program.exit_code(timeout=10)
    took = time.monotonic() - closed
    print("the program ended %.2f s after the click" % took, flush=True)
    check(code == 0, "exit code %s" % code)
    check(took < 5, "the program took %.1f s to end" % took)


def scenario_update_failed(session, relays):
    """A notice page without the version, then no notice server at all: each
    check shows one box, wider than the one saying all is current (its text
    is checked by the unit tests; X does not tell a box's text)."""
    relays["notice"].forward = lambda target: target + "?current=1"
    box = check_for_update(session)
    current_width = session.desktop.info(box)["width"]
    session.press(box, "Return")
    session.wait_until_gone(box)

    relays["notice"].forward = lambda target: target
    relays["notice"].edit = lambda target, body: body.replace("最新版本号：".encode(), b"")
    for case in ("no-version", "no-server"):
        before = session.windows()
        box = check_for_update(session)
        check(has_icon(session, box), "the box carries no icon")
        time.sleep(0.5)
        session.screenshot("screenshot-update-%s.png" % case, box)
        check(session.desktop.info(box)["width"] > current_width,
              "the %s box is no wider than the up-to-date one" % case)
        session.press(box, "Return")
        session.wait_until_gone(box)
        time.sleep(1)  # a second box would show by now
        check(session.windows() == before, "windows: %s" % session.windows())
        relays["notice"].close()


def scenario_proxy(session, relays):
    """A proxy in the environment, loopback not exempt: the page and the
    program's own request for the torrent page both go through it."""
    hash_ = result_hash(session.portal)
    _, torrent = session.search(SEARCH_TERM)
    session.copy_torrent_links(torrent, hash_)
    portal = "http://" + session.portal.sites["portal"]
    for target in ("/client?v=varnholt&c=0&so=0&t=", "/client?v=varnholt&c=0&so=0&t=" + SEARCH_TERM,
                   "/torrent?info_hash=" + hash_):
        check(portal + target in relays["proxy"].targets,
              "%s did not go through the proxy: %s" % (target, relays["proxy"].targets))


# What the test adds to the client page: a link to a torrent file that the
# cache serves as an attachment, set apart where the test can click it, and a
# script that tries a download of its own as the page loads.
ATTACHMENT_SPOT = (120, 320)  # in the window: the link's top-left corner is at (100, 300)
ATTACHMENT_LINK = ('<a href="%s" style="position:fixed;left:100px;top:300px;z-index:9;'
                   'font-size:30px;padding:10px;background:#fff">attachment</a>')
UNASKED_DOWNLOAD = (b"<script>var a = document.createElement('a');"
                    b" a.href = 'data:text/plain,unasked'; a.download = 'unasked.txt';"
                    b" document.body.appendChild(a); a.click();</script>")


REFUSAL_LINE_COLOUR = (0xFF, 0xF3, 0xC4)


def refusal_line_shows(session):
    """Whether the line saying which downloads were refused shows over the
    page."""
    info = session.desktop.info(session.program.window)
    line = pixels(session.desktop, (info["x"], info["y"] + 4, info["width"], 4))
    return line.count(bytes(REFUSAL_LINE_COLOUR)) > info["width"]


def dismiss_refusal_line(session):
    """The line moves the page down while it shows; a click on it takes it
    away (and admits no download)."""
    info = session.desktop.info(session.program.window)
    session.desktop.run("xdotool", "windowactivate", "--sync", str(session.program.window))
    if refusal_line_shows(session):
        session.desktop.run("xdotool", "mousemove", "--sync", str(info["x"] + 300),
                            str(info["y"] + 10), "click", "1")
        wait_for(lambda: not refusal_line_shows(session), "the refusal line to go at a click")


def attachment(portal):
    """The attachment link's address, the file's bytes and the name its
    server offers."""
    address = "http://%s/files/%s.torrent" % (portal.sites["cache-b"], result_hash(portal))
    with urllib.request.urlopen(address, timeout=10) as reply:
        body = reply.read()
        name = re.search(r'filename="([^"]+)"', reply.getheader("Content-Disposition"))[1]
    return address, body, name


def add_to_client_page(relays, addition):
    """Adds `addition` at the end of the client page's body."""
    relays["portal"].edit = lambda target, page: (
        page.replace(b"</body>", addition + b"</body>") if target.startswith("/client") else page)


def offer_attachment(portal, relays):
    """Puts the attachment link into the client page."""
    add_to_client_page(relays, (ATTACHMENT_LINK % attachment(portal)[0]).encode() + UNASKED_DOWNLOAD)


def before_start(prepare):
    """Marks a scenario whose pages must be edited before the program starts
    and loads the first of them."""
    def mark(scenario):
        scenario.prepare = prepare
        return scenario
    return mark


def click_attachment(session):
    """Waits for the page, sees its own download refused, then clicks the
    link; returns the download window and its save dialog."""
    client = "/client?v=varnholt&c=0&so=0&t="
    wait_for(lambda: session.portal.served("portal", client), "the client page")
    wait_for(lambda: "refused a download" in session.program.output(),
             "the page's own download to be refused")
    time.sleep(1)  # a save dialog for it would show by now
    check(not any(session.title(w) == "另存为" for w in session.windows()),
          "a download the page started on its own asked where to save")
    dismiss_refusal_line(session)
    info = session.desktop.info(session.program.window)
    x, y = ATTACHMENT_SPOT
    session.desktop.run("xdotool", "mousemove", "--sync", str(info["x"] + x),
                        str(info["y"] + y), "click", "1")
    window = session.wait_for_window("下载文件")
    dialog = session.wait_for_window("另存为")
    time.sleep(0.5)
    return window, dialog


def home_files(session):
    """What the user can see in the home folder, and what is left in the
    program's staging folder (besides the lock file that guards it)."""
    home = session.desktop.env["HOME"]
    staging = os.path.join(home, ".cache", "lodestone", "downloads")
    staged = [os.path.join(folder, name) for folder, _, names in os.walk(staging)
              for name in names if name != ".lock"]
    return sorted(name for name in os.listdir(home) if not name.startswith(".")), staged


@before_start(offer_attachment)
def scenario_page_download(session, relays):
    """A click on a page's attachment link saves the whole file under the
    name its server offers, through the save dialog and the download window."""
    _, body, name = attachment(session.portal)
    window, dialog = click_attachment(session)
    session.screenshot("screenshot-page-download-dialog.png", dialog)
    session.press(dialog, "Return")  # the offered name, in the home folder
    session.wait_until_gone(dialog)
    path = os.path.join(session.desktop.env["HOME"], name)
    wait_for(lambda: os.path.exists(path) and os.path.getsize(path) == len(body),
             "the whole file at " + path)
    with open(path, "rb") as saved:
        check(saved.read() == body, "the saved file differs from the server's")
    wait_for(lambda: home_files(session) == ([name], []),
             "only the file to be left, have %s" % (home_files(session),), timeout=5)
    time.sleep(0.5)
    session.screenshot("screenshot-page-download-done.png", window)
    session.press(window, "Return")
    session.wait_until_gone(window)


@before_start(offer_attachment)
def scenario_page_download_cancel(session, relays):
    """Cancelling the save dialog of a page's attachment leaves no file."""
    window, dialog = click_attachment(session)
    session.press(dialog, "Escape")
    session.wait_until_gone(dialog)
    session.wait_until_gone(window)
    wait_for(lambda: home_files(session) == ([], []),
             "nothing to be left, have %s" % (home_files(session),), timeout=5)


@before_start(offer_attachment)
def scenario_page_download_killed(session, relays):
    """A program killed while a page's download waits for its save dialog
    leaves the partial file only until its next start."""
    click_attachment(session)
    wait_for(lambda: home_files(session)[1], "the download in the staging folder")
    session.program.process.kill()
    session.program.process.wait()
    check(home_files(session)[1], "the staging folder was emptied by a killed program")
    killed = session.program
    session.program = Program(session.desktop, killed.process.args[0], killed.env)
    killed.log.close()
    wait_for(lambda: home_files(session)[1] == [],
             "the staging folder to be cleared, have %s" % (home_files(session)[1],))


# The download rules on the real engine, one row per way a page can start a
# download. The test's panel sits over the client page: buttons whose
# handlers start downloads (at once, later, or many), and a text field whose
# typing starts one later. Each download has a name of its own, so every one
# can be seen offered (a save dialog, answered with Esc) or refused (a line).
# The engine itself loses a download a frame starts right after another,
# before it reports it (traced at its download signal; more often under
# load), so the page spaces its own by 250 ms, as a page must that wants
# each of them seen: a burst still falls well within one user activation.
RULES_PANEL = b"""<div style="position:fixed;left:100px;top:200px;z-index:9;background:#fff">
<button id="now" style="width:160px;height:40px">now</button>
<button id="late" style="width:160px;height:40px">late</button>
<button id="burst" style="width:160px;height:40px">burst</button><br>
<input id="field" style="width:300px;height:30px"></div>
<script>
function save(name, kind) {
  var a = document.createElement('a');
  a.href = kind == 'blob' ? URL.createObjectURL(new Blob([name])) : 'data:text/plain,' + name;
  a.download = name; document.body.appendChild(a); a.click();
  if (kind == 'blob') URL.revokeObjectURL(a.href);
}
window.addEventListener('load', function () { document.getElementById('field').focus(); });
save('load-data.txt', 'data'); setTimeout(save, 250, 'load-blob.txt', 'blob');
document.getElementById('now').onclick = function () {
  save('now-blob.txt', 'blob'); setTimeout(function () { save('after-now.txt', 'data'); }, 1000);
};
document.getElementById('late').onclick = function () {
  setTimeout(function () { save('late.txt', 'data'); }, 6000);
};
document.getElementById('burst').onclick = function () {
  for (var i = 0; i < 12; ++i) setTimeout(save, 250 * i, 'burst-' + i + '.txt', i % 2 ? 'blob' : 'data');
};
document.getElementById('field').oninput = function () {
  if (this.value.length == 3) setTimeout(function () { save('typed.txt', 'data'); }, 3000);
};
</script>"""
RULES_BUTTONS = {"now": (180, 220), "late": (345, 220), "burst": (510, 220)}


def refused(session):
    """The names of the downloads the program said it refused, each as
    often as it said so."""
    return re.findall(r"refused a download .*?: (\S+)\n", session.program.output())


@before_start(lambda portal, relays: add_to_client_page(relays, RULES_PANEL))
def scenario_page_download_rules(session, relays):
    """One user action admits one download, and only for a few seconds;
    typing into a field admits none. Every download is offered or refused,
    blob: and data: ones too, and each refusal is told once."""
    client = "/client?v=varnholt&c=0&so=0&t="
    wait_for(lambda: session.portal.served("portal", client), "the client page")
    info = session.desktop.info(session.program.window)

    def act(what, expect_offer, expect_refused):
        if what == "field":  # focused by the page: typing alone, a space too
            session.press(session.program.window, "a", "space", "c")
        else:
            dismiss_refusal_line(session)
            x, y = RULES_BUTTONS[what]
            session.desktop.run("xdotool", "mousemove", "--sync", str(info["x"] + x),
                                str(info["y"] + y), "click", "1")
        if expect_offer:
            dialog = session.wait_for_window("另存为")
            session.press(dialog, "Escape")
            session.wait_until_gone(dialog)
        wait_for(lambda: set(expect_refused) <= set(refused(session)),
                 "%s refused, have %s" % (expect_refused, refused(session)), timeout=20)

    wait_for(lambda: {"load-data.txt", "load-blob.txt"} <= set(refused(session)),
             "the page's own downloads to be refused, have %s" % refused(session))
    act("field", False, ["typed.txt"])
    act("now", True, ["after-now.txt"])
    act("late", False, ["late.txt"])
    act("burst", True, ["burst-%d.txt" % i for i in range(1, 12)])
    names = refused(session)
    check(len(names) == len(set(names)), "a refusal was told twice: %s" % names)
    check(not any(session.title(w) == "另存为" for w in session.windows()),
          "a refused download asked where to save")
    # The refusals are one line over the page, not a box each.
    session.screenshot("screenshot-refused-downloads.png", session.program.window)
    check(refusal_line_shows(session), "no refusal line shows")


class MediaRelay(LoopbackServer):
    """Stands for the player site on a free port, between the player window
    and the portal: passes each request on with its Range header and each
    reply back with its status and range headers, feeding the player's files
    at a slow line's pace, so that a seek far ahead lands beyond what has
    come. It adds REPORT_SCRIPT to the player page, answers the page's
    reports itself and hands `command` back to the page."""

    PACE = 64 * 1024  # bytes a second, half again the sample video's rate

    def __init__(self, upstream):
        self.targets = []
        self.media = []  # (Range, status, Content-Range, Accept-Ranges) of each file request
        self.reports = []  # what the page reports, newest last
        self.command = ""
        relay = self

        class Handler(QuietHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                relay.targets.append(self.path)
                self.close_connection = True
                if self.path.startswith("/report?"):
                    relay.reports.append(dict(urllib.parse.parse_qsl(self.path[8:])))
                    command, relay.command = relay.command.encode(), ""
                    return self.answer(200, {"Content-Type": "text/plain"}, command)
                host, port = upstream.split(":")
                connection = http.client.HTTPConnection(host, int(port), timeout=10)
                try:
                    asked = self.headers.get("Range")
                    connection.request("GET", self.path, headers={"Range": asked} if asked else {})
                    reply = connection.getresponse()
                    headers = {name: reply.getheader(name) for name in
                               ("Content-Type", "Content-Range", "Accept-Ranges")
                               if reply.getheader(name)}
                    if not self.path.startswith("/lumacast/files/"):
                        body = reply.read().replace(b"</body>", REPORT_SCRIPT + b"</body>")
                        return self.answer(reply.status, headers, body)
                    relay.media.append((asked, reply.status, headers.get("Content-Range"),
                                        headers.get("Accept-Ranges")))
                    headers["Content-Length"] = reply.getheader("Content-Length")
                    self.answer(reply.status, headers, b"")
                    while chunk := reply.read(8192):
                        self.wfile.write(chunk)
                        time.sleep(len(chunk) / MediaRelay.PACE)
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the player moved on
                finally:
                    connection.close()

            def answer(self, status, headers, body):
                self.send_response(status)
                headers.setdefault("Content-Length", str(len(body)))
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(body)

        self.serve(Handler)

    def played(self):
        """The playing position of the player's video, or None."""
        report = self.reports[-1] if self.reports else {}
        return float(report["t"]) if report.get("paused") == "false" else None


# Reports four times a second where the player's video or sound stands, and
# seeks where the answer says.
REPORT_SCRIPT = b"""<script>setInterval(function () {
  var media = document.querySelector('#stage video, #stage audio');
  if (!media) return;
  fetch('/report?t=' + media.currentTime + '&paused=' + media.paused + '&muted=' + media.muted
        + '&error=' + (media.error ? media.error.code : 0))
    .then(function (reply) { return reply.text(); })
    .then(function (seek) { if (seek) media.currentTime = Number(seek); });
}, 250);</script>"""
VIDEO_TERM = "pattern"  # finds the sample video alone
SEEK_TO = 10.5  # seconds into the 12 s sample video


def range_start(header):
    match = re.fullmatch(r"bytes=(\d+)-\d*", header or "")
    return int(match[1]) if match else None


def scenario_play_video(session, relays):
    """A play link opens the player, whose video starts on its own, sound
    on, and plays from the portal's copy through range requests; a seek far ahead asks for
    a later range, answered 206, and the video plays on from there."""
    relay = relays["player"]
    play, _ = session.search(VIDEO_TERM)
    player = session.play(play)
    wait_for(lambda: (relay.played() or 0) >= 0.5, "the video to play")
    # The click on the play link asked for it: the sound is on from the start.
    check(relay.reports[-1].get("muted") == "false", "the video started muted: %s"
          % relay.reports[-1])
    check(relay.media and all(status in (200, 206) and accepts == "bytes"
                              for _, status, _, accepts in relay.media),
          "the video's requests: %s" % relay.media)
    check(any(status == 206 for _, status, _, _ in relay.media),
          "no range was asked of the video: %s" % relay.media)
    session.screenshot("screenshot-player-video.png", player)

    asked = len(relay.media)
    furthest = max(range_start(header) or 0 for header, _, _, _ in relay.media)
    relay.command = str(SEEK_TO)
    later = wait_for(lambda: next((each for each in relay.media[asked:]
                                   if (range_start(each[0]) or 0) > furthest), None),
                     "a request for a later part of the video")
    header, status, content_range, _ = later
    check(status == 206 and content_range.startswith("bytes %d-" % range_start(header)),
          "the later range %s was answered %s %s" % (header, status, content_range))
    wait_for(lambda: (relay.played() or 0) >= SEEK_TO + 0.3, "the video to play on from the seek")
    print("video requests:", relay.media, "last report:", relay.reports[-1], flush=True)
    session.close_player(player)


def scenario_save_torrent(session, relays):
    """A result's save link offers its .torrent file: the save dialog and the
    download window, and the file saved is the cache's byte for byte; the
    click neither copies nor fetches the torrent page."""
    hash_ = result_hash(session.portal)
    session.search(SEARCH_TERM)
    save = link_spots(session.desktop, session.program.window, 120)[2]
    session.hover_and_click(save)
    window = session.wait_for_window("下载文件")
    dialog = session.wait_for_window("另存为")
    time.sleep(0.5)
    session.screenshot("screenshot-save-torrent-dialog.png", dialog)
    session.press(dialog, "Return")  # the offered name, in the home folder
    session.wait_until_gone(dialog)
    body = session.portal.fetch("cache-b", "/files/%s.torrent" % hash_)
    path = os.path.join(session.desktop.env["HOME"], "sonnet-18.txt.torrent")
    wait_for(lambda: os.path.exists(path) and os.path.getsize(path) == len(body),
             "the whole file at " + path)
    with open(path, "rb") as saved:
        check(saved.read() == body, "the saved file differs from the cache's")
    check(not session.portal.served("portal", "/torrent?info_hash=" + hash_),
          "the save link fetched the torrent page")
    check(clipboard(session.desktop) == b"", "the save link copied")
    session.press(window, "Return")
    session.wait_until_gone(window)


SCENARIOS = {scenario.__name__[len("scenario_"):]: scenario for scenario in [
    scenario_link_capture, scenario_player, scenario_scripted_popup, scenario_slow_torrent_page,
    scenario_overlapping_clicks, scenario_update_download,
    scenario_update_cancel, scenario_update_current, scenario_update_failed,
    scenario_close_mid_request, scenario_page_download, scenario_page_download_cancel,
    scenario_page_download_rules, scenario_page_download_killed, scenario_proxy,
    scenario_play_video, scenario_save_torrent]}


# --- Running ---------------------------------------------------------------------

SKIPPED = 77  # the tests' SKIP_RETURN_CODE

def run(scenario, arguments, portal_base_port=0, relays_for=lambda portal: {},
        servers_for=lambda portal, relays: {}):
    """Runs one scenario on a fresh desktop with a fresh portal and program;
    returns the exit code. Everything started is stopped on every path."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    os.makedirs(arguments.screenshots, exist_ok=True)
    desktop = portal = session = None
    relays = {}
    try:
        desktop = Desktop()
        desktop.env["LC_ALL"] = "C.UTF-8"  # xprop shows UTF-8 titles as they are
        portal = PortalProcess(arguments.portal, portal_base_port)
        relays = relays_for(portal)
        getattr(scenario, "prepare", lambda portal, relays: None)(portal, relays)
        # A scenario may start the program again: the session holds the one that runs.
        session = Session(desktop, Program(desktop, arguments.program,
                                           servers_for(portal, relays)),
                          portal, arguments.screenshots)
        scenario(session, relays)
        print("PASS", scenario.__name__, flush=True)
        print("1 passed, 0 failed")
        return 0
    except AssertionError as error:
        print("FAIL", scenario.__name__ + ":", error, flush=True)
        if session:
            print(session.program.output(), flush=True)
            session.desktop.screenshot(os.path.join(arguments.screenshots, "failure.png"))
        print("0 passed, 1 failed")
        return 1
    except PortsBusy as busy:
        print("SKIP", scenario.__name__ + ":", busy, "- another program holds the test's ports",
              flush=True)
        return SKIPPED
    finally:
        if session:
            session.program.stop()
        for relay in relays.values():
            relay.close()
        if portal:
            portal.close()
        if desktop:
            desktop.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True,
                        help="the test build, which takes its servers from the environment")
    parser.add_argument("--portal", required=True, help="the lodestone-portal binary")
    parser.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    parser.add_argument("--screenshots", default=".")
    arguments = parser.parse_args()

    def relays_for(portal):
        player = MediaRelay if arguments.scenario == "play_video" else Relay
        relays = {"notice": Relay(portal.sites["notice"]), "player": player(portal.sites["player"])}
        # The pop-up, slow-page and page download scenarios put a relay in the
        # portal's place, to change its pages and see every request.
        if arguments.scenario in ("scripted_popup", "slow_torrent_page", "overlapping_clicks",
                                  "page_download", "page_download_cancel", "page_download_rules",
                                  "page_download_killed"):
            relays["portal"] = Relay(portal.sites["portal"])
        if arguments.scenario == "proxy":
            relays["proxy"] = Relay()
        return relays

    def servers_for(portal, relays):
        front = relays["portal"].address if "portal" in relays else portal.sites["portal"]
        servers = sites(front, relays["player"].address, portal.sites["cache-a"],
                        portal.sites["cache-b"], "http://%s/notice.html" % relays["notice"].address)
        if "proxy" in relays:
            # Names in small letters set, even empty, hide the machine's own
            # in capitals.
            servers.update(http_proxy="http://" + relays["proxy"].address, https_proxy="",
                           all_proxy="", no_proxy="<-loopback>")
        return servers

    return run(SCENARIOS[arguments.scenario], arguments, 0, relays_for, servers_for)


if __name__ == "__main__":
    sys.exit(main())
