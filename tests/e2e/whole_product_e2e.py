#!/usr/bin/env python3
"""The default build end to end against the bundled portal on its default ports.

The program as it is built for users talks to the portal's default loopback
ports; the test starts the portal there with its defaults and, like a person,
searches, copies a torrent's links, plays a result, closes the player and
leaves through the tray menu. When another program holds those ports the test
is skipped, not failed.
"""

import argparse
import sys

from foundation_e2e import check, wait_for
from portal_e2e import result_hash, run

SEARCH_TERM = "aurora"


def scenario_whole_product(session, relays):
    hash_ = result_hash(session.portal, SEARCH_TERM)
    play, torrent = session.search(SEARCH_TERM)
    session.copy_torrent_links(torrent, hash_)

    player = session.play(play)
    # The magnet link arrives unencoded, as the player address holds it.
    target = "/lumacast/api.html?url=magnet:?xt=urn:btih:" + hash_
    wait_for(lambda: session.portal.served("player", target),
             "the player request, have %s" % session.portal.requests)
    session.screenshot("screenshot-player.png", player)
    session.close_player(player)

    session.tray_menu_item(2)  # "退出"
    check(session.program.exit_code() == 0, "exit code after the tray menu's Exit")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True, help="the program of the default build")
    parser.add_argument("--portal", required=True, help="the lodestone-portal binary")
    parser.add_argument("--screenshots", default=".")
    return run(scenario_whole_product, parser.parse_args(), portal_base_port=None)


if __name__ == "__main__":
    sys.exit(main())
