#pragma once
// Keeps the browser profile's cookie store and the program's own cookie store
// (the one the web requests use) in step, both ways, so a session started in
// the page is seen by the client's requests and the other way round.

#include "net/cookiestore.h"

#include <QNetworkCookie>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <vector>

class QWebEngineCookieStore;

namespace gui {

QNetworkCookie ToNetworkCookie(const net::Cookie& cookie);
net::Cookie FromNetworkCookie(const QNetworkCookie& cookie);
// The origin a host-only cookie is set for in the browser.
QUrl CookieOrigin(const net::Cookie& cookie);

// A change is carried over only from the side where it happened: what the
// bridge writes into either store is not mirrored back, so the two settle
// after one exchange however often the page or the server sets cookies.
class CookieBridge final : public QObject {
    Q_OBJECT
  public:
    CookieBridge(QWebEngineCookieStore* browserStore, net::CookieStore& programStore);
    ~CookieBridge() override;
    Q_DISABLE_COPY_MOVE(CookieBridge)

  private:
    void MirrorToBrowser(const net::Cookie& cookie, net::CookieStore::Change change);
    void OnBrowserAdded(const QNetworkCookie& cookie);
    void OnBrowserRemoved(const QNetworkCookie& cookie);
    void ApplyBrowserRemovals();

    QWebEngineCookieStore* browserStore_;
    net::CookieStore& programStore_;
    // The cookie the browser's change is being applied to in the program's
    // store; the store's notice of it goes nowhere.
    const net::Cookie* applying_ = nullptr;
    // Removals the browser reported, held back for a moment: the browser
    // reports a replaced cookie as removed, then the new one as added, and
    // the program's store should not lose the cookie in between.
    std::vector<net::Cookie> removals_;
    QTimer removalTimer_;
};

} // namespace gui
