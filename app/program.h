#pragma once
// The program's entry and the state every handler shares.

#include "app/sites.h"
#include "host/browserframes.h"
#include "host/eventloop.h"
#include "host/notices.h"
#include "host/runtime.h"
#include "host/tray.h"
#include "host/windows.h"
#include "net/webpageaccess.h"
#include "text/text.h"

#include <memory>

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

struct CaptureJob;
struct UpdateJob;

// What the handlers work with: the roles of the host, the web access, the
// servers, the shared texts, and the torrent click and update check under
// way. Each job owns its own texts from its start to its end; the shared
// texts are written for the record but never read back by a job.
struct Program {
    host::Runtime& runtime;
    host::EventLoop& loop;
    host::Windows& windows;
    host::Tray& tray;
    host::BrowserFrames& frames;
    host::Notices& notices;
    net::WebContext web;
    Sites sites;
    Globals globals{};
    std::shared_ptr<CaptureJob> capture{};
    std::shared_ptr<UpdateJob> update{};
};

// Why a page did not come, for the user, after the page's name: refused,
// unknown server, no answer, or the HTTP status; empty for a 2xx answer.
text::Text FetchFailure(int status);

// Ends the jobs under way at once, without a word: the user has left.
void EndJobs(Program& program);

void InitGlobals(Globals& globals);
void ReleaseGlobals(Globals& globals);

// Brings the host up with both window templates and opens the main window.
void LoadProgram(Program& program);

// LoadProgram, then runs until the last window is gone. Returns the process
// exit code.
int StartProgram(Program& program);

} // namespace app
