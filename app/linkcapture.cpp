#include "app/linkcapture.h"

#include "app/units.h"
#include "text/codepage.h"
#include "text/encoding.h"
#include "text/markers.h"

#include <memory>
#include <utility>

namespace app {

// A torrent click from the click to its box: its own hash, and the fetch of
// its torrent page.
struct CaptureJob {
    text::Text infoHash;
    std::unique_ptr<net::PageFetch> fetch;
};

namespace {

constexpr std::string_view PlayMarker = "magnet";
constexpr std::string_view HashMarker = "info_hash=";
constexpr std::string_view TorrentMarker = "torrent?info_hash";
// The cache links in the torrent page end where the class attribute begins.
constexpr std::string_view LinkEndMarker = "\" class=";

// A link longer than this is no address a cache or a torrent would have;
// taking it would swamp the clipboard.
constexpr std::size_t MaxLinkLength = 8192;

constexpr int InformationStyle = 64;
constexpr int WarningStyle = 48;
constexpr std::string_view LineBreak = "\r\n";

void PlayCapturedHash(host::Windows& windows) {
    windows.LoadWindow(PlayerWindow);
    windows.WriteProperty(MainWindow, host::PropVisible, -1, 0);
}

// Empty when the link is missing, bare or too long.
text::Text CachePath(const text::Text& page, const text::Text& baseUrl) {
    text::Text path = text::TextBetween(page, baseUrl, LinkEndMarker);
    return path.size() > MaxLinkLength ? text::Text{} : path;
}

// Why the addresses could not be had, for the user; empty when they were.
text::Text WhyNoCacheLinks(int status, bool linksFound) {
    if (const text::Text failure = FetchFailure(status); !failure.empty())
        return text::JoinTexts(text::Gbk(u8"种子页面"), failure);
    return linksFound ? text::Text{} : text::Gbk(u8"种子页面中没有种子地址");
}

// The click's job ends with its torrent page: the paths are cut out, the
// page is gone before the box, and the box is the job's last word. A page
// that could not be fetched, or lacks a cache link, never passes for
// success: only the magnet link, which needs no page, is copied, and the box
// says why the rest is missing.
void CopyFetchedLinks(Program& program, net::FetchedPage fetched) {
    const std::shared_ptr<CaptureJob> job = std::exchange(program.capture, nullptr);
    Globals& globals = program.globals;
    {
        const text::Text page = text::Utf8ToGbk(text::ToText(std::exchange(fetched.body, {})));
        globals.CacheAPath = CachePath(page, CacheABaseUrl(program.sites));
        globals.CacheBPath = CachePath(page, CacheBBaseUrl(program.sites));
    }
    const text::Text missing =
        WhyNoCacheLinks(fetched.status, !globals.CacheAPath.empty() && !globals.CacheBPath.empty());
    if (missing.empty()) {
        const text::Text copyText =
            CopyText(program.sites, job->infoHash, globals.CacheAPath, globals.CacheBPath);
        program.notices.SetClipboardText(copyText);
        program.notices.ShowMessageBox(copyText, InformationStyle,
                                       text::Gbk(u8"地址复制成功,请粘贴到空白处"));
        return;
    }
    const text::Text magnet = MagnetText(job->infoHash);
    program.notices.SetClipboardText(magnet);
    program.notices.ShowMessageBox(
        text::JoinTexts(magnet, LineBreak, missing, text::Gbk(u8",只复制了磁力链接。")),
        WarningStyle, text::Gbk(u8"未能取得种子地址"));
}

// A newer click supersedes a job still fetching: the older one ends without
// a word.
void CopyTorrentLinks(Program& program, const text::Text& infoHash) {
    program.capture.reset();
    if (infoHash.size() > MaxLinkLength) {
        program.notices.ShowMessageBox(text::Gbk(u8"链接过长,没有复制。"), WarningStyle,
                                       text::Gbk(u8"未能取得种子地址"));
        return;
    }
    const auto job = std::make_shared<CaptureJob>();
    job->infoHash = infoHash;
    program.capture = job;
    job->fetch = net::StartPageFetch(
        program.web, text::JoinTexts(TorrentPageUrlPrefix(program.sites), infoHash),
        [&program](net::FetchedPage page) { CopyFetchedLinks(program, std::move(page)); });
}

// What a click on a link leads to, run from the event loop once the engine
// has its answer. It starts from the hash the click captured, whatever
// requests came in between.
void ActOnLink(Program& program, const text::Text& infoHash, bool play, bool copy) {
    program.globals.CapturedInfoHash = infoHash;
    if (play)
        PlayCapturedHash(program.windows);
    // A link can be both; the player opens first, then the links are copied.
    if (copy)
        CopyTorrentLinks(program, infoHash);
}

} // namespace

text::Text TorrentPageUrlPrefix(const Sites& sites) {
    return text::JoinTexts("http://", sites.portal, "/torrent?info_hash=");
}

text::Text CacheABaseUrl(const Sites& sites) {
    return text::JoinTexts("http://", sites.cacheA);
}
text::Text CacheBBaseUrl(const Sites& sites) {
    return text::JoinTexts("http://", sites.cacheB);
}

text::Text MagnetText(const text::Text& infoHash) {
    return text::JoinTexts(text::Gbk(u8"磁力链接："), LineBreak, "magnet:?xt=urn:btih:", infoHash);
}

text::Text CopyText(const Sites& sites, const text::Text& infoHash, const text::Text& cacheAPath,
                    const text::Text& cacheBPath) {
    return text::JoinTexts(MagnetText(infoHash), LineBreak, text::Gbk(u8"种子地址："), LineBreak,
                           CacheABaseUrl(sites), cacheAPath, LineBreak, CacheBBaseUrl(sites),
                           cacheBPath);
}

void OnBrowserStatusText(Globals& globals, const text::Text& statusText) {
    globals.LastStatusText = statusText;
}

host::ComponentTemplate BrowserFrameTemplate(Globals& globals, host::UnitRef unit, const char* name,
                                             host::Rect rect, NewWindowHandler onNewWindow) {
    host::ComponentTemplate browser;
    browser.unit = unit.unit;
    browser.type = host::ComponentType::WebBrowserFrame;
    browser.name = name;
    browser.rect = rect;
    browser.onStatusText = [&globals](text::Text& text) { OnBrowserStatusText(globals, text); };
    browser.onNewWindow = std::move(onNewWindow);
    return browser;
}

void OnMainBrowserNewWindow(Program& program, host::ComObject& newWindowTarget, bool& cancel,
                            bool byUser) {
    Globals& globals = program.globals;
    program.frames.AdoptNewWindow(MainBrowser, newWindowTarget);
    const bool play = byUser && text::FindText(globals.LastStatusText, PlayMarker) != -1;
    const bool copy = byUser && text::FindText(globals.LastStatusText, TorrentMarker) != -1;
    globals.CapturedInfoHash = text::TextAfterLast(globals.LastStatusText, HashMarker);
    cancel = true;
    if (play || copy)
        program.loop.PostWork([&program, infoHash = globals.CapturedInfoHash, play, copy] {
            ActOnLink(program, infoHash, play, copy);
        });
}

} // namespace app
