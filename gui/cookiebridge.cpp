#include "gui/cookiebridge.h"

#include <QDateTime>
#include <QWebEngineCookieStore>

#include <chrono>

namespace gui {

namespace {

// Both stores keep expiry to the second; comparing finer would make the
// mirrored copy look like a change and echo back once more.
net::Cookie::Time ToTime(const QDateTime& when) {
    return net::Cookie::Time{std::chrono::seconds{when.toSecsSinceEpoch()}};
}

QDateTime ToDateTime(net::Cookie::Time when) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch());
    return QDateTime::fromSecsSinceEpoch(seconds.count(), Qt::UTC);
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

QNetworkCookie ToNetworkCookie(const net::Cookie& cookie) {
    QNetworkCookie result(Bytes(cookie.name), Bytes(cookie.value));
    // A host-only cookie carries no domain: the origin it is set for says it.
    if (!cookie.hostOnly)
        result.setDomain(QStringLiteral(".") + QString::fromStdString(cookie.domain));
    result.setPath(QString::fromStdString(cookie.path));
    if (cookie.expires)
        result.setExpirationDate(ToDateTime(*cookie.expires));
    result.setSecure(cookie.secure);
    result.setHttpOnly(cookie.httpOnly);
    return result;
}

net::Cookie FromNetworkCookie(const QNetworkCookie& cookie) {
    net::Cookie result;
    result.name = cookie.name().toStdString();
    result.value = cookie.value().toStdString();
    QString domain = cookie.domain().toLower();
    result.hostOnly = !domain.startsWith(QLatin1Char('.'));
    if (!result.hostOnly)
        domain.remove(0, 1);
    result.domain = domain.toStdString();
    result.path = cookie.path().isEmpty() ? "/" : cookie.path().toStdString();
    if (!cookie.isSessionCookie())
        result.expires = ToTime(cookie.expirationDate());
    result.secure = cookie.isSecure();
    result.httpOnly = cookie.isHttpOnly();
    return result;
}

QUrl CookieOrigin(const net::Cookie& cookie) {
    return QUrl(QString::fromLatin1(cookie.secure ? "https://" : "http://") +
                QString::fromStdString(cookie.domain) + QLatin1Char('/'));
}

CookieBridge::CookieBridge(QWebEngineCookieStore* browserStore, net::CookieStore& programStore)
    : browserStore_(browserStore), programStore_(programStore) {
    for (const net::Cookie& cookie : programStore_.Cookies())
        MirrorToBrowser(cookie, net::CookieStore::Change::Stored);
    programStore_.SetObserver([this](const net::Cookie& cookie, net::CookieStore::Change change) {
        MirrorToBrowser(cookie, change);
    });
    connect(
        browserStore_, &QWebEngineCookieStore::cookieAdded, this,
        [this](const QNetworkCookie& cookie) { programStore_.Store(FromNetworkCookie(cookie)); });
    connect(
        browserStore_, &QWebEngineCookieStore::cookieRemoved, this,
        [this](const QNetworkCookie& cookie) { programStore_.Remove(FromNetworkCookie(cookie)); });
    browserStore_->loadAllCookies();
}

CookieBridge::~CookieBridge() {
    programStore_.SetObserver({});
}

void CookieBridge::MirrorToBrowser(const net::Cookie& cookie, net::CookieStore::Change change) {
    const QNetworkCookie browserCookie = ToNetworkCookie(cookie);
    if (change == net::CookieStore::Change::Stored)
        browserStore_->setCookie(browserCookie, CookieOrigin(cookie));
    else
        browserStore_->deleteCookie(browserCookie, CookieOrigin(cookie));
}

} // namespace gui
