#pragma once
// The player window: streams a magnet link through the web player page.

#include "app/program.h"
#include "host/windowtemplate.h"

namespace app {

host::WindowTemplate PlayerWindowTemplate(Program& program);

text::Text PlayerUrlPrefix(const Sites& sites);

// Plays `infoHash`, the hash captured last.
void OnPlayerWindowCreated(host::Windows& windows, host::BrowserFrames& frames, const Sites& sites,
                           const text::Text& infoHash);
void OnPlayerWindowResized(host::Windows& windows);
void OnPlayerWindowDestroying(host::Windows& windows);
void OnPlayerBrowserNewWindow(host::BrowserFrames& frames, host::ComObject& slot, bool& cancel);

} // namespace app
