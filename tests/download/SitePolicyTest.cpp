// Waiting out busy sites, the per-site limit, and the texts a person reads
// for speed and time left.
#include "download/SitePolicy.h"
#include "download/TransferOutcome.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace dh;

namespace {
const QString kSite = QStringLiteral("busy.example");
const QString kOther = QStringLiteral("calm.example");
} // namespace

TEST(SitePolicy, RetryAfterInSecondsOrAsADate) {
    const QDateTime now(QDate(2026, 10, 21), QTime(7, 28, 0), QTimeZone::utc());
    EXPECT_EQ(RetryAfterMs("3", now), 3000);
    EXPECT_EQ(RetryAfterMs(" 120 ", now), 120000);
    EXPECT_EQ(RetryAfterMs("Wed, 21 Oct 2026 07:28:30 GMT", now), 30000);
    EXPECT_EQ(RetryAfterMs("Wed, 21 Oct 2026 09:28:00 +0200", now), 0) << "the same moment in another zone";
    EXPECT_EQ(RetryAfterMs("Tue, 20 Oct 2026 07:28:00 GMT", now), 0) << "a date gone by";
    EXPECT_EQ(RetryAfterMs("", now), -1);
    EXPECT_EQ(RetryAfterMs("-5", now), -1);
    EXPECT_EQ(RetryAfterMs("soon", now), -1);
    EXPECT_EQ(RetryWaitText(2500), QStringLiteral("等待重试 (3秒)"));
    EXPECT_EQ(RetryWaitText(-10), QStringLiteral("等待重试 (0秒)"));
}

TEST(SitePolicy, SitesOfAddresses) {
    EXPECT_EQ(SiteOf(QStringLiteral("http://User:pw@Docs.Example.ORG:8080/a/b.pdf?x=1")),
              QStringLiteral("docs.example.org"));
    EXPECT_EQ(SiteOf(QStringLiteral("https://[::1]:8443/x")), QStringLiteral("[::1]"));
    EXPECT_EQ(SiteOf(QStringLiteral("http://host.example")), QStringLiteral("host.example"));
    EXPECT_EQ(SiteOf(QStringLiteral("not an address")), QString());
}

TEST(SitePolicy, ABusySiteWaitsItsTimeThenGetsOneTransferUntilItDelivers) {
    SitePolicy policy;
    EXPECT_TRUE(policy.MayStart(1, kSite, 5, 0));
    EXPECT_FALSE(policy.MayStart(1, kSite, 6, 0)) << "the default limit is six";

    EXPECT_EQ(policy.Busy(1, kSite, 3000, 1000), 3000);
    EXPECT_EQ(policy.WaitLeft(1, 2000), 2000);
    for (quint64 item : {1, 2}) {
        EXPECT_FALSE(policy.MayStart(item, kSite, 0, 3999)) << "none of the site before its Retry-After";
        EXPECT_TRUE(policy.MayStart(item, kSite, 0, 4000));
    }
    EXPECT_TRUE(policy.MayStart(3, kOther, 0, 1500)) << "other sites go on";
    EXPECT_FALSE(policy.MayStart(2, kSite, 1, 5000)) << "one at a time now";
    for (int delivered = 0; delivered < SitePolicy::DeliveriesToTrust; ++delivered) {
        EXPECT_FALSE(policy.MayStart(4, kSite, 1, 5000));
        policy.Delivered(quint64(10 + delivered), kSite);
    }
    EXPECT_TRUE(policy.MayStart(4, kSite, 5, 5000)) << "three documents later the site has its slots back";
}

TEST(SitePolicy, BackOffWithoutRetryAfterAndTheGiveUpRule) {
    SitePolicy policy;
    EXPECT_EQ(policy.Busy(1, kSite, -1, 0), 30000);
    EXPECT_EQ(policy.Busy(1, kSite, -1, 30000), 60000);
    EXPECT_EQ(policy.Busy(1, kSite, -1, 90000), -1) << "the third busy answer ends the item";
    EXPECT_EQ(policy.WaitLeft(1, 90000), 0);
    EXPECT_FALSE(policy.MayStart(2, kSite, 0, 90000 + 119999)) << "the site still waits its back-off";
    EXPECT_EQ(policy.Busy(3, kOther, SitePolicy::LongestWaitMs + 1, 0), -1)
        << "more than an hour: given up at once";
    EXPECT_EQ(policy.Busy(4, kSite, SitePolicy::LongestWaitMs, 0), SitePolicy::LongestWaitMs);
}

TEST(SitePolicy, TheLimitPerSite) {
    SitePolicy policy;
    policy.SetPerSiteLimit(2);
    EXPECT_TRUE(policy.MayStart(1, kSite, 1, 0));
    EXPECT_FALSE(policy.MayStart(1, kSite, 2, 0));
    EXPECT_TRUE(policy.MayStart(1, kOther, 0, 0));
    policy.SetPerSiteLimit(0);
    EXPECT_EQ(policy.PerSiteLimit(), 1);
    policy.SetPerSiteLimit(9);
    EXPECT_EQ(policy.PerSiteLimit(), 6);
}

TEST(ProgressTexts, SpeedAndTimeLeft) {
    EXPECT_EQ(SpeedText(0), QStringLiteral("0.0 KB/s"));
    EXPECT_EQ(SpeedText(870707), QStringLiteral("850.3 KB/s"));
    EXPECT_EQ(SpeedText(2.41 * 1024 * 1024), QStringLiteral("2.41 MB/s"));
    EXPECT_EQ(TimeLeftText(1000, 100), QStringLiteral("00:10"));
    EXPECT_EQ(TimeLeftText(61 * 1000 + 1, 1000), QStringLiteral("01:02"));
    EXPECT_EQ(TimeLeftText(3600LL * 1024 * 2 + 5 * 1024, 1024), QStringLiteral("2:00:05"));
    EXPECT_EQ(TimeLeftText(1000, 0), QString()) << "no speed yet";
    EXPECT_EQ(TimeLeftText(-1, 1000), QString()) << "no length";
}
