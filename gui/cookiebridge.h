#pragma once
// Keeps the browser profile's cookie store and the program's own cookie store
// (the one the web requests use) in step, both ways, so a session started in
// the page is seen by the client's requests and the other way round.

#include "net/cookiestore.h"

#include <QNetworkCookie>
#include <QObject>
#include <QUrl>

class QWebEngineCookieStore;

namespace gui {

QNetworkCookie ToNetworkCookie(const net::Cookie& cookie);
net::Cookie FromNetworkCookie(const QNetworkCookie& cookie);
// The origin a host-only cookie is set for in the browser.
QUrl CookieOrigin(const net::Cookie& cookie);

class CookieBridge final : public QObject {
    Q_OBJECT
  public:
    CookieBridge(QWebEngineCookieStore* browserStore, net::CookieStore& programStore);
    ~CookieBridge() override;
    Q_DISABLE_COPY_MOVE(CookieBridge)

  private:
    void MirrorToBrowser(const net::Cookie& cookie, net::CookieStore::Change change);

    QWebEngineCookieStore* browserStore_;
    net::CookieStore& programStore_;
};

} // namespace gui
