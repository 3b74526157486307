// Which hosts count as one site when a login page is checked.
#include "net/SiteNames.h"

#include <gtest/gtest.h>

using namespace dh;

namespace {

bool Same(const char *a, const char *b) {
    return SameSite(QUrl(QString::fromUtf8(a)), QUrl(QString::fromUtf8(b)));
}

} // namespace

TEST(SiteNames, OneSiteIsOneHostOrOneRegistrableDomain) {
    EXPECT_TRUE(Same("https://LOGIN.Example.com/a", "http://login.example.com:8080/b"));
    EXPECT_TRUE(Same("https://login.example.com/", "https://www.example.com/"));
    EXPECT_TRUE(Same("https://login.example.com.cn/", "https://lib.example.com.cn/"));
    EXPECT_TRUE(Same("https://example.com/", "https://sso.example.com/"));
    EXPECT_TRUE(Same("https://中文.example.com/", "https://xn--fiq228c.example.com/"));
    // Other registrable domains, and hosts that share only a public suffix.
    EXPECT_FALSE(Same("https://login.example.com/", "https://example.org/"));
    EXPECT_FALSE(Same("https://a.com.cn/", "https://b.com.cn/"));
    EXPECT_FALSE(Same("https://alice.github.io/", "https://mallory.github.io/"));
    EXPECT_FALSE(Same("https://login.example.com/", "https://login.example.com.evil.net/"));
    EXPECT_FALSE(Same("https://example.com/", "https://notexample.com/"));
    // Addresses and single names match only themselves.
    EXPECT_TRUE(Same("http://127.0.0.1:1/", "http://127.0.0.1:2/"));
    EXPECT_FALSE(Same("http://127.0.0.1/", "http://127.0.0.2/"));
    EXPECT_FALSE(Same("http://127.0.0.1/", "http://localhost/"));
    EXPECT_FALSE(Same("http://[::1]/", "http://localhost/"));
    EXPECT_FALSE(Same("about:blank", "about:blank"));
    EXPECT_FALSE(Same("", "http://example.com/"));

    EXPECT_EQ(RegistrableDomain(QStringLiteral("a.b.example.co.uk")), QStringLiteral("example.co.uk"));
    EXPECT_EQ(RegistrableDomain(QStringLiteral("co.uk")), QString());
    EXPECT_EQ(RegistrableDomain(QStringLiteral("10.0.0.1")), QString());
}
