// The browser profile and the program share their cookies both ways.

#include "gui/cookiebridge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

namespace {

using gui::CookieOrigin;
using gui::FromNetworkCookie;
using gui::ToNetworkCookie;

net::Cookie MakeCookie(std::string name, std::string domain, bool hostOnly) {
    net::Cookie cookie;
    cookie.name = std::move(name);
    cookie.value = "v1";
    cookie.domain = std::move(domain);
    cookie.hostOnly = hostOnly;
    cookie.path = "/app";
    return cookie;
}

TEST(CookieConversion, RoundTripsHostOnlyAndDomainCookies) {
    net::Cookie hostOnly = MakeCookie("sid", "portal.test", true);
    hostOnly.expires = net::Cookie::Time{std::chrono::seconds{2'000'000'000}};
    hostOnly.httpOnly = true;
    net::Cookie domain = MakeCookie("pref", "example.org", false);
    domain.secure = true;

    EXPECT_EQ(FromNetworkCookie(ToNetworkCookie(domain)), domain);
    // A host-only cookie goes to the browser without a domain (its origin
    // names the host) and comes back with the bare host name.
    QNetworkCookie browserCopy = ToNetworkCookie(hostOnly);
    EXPECT_TRUE(browserCopy.domain().isEmpty());
    browserCopy.setDomain(QStringLiteral("portal.test"));
    EXPECT_EQ(FromNetworkCookie(browserCopy), hostOnly);
    EXPECT_EQ(ToNetworkCookie(domain).domain(), QStringLiteral(".example.org"));
    EXPECT_EQ(CookieOrigin(domain), QUrl(QStringLiteral("https://example.org/")));
}

TEST(CookieConversion, BrowserCookieWithoutPathOrExpiryIsASessionCookieAtTheRoot) {
    QNetworkCookie browserCookie("a", "1");
    browserCookie.setDomain(QStringLiteral("Portal.Test"));
    const net::Cookie cookie = FromNetworkCookie(browserCookie);
    EXPECT_EQ(cookie.domain, "portal.test");
    EXPECT_TRUE(cookie.hostOnly);
    EXPECT_EQ(cookie.path, "/");
    EXPECT_FALSE(cookie.expires.has_value());
}

bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(CookieBridge, CarriesCookiesBothWaysWithoutEchoingForever) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    int argc = 1;
    char name[] = "cookiebridge_test";
    char* argv[] = {name, nullptr};
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    {
        QWebEngineProfile profile; // off the record: nothing left on disk
        // The engine's cookie service starts with the first page.
        QWebEnginePage page(&profile);
        page.load(QUrl(QStringLiteral("about:blank")));
        net::CookieStore programStore;
        int changes = 0;
        gui::CookieBridge bridge(profile.cookieStore(), programStore);

        std::vector<QNetworkCookie> seenByBrowser;
        QObject::connect(profile.cookieStore(), &QWebEngineCookieStore::cookieAdded,
                         [&](const QNetworkCookie& cookie) { seenByBrowser.push_back(cookie); });
        ASSERT_TRUE(programStore.SetCookie("http://127.0.0.1", "sid", "abc; path=/"));
        EXPECT_TRUE(WaitFor([&] { return !seenByBrowser.empty(); }));

        QNetworkCookie fromPage("theme", "dark");
        fromPage.setPath(QStringLiteral("/"));
        profile.cookieStore()->setCookie(fromPage, QUrl(QStringLiteral("http://127.0.0.1/")));
        EXPECT_TRUE(WaitFor([&] {
            return programStore.CookieHeader("127.0.0.1", "/", false).find("theme=dark") !=
                   std::string::npos;
        }));
        EXPECT_NE(programStore.CookieHeader("127.0.0.1", "/", false).find("sid=abc"),
                  std::string::npos);

        // Once both hold the same cookies, nothing keeps changing.
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        programStore.SetObserver([&](const net::Cookie&, net::CookieStore::Change) { ++changes; });
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(changes, 0);
    }
}

} // namespace
