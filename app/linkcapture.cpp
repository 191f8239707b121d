#include "app/linkcapture.h"

#include "app/hosts.h"
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
    text::Text pageUrl = text::JoinTexts(TorrentPageUrlPrefix(), globals.CapturedInfoHash);
    const text::Text page = text::Utf8ToGbk(net::FetchPageText(program.web, pageUrl));
    globals.CacheAPath = text::TextBetween(page, CacheABaseUrl(), LinkEndMarker);
    globals.CacheBPath = text::TextBetween(page, CacheBBaseUrl(), LinkEndMarker);

    const text::Text copyText = CopyText(globals);
    program.host.SetClipboardText(copyText);
    program.host.ShowMessageBox(copyText, InformationStyle,
                                text::Gbk(u8"地址复制成功,请粘贴到空白处"));
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

text::Text TorrentPageUrlPrefix() {
    return text::JoinTexts("http://", PortalHost(), "/torrent?info_hash=");
}

text::Text CacheABaseUrl() {
    return text::JoinTexts("http://", CacheAHost());
}
text::Text CacheBBaseUrl() {
    return text::JoinTexts("http://", CacheBHost());
}

text::Text CopyText(const Globals& globals) {
    constexpr std::string_view LineBreak = "\r\n";
    return text::JoinTexts(text::Gbk(u8"磁力链接："), LineBreak,
                           "magnet:?xt=urn:btih:", globals.CapturedInfoHash, LineBreak,
                           text::Gbk(u8"种子地址："), LineBreak, CacheABaseUrl(),
                           globals.CacheAPath, LineBreak, CacheBBaseUrl(), globals.CacheBPath);
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
