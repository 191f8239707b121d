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

constexpr int InformationStyle = 64;

void PlayCapturedHash(Program& program) {
    program.host.LoadWindow(PlayerWindow);
    program.host.WriteProperty(MainWindow, host::PropVisible, -1, 0);
}

void CopyTorrentLinks(Program& program) {
    Globals& globals = program.globals;
    text::Text pageUrl =
        text::JoinTexts(TorrentPageUrlPrefix(program.sites), globals.CapturedInfoHash);
    const text::Text page = text::Utf8ToGbk(net::FetchPageText(program.web, pageUrl));
    globals.CacheAPath = text::TextBetween(page, CacheABaseUrl(program.sites), LinkEndMarker);
    globals.CacheBPath = text::TextBetween(page, CacheBBaseUrl(program.sites), LinkEndMarker);

    program.host.SetClipboardText(CopyText(program.sites, globals));
    program.host.ProcessEvents();
    // Built again: a nested capture may have replaced the texts meanwhile.
    program.host.ShowMessageBox(CopyText(program.sites, globals), InformationStyle,
                                text::Gbk(u8"地址复制成功,请粘贴到空白处"));
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

text::Text CopyText(const Sites& sites, const Globals& globals) {
    constexpr std::string_view LineBreak = "\r\n";
    return text::JoinTexts(text::Gbk(u8"磁力链接："), LineBreak,
                           "magnet:?xt=urn:btih:", globals.CapturedInfoHash, LineBreak,
                           text::Gbk(u8"种子地址："), LineBreak, CacheABaseUrl(sites),
                           globals.CacheAPath, LineBreak, CacheBBaseUrl(sites), globals.CacheBPath);
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
    const bool isPlayLink = text::FindText(globals.LastStatusText, PlayMarker) != -1;
    globals.CapturedInfoHash = text::TextAfterLast(globals.LastStatusText, HashMarker);
    if (byUser && isPlayLink)
        PlayCapturedHash(program);
    // A link can be both; the player opens first, then the links are copied.
    if (byUser && text::FindText(globals.LastStatusText, TorrentMarker) != -1)
        CopyTorrentLinks(program);
    cancel = true;
}

} // namespace app
