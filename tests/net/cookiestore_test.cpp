#include "net/cookiestore.h"

#include <gtest/gtest.h>

namespace {

using net::Cookie;
using net::CookieStore;

TEST(CookieStore, StoresWhatTheRoutineHandsOver) {
    CookieStore store;
    EXPECT_TRUE(store.SetCookie("http://192.0.2.1", "sid", "abc; path=/"));
    EXPECT_TRUE(store.SetCookie("http://192.0.2.1", "", "flag"));
    const auto cookies = store.Cookies();
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_EQ(cookies[0].name, "sid");
    EXPECT_EQ(cookies[0].value, "abc");
    EXPECT_EQ(cookies[0].domain, "192.0.2.1");
    EXPECT_EQ(cookies[0].path, "/");
    EXPECT_TRUE(cookies[0].hostOnly);
    EXPECT_EQ(cookies[1].name, "");
    EXPECT_EQ(cookies[1].value, "flag");
    EXPECT_EQ(store.CookieHeader("192.0.2.1", "/any", false), "sid=abc; flag");
}

TEST(CookieStore, SendsOnlyWhatMatchesHostPathAndChannel) {
    CookieStore store;
    store.SetCookie("http://www.example.test/a/b", "", "dir=1");
    store.SetCookie("http://www.example.test", "", "wide=1; Domain=.EXAMPLE.test");
    store.SetCookie("http://www.example.test", "", "deep=1; path=/a/b/c");
    store.SetCookie("http://www.example.test", "", "tls=1; Secure");
    struct Row {
        const char* host;
        const char* path;
        bool secure;
        const char* header;
    };
    const Row rows[] = {
        {"www.example.test", "/a/b/c/d", false, "deep=1; dir=1; wide=1"},
        {"WWW.Example.Test", "/a", false, "dir=1; wide=1"},
        {"www.example.test", "/ab", false, "wide=1"},
        {"www.example.test", "/", true, "wide=1; tls=1"},
        {"img.example.test", "/a", false, "wide=1"},
        {"example.test", "/", false, "wide=1"},
        {"badexample.test", "/", false, ""},
        {"other.test", "/a", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.host) + row.path);
        EXPECT_EQ(store.CookieHeader(row.host, row.path, row.secure), row.header);
    }
}

TEST(CookieStore, RefusesForeignDomainsAndLineBreakingBytes) {
    CookieStore store;
    EXPECT_FALSE(store.SetCookie("http://a.example.test", "", "x=1; domain=other.test"));
    EXPECT_FALSE(store.SetCookie("http://a.example.test", "", "x=1; domain=test"));
    EXPECT_FALSE(store.SetCookie("http://a.example.test", "x", "1\r\nInjected: yes"));
    EXPECT_FALSE(store.SetCookie("no scheme", "x", "1"));
    EXPECT_TRUE(store.Cookies().empty());
}

TEST(CookieStore, ExpiryInThePastRemovesTheCookie) {
    CookieStore store;
    store.SetCookie("http://h", "a", "1");
    store.SetCookie("http://h", "b", "2");
    store.SetCookie("http://h", "c", "3; max-age=3600");
    store.SetCookie("http://h", "a", "gone; expires=Thu, 01 Jan 1970 00:00:01 GMT");
    store.SetCookie("http://h", "b", "gone; Max-Age=0");
    ASSERT_EQ(store.Cookies().size(), 1u);
    EXPECT_EQ(store.CookieHeader("h", "/", false), "c=3");
    EXPECT_TRUE(store.Cookies()[0].expires.has_value());
}

TEST(CookieStore, ObserverHearsOnlyRealChanges) {
    CookieStore store;
    std::vector<std::pair<std::string, CookieStore::Change>> heard;
    store.SetObserver([&](const Cookie& cookie, CookieStore::Change change) {
        heard.emplace_back(cookie.name + "=" + cookie.value, change);
        // A mirror feeding the change straight back must not echo.
        if (change == CookieStore::Change::Stored)
            store.Store(cookie);
        else
            store.Remove(cookie);
    });
    store.SetCookie("http://h", "a", "1");
    store.SetCookie("http://h", "a", "1");
    store.SetCookie("http://h", "a", "2");
    store.SetCookie("http://h", "a", "x; max-age=0");
    const std::vector<std::pair<std::string, CookieStore::Change>> expected = {
        {"a=1", CookieStore::Change::Stored},
        {"a=2", CookieStore::Change::Stored},
        {"a=2", CookieStore::Change::Removed},
    };
    EXPECT_EQ(heard, expected);
}

} // namespace
