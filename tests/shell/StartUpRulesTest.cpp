// Rules of the start-up: which version replies announce a newer version, the
// publisher addresses, and the registry names of the machine preparation.
#include "about/PublisherLinks.h"
#include "shell/MachinePreparation.h"
#include "shell/VersionCheck.h"
#include "support/QtPrinters.h"
#include "util/AppInfo.h"

#include <gtest/gtest.h>

using namespace dh;

TEST(VersionRules, OnlyAHigherThreePartNumberCounts)
{
    const qint64 running = VersionValue(1, 9, 99);
    EXPECT_TRUE(IsNewerVersion(QStringLiteral("2.0.0"), running));
    EXPECT_TRUE(IsNewerVersion(QStringLiteral(" 1.9.100\r\n"), running));
    // The weights let a large revision outrank a minor step.
    EXPECT_TRUE(IsNewerVersion(QStringLiteral("1.8.20000"), running));
    EXPECT_FALSE(IsNewerVersion(QStringLiteral("1.9.99"), running));
    EXPECT_FALSE(IsNewerVersion(QStringLiteral("01.9.99"), running));
    EXPECT_FALSE(IsNewerVersion(QStringLiteral("1.9.98"), running));
    for (const char *ignored :
         {"1.2", "1.2.3.4", "a.b.c", "", "   ", "1.2.x", "1..2", "-1.0.0", "+2.0.0", "2.0.0 beta", "2. 0.0", "2.0.0."})
        EXPECT_FALSE(VersionReplyValue(QString::fromUtf8(ignored))) << ignored;
    // Twenty characters are read; twenty-one or more (after the trim) are not.
    EXPECT_TRUE(VersionReplyValue(QStringLiteral("  123456789012.1234.12\r\n")));
    EXPECT_FALSE(VersionReplyValue(QStringLiteral("1234567890123.1234.12")));
    EXPECT_FALSE(VersionReplyValue(QStringLiteral("000000000000000000002.0.0"))); // 25 characters
    // Huge parts saturate instead of wrapping round to a small number.
    EXPECT_TRUE(IsNewerVersion(QStringLiteral("9999999999999999.0.0"), running));
    EXPECT_EQ(RunningVersionValue(), VersionValue(VersionMajor(), VersionMinor(), VersionRevision()));
    EXPECT_EQ(NewerVersionLabel(QStringLiteral(" 2.0.0 ")), QStringLiteral("有最新版本：V2.0.0可以下载升级"));
}

TEST(VersionRules, PublisherAddresses)
{
    EXPECT_EQ(NewVersionUrl(QString()), QString());
    EXPECT_EQ(ProductPageUrl(QStringLiteral("  ")), QString());
    EXPECT_EQ(NewVersionUrl(QStringLiteral("https://soft.example.com")),
              QStringLiteral("https://soft.example.com/docharvest/newver.txt"));
    EXPECT_EQ(ProductPageUrl(QStringLiteral("https://soft.example.com/tools//")),
              QStringLiteral("https://soft.example.com/tools/docharvest/"));
}

TEST(MachineRules, RegistryNamesAndEmulationNumbers)
{
    const auto path = ParseRegistryPath(QStringLiteral("hkey_local_machine\\SOFTWARE\\Microsoft"));
    ASSERT_TRUE(path);
    EXPECT_EQ(path->root, QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(path->subKey, QStringLiteral("SOFTWARE\\Microsoft"));
    EXPECT_TRUE(ParseRegistryPath(QStringLiteral("HKEY_DYN_DATA\\x")));
    EXPECT_FALSE(ParseRegistryPath(QStringLiteral("SOFTWARE\\Microsoft")));
    EXPECT_FALSE(ParseRegistryPath(QStringLiteral("HKEY_CURRENT_USER\\Software\\")));
    EXPECT_FALSE(ParseRegistryPath(QStringLiteral("HKEY_NOWHERE\\Software")));

    EXPECT_EQ(BrowserEmulationValue(QStringLiteral("ie10"), true), 10001u);
    EXPECT_EQ(BrowserEmulationValue(QStringLiteral("IE10"), false), 10000u);
    EXPECT_EQ(BrowserEmulationValue(QStringLiteral("IE9"), true), 9999u);
    EXPECT_EQ(BrowserEmulationValue(QStringLiteral("IE8"), false), 8000u);
    EXPECT_EQ(BrowserEmulationValue(QStringLiteral("IE7"), true), 7000u);
    EXPECT_FALSE(BrowserEmulationValue(QStringLiteral("IE11"), true));
}
