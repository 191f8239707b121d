#pragma once
// Link capture: the browsers report the address under the pointer; a click
// that asks for a new window is turned into playing or copying that address.

#include "app/program.h"

namespace app {

host::Text TorrentPageUrlPrefix();
host::Text CacheABaseUrl();
host::Text CacheBBaseUrl();

// The five lines put on the clipboard for a torrent link.
host::Text CopyText(const Globals& globals);

void OnBrowserStatusText(Program& program, const host::Text& statusText);
void OnMainBrowserNewWindow(Program& program, host::ComObject& newWindowTarget, bool& cancel);

} // namespace app
