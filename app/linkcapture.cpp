#include "app/linkcapture.h"

#include "app/units.h"
#include "text/codepage.h"
#include "text/encoding.h"
#include "text/markers.h"

namespace app {

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

void PlayCapturedHash(Program& program) {
    program.host.LoadWindow(PlayerWindow);
    program.host.WriteProperty(MainWindow, host::PropVisible, -1, 0);
}

// Empty when the link is missing, bare or too long.
text::Text CachePath(const text::Text& page, const text::Text& baseUrl) {
    text::Text path = text::TextBetween(page, baseUrl, LinkEndMarker);
    return path.size() > MaxLinkLength ? text::Text{} : path;
}

// Fetches the torrent page and cuts the cache paths out of it; the page is
// gone when this returns. Gives why the addresses could not be had, or
// nothing when they were.
text::Text CutCacheLinks(Program& program) {
    Globals& globals = program.globals;
    text::Text pageUrl = text::JoinTexts(TorrentPageUrlPrefix(program.sites), globals.CapturedInfoHash);
    int status = net::FetchRefused;
    const text::Text page = text::Utf8ToGbk(net::FetchPageText(program.web, pageUrl, &status));
    globals.CacheAPath = CachePath(page, CacheABaseUrl(program.sites));
    globals.CacheBPath = CachePath(page, CacheBBaseUrl(program.sites));
    if (status == net::FetchRefused)
        return text::Gbk(u8"种子页面无法请求");
    if (status == net::FetchNoAnswer)
        return text::Gbk(u8"种子页面没有回应");
    if (status < 200 || status > 299)
        return text::JoinTexts(text::Gbk(u8"种子页面回应 HTTP "), text::ToText(status));
    if (globals.CacheAPath.empty() || globals.CacheBPath.empty())
        return text::Gbk(u8"种子页面中没有种子地址");
    return {};
}

// A page that could not be fetched, or lacks a cache link, never passes for
// success: only the magnet link, which needs no page, is copied, and the box
// says why the rest is missing.
void CopyTorrentLinks(Program& program) {
    const Globals& globals = program.globals;
    const text::Text failed = text::Gbk(u8"未能取得种子地址");
    if (globals.CapturedInfoHash.size() > MaxLinkLength) {
        program.host.ShowMessageBox(text::Gbk(u8"链接过长,没有复制。"), WarningStyle, failed);
        return;
    }
    const text::Text missing = CutCacheLinks(program);
    if (missing.empty()) {
        const text::Text copyText = CopyText(program.sites, globals);
        program.host.SetClipboardText(copyText);
        program.host.ShowMessageBox(copyText, InformationStyle,
                                    text::Gbk(u8"地址复制成功,请粘贴到空白处"));
        return;
    }
    const text::Text magnet = MagnetText(globals);
    program.host.SetClipboardText(magnet);
    program.host.ShowMessageBox(
        text::JoinTexts(magnet, LineBreak, missing, text::Gbk(u8",只复制了磁力链接。")),
        WarningStyle, failed);
}

// What a click on a link leads to, run from the event loop once the engine
// has its answer. It starts from the hash the click captured, whatever
// requests came in between.
void ActOnLink(Program& program, const text::Text& infoHash, bool play, bool copy) {
    program.globals.CapturedInfoHash = infoHash;
    if (play)
        PlayCapturedHash(program);
    // A link can be both; the player opens first, then the links are copied.
    if (copy)
        CopyTorrentLinks(program);
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

text::Text MagnetText(const Globals& globals) {
    return text::JoinTexts(text::Gbk(u8"磁力链接："), LineBreak,
                           "magnet:?xt=urn:btih:", globals.CapturedInfoHash);
}

text::Text CopyText(const Sites& sites, const Globals& globals) {
    return text::JoinTexts(MagnetText(globals), LineBreak, text::Gbk(u8"种子地址："), LineBreak,
                           CacheABaseUrl(sites), globals.CacheAPath, LineBreak,
                           CacheBBaseUrl(sites), globals.CacheBPath);
}

void OnBrowserStatusText(Program& program, const text::Text& statusText) {
    program.globals.LastStatusText = statusText;
}

host::ComponentTemplate BrowserFrameTemplate(Program& program, host::UnitRef unit, const char* name,
                                             host::Rect rect, NewWindowHandler onNewWindow) {
    host::ComponentTemplate browser;
    browser.unit = unit.unit;
    browser.type = host::ComponentType::WebBrowserFrame;
    browser.name = name;
    browser.rect = rect;
    browser.onStatusText = [&program](text::Text& text) { OnBrowserStatusText(program, text); };
    browser.onNewWindow = [&program, onNewWindow](host::ComObject& slot, bool& cancel,
                                                  bool byUser) {
        onNewWindow(program, slot, cancel, byUser);
    };
    return browser;
}

void OnMainBrowserNewWindow(Program& program, host::ComObject& newWindowTarget, bool& cancel,
                            bool byUser) {
    Globals& globals = program.globals;
    program.host.AdoptNewWindow(MainBrowser, newWindowTarget);
    const bool play = byUser && text::FindText(globals.LastStatusText, PlayMarker) != -1;
    const bool copy = byUser && text::FindText(globals.LastStatusText, TorrentMarker) != -1;
    globals.CapturedInfoHash = text::TextAfterLast(globals.LastStatusText, HashMarker);
    cancel = true;
    if (play || copy)
        program.host.PostWork([&program, infoHash = globals.CapturedInfoHash, play, copy] {
            ActOnLink(program, infoHash, play, copy);
        });
}

} // namespace app
