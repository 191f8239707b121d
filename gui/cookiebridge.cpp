#include "gui/cookiebridge.h"

#include <QDateTime>
#include <QTimeZone>
#include <QWebEngineCookieStore>

#include <algorithm>
#include <chrono>
#include <utility>

namespace gui {

namespace {

// Long enough for the browser's report of a replacement's new cookie to
// follow the report of the old one's removal.
constexpr int RemovalDelayMs = 50;

// Both stores keep expiry to the second; comparing finer would make the
// mirrored copy look like a change and echo back once more.
net::Cookie::Time ToTime(const QDateTime& when) {
    return net::Cookie::Time{std::chrono::seconds{when.toSecsSinceEpoch()}};
}

QDateTime ToDateTime(net::Cookie::Time when) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch());
    return QDateTime::fromSecsSinceEpoch(seconds.count(), QTimeZone::utc());
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
    removalTimer_.setSingleShot(true);
    removalTimer_.setInterval(RemovalDelayMs);
    connect(&removalTimer_, &QTimer::timeout, this, &CookieBridge::ApplyBrowserRemovals);
    for (const net::Cookie& cookie : programStore_.Cookies())
        MirrorToBrowser(cookie, net::CookieStore::Change::Stored);
    programStore_.SetObserver([this](const net::Cookie& cookie, net::CookieStore::Change change) {
        if (!applying_ || !cookie.SameSlot(*applying_))
            MirrorToBrowser(cookie, change);
    });
    connect(browserStore_, &QWebEngineCookieStore::cookieAdded, this,
            &CookieBridge::OnBrowserAdded);
    connect(browserStore_, &QWebEngineCookieStore::cookieRemoved, this,
            &CookieBridge::OnBrowserRemoved);
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

// An equal cookie leaves the program's store as it is, so the browser's
// answer to a cookie the bridge gave it ends here.
void CookieBridge::OnBrowserAdded(const QNetworkCookie& browserCookie) {
    const net::Cookie cookie = FromNetworkCookie(browserCookie);
    std::erase_if(removals_, [&cookie](const net::Cookie& c) { return c.SameSlot(cookie); });
    applying_ = &cookie;
    programStore_.Store(cookie);
    applying_ = nullptr;
}

void CookieBridge::OnBrowserRemoved(const QNetworkCookie& browserCookie) {
    removals_.push_back(FromNetworkCookie(browserCookie));
    removalTimer_.start();
}

// Only the very cookie the program holds is removed: a version the browser
// dropped because the program has since sent a newer one, or one that merely
// ran out (the program's store stops sending those by itself), is no
// deletion.
void CookieBridge::ApplyBrowserRemovals() {
    const std::vector<net::Cookie> removals = std::exchange(removals_, {});
    const std::vector<net::Cookie> held = programStore_.Cookies();
    for (const net::Cookie& removed : removals) {
        if (std::ranges::find(held, removed) == held.end())
            continue;
        applying_ = &removed;
        programStore_.Remove(removed);
        applying_ = nullptr;
    }
}

} // namespace gui
