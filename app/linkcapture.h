#pragma once
// Link capture: the browsers report the address under the pointer; a click
// that asks for a new window is turned into playing or copying that address.

#include "app/program.h"
#include "host/windowtemplate.h"

#include <functional>

namespace app {

text::Text TorrentPageUrlPrefix(const Sites& sites);
text::Text CacheABaseUrl(const Sites& sites);
text::Text CacheBBaseUrl(const Sites& sites);

// The first two lines: all that is copied when the torrent page fails.
text::Text MagnetText(const text::Text& infoHash);
// The five lines put on the clipboard for a torrent link.
text::Text CopyText(const Sites& sites, const text::Text& infoHash, const text::Text& cacheAPath,
                    const text::Text& cacheBPath);

void OnBrowserStatusText(Globals& globals, const text::Text& statusText);

// A browser frame of either window: its status text feeds the link capture,
// its new-window requests go to `onNewWindow`.
using NewWindowHandler = std::function<void(host::ComObject& slot, bool& cancel, bool byUser)>;
host::ComponentTemplate BrowserFrameTemplate(Globals& globals, host::UnitRef unit, const char* name,
                                             host::Rect rect, NewWindowHandler onNewWindow);
// The request is adopted and cancelled at once; playing or copying the
// captured link runs afterwards, from the event loop. Only a request the user
// caused does either: a page's own pop-up, while the pointer happens to rest
// on a link, is merely cancelled.
void OnMainBrowserNewWindow(Program& program, host::ComObject& newWindowTarget, bool& cancel,
                            bool byUser);

} // namespace app
