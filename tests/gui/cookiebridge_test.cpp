// The browser profile and the program share their cookies both ways.

#include "gui/cookiebridge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>

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

// Runs the event loop until `done` holds; the limit only keeps a failing test
// from hanging, so it is generous for a busy machine.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

bool Holds(const net::CookieStore& store, const std::string& pair) {
    return (" " + store.CookieHeader("127.0.0.1", "/", false) + ";").find(" " + pair + ";") !=
           std::string::npos;
}

// CPU time this process has used, user and system, from /proc.
std::chrono::milliseconds ProcessCpuTime() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // The command name may hold blanks; the fields counted here follow it.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoll(field);
        else if (i == 15)
            system = std::stoll(field);
    }
    return std::chrono::milliseconds((user + system) * 1000 / sysconf(_SC_CLK_TCK));
}

class CookieBridgeTest : public ::testing::Test {
  protected:
    QWebEngineProfile profile; // off the record: nothing left on disk
    // The engine's cookie service starts with the first page.
    QWebEnginePage page{&profile};
    net::CookieStore programStore;
    std::unique_ptr<gui::CookieBridge> bridge;
    int browserChanges = 0;

    void SetUp() override {
        page.load(QUrl(QStringLiteral("about:blank")));
        bridge = std::make_unique<gui::CookieBridge>(profile.cookieStore(), programStore);
        QObject::connect(profile.cookieStore(), &QWebEngineCookieStore::cookieAdded,
                         [this] { ++browserChanges; });
        QObject::connect(profile.cookieStore(), &QWebEngineCookieStore::cookieRemoved,
                         [this] { ++browserChanges; });
    }

    // Once both hold the same cookies, neither store changes any more: the
    // changes come to rest (an echo between them never would).
    void ExpectSettled() {
        int seen = -1;
        std::vector<net::Cookie> held;
        QElapsedTimer still;
        EXPECT_TRUE(WaitFor([&] {
            if (browserChanges != seen || programStore.Cookies() != held) {
                seen = browserChanges;
                held = programStore.Cookies();
                still.start();
            }
            return still.elapsed() >= 500;
        })) << "the stores keep echoing";
    }
};

TEST_F(CookieBridgeTest, CarriesCookiesBothWaysWithoutEchoingForever) {
    ASSERT_TRUE(programStore.SetCookie("http://127.0.0.1", "sid", "abc; path=/"));
    EXPECT_TRUE(WaitFor([&] { return browserChanges > 0; }));

    QNetworkCookie fromPage("theme", "dark");
    fromPage.setPath(QStringLiteral("/"));
    profile.cookieStore()->setCookie(fromPage, QUrl(QStringLiteral("http://127.0.0.1/")));
    EXPECT_TRUE(WaitFor([&] { return Holds(programStore, "theme=dark"); }));
    EXPECT_TRUE(Holds(programStore, "sid=abc"));
    ExpectSettled();

    // A server replacing its cookie reaches the browser and stays replaced.
    ASSERT_TRUE(programStore.SetCookie("http://127.0.0.1", "sid", "def; path=/"));
    ExpectSettled();
    EXPECT_TRUE(Holds(programStore, "sid=def"));
}

// A page that sets, replaces and deletes its cookies: the program's store
// follows, never loses a cookie while nothing happens, and the client idles.
TEST_F(CookieBridgeTest, PageCookiesSettleAndLeaveTheClientIdle) {
    httplib::Server server;
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<script>document.cookie = \"s=1; path=/\";"
                             "document.cookie = \"p=1; path=/; max-age=3600\";</script>",
                             "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    const std::string origin = "http://127.0.0.1:" + std::to_string(port) + "/";
    page.load(QUrl(QString::fromStdString(origin)));
    EXPECT_TRUE(WaitFor([&] { return Holds(programStore, "s=1") && Holds(programStore, "p=1"); }));

    constexpr auto IdleTime = std::chrono::seconds(30);
    const auto cpuBefore = ProcessCpuTime();
    int samplesWithout = 0;
    QEventLoop idle;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (!Holds(programStore, "s=1") || !Holds(programStore, "p=1"))
            ++samplesWithout;
    });
    sample.start(100);
    QTimer::singleShot(IdleTime, &idle, &QEventLoop::quit);
    idle.exec();
    const auto cpuUsed = ProcessCpuTime() - cpuBefore;
    EXPECT_LT(cpuUsed, std::chrono::milliseconds(IdleTime) / 50) << "over 2 % of a core";
    EXPECT_EQ(samplesWithout, 0) << "the program's store lost the page's cookies";

    // Replacing a cookie keeps it; deleting either kind removes it.
    page.runJavaScript(QStringLiteral("document.cookie = 's=2; path=/';"));
    EXPECT_TRUE(WaitFor([&] { return Holds(programStore, "s=2"); }));
    page.runJavaScript(QStringLiteral("document.cookie = 's=; path=/; max-age=0';"
                                      "document.cookie = 'p=; path=/; max-age=0';"));
    EXPECT_TRUE(WaitFor([&] { return programStore.Cookies().empty(); }));
    ExpectSettled();
    server.stop();
    serving.join();
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
