#pragma once
// The program's entry and the state every handler shares.

#include "app/sites.h"
#include "host/host.h"
#include "net/webpageaccess.h"
#include "text/text.h"

namespace app {

// The process-wide texts. All start empty and live until the program ends.
struct Globals {
    // Link capture.
    text::Text LastStatusText;
    text::Text CapturedInfoHash;
    text::Text CacheAPath;
    text::Text CacheBPath;
    // Update check.
    text::Text CurrentVersion;
    text::Text LatestVersion;
    text::Text DownloadAddress;
};

// What the handlers work with: the host, the web access, the servers and the
// shared texts.
struct Program {
    host::Host& host;
    net::WebContext web;
    Sites sites;
    Globals globals;
};

void InitGlobals(Globals& globals);
void ReleaseGlobals(Globals& globals);

// Brings the host up with both window templates and opens the main window.
void LoadProgram(Program& program);

// LoadProgram, then runs until the last window is gone. Returns the process
// exit code.
int StartProgram(Program& program);

} // namespace app
