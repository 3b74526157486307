#include "search/QueryBuilder.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dh;

namespace {
const QString kRights = QStringLiteral(
    "&safe=off&as_rights=%E4%B8%8D%E6%8C%89%E7%85%A7%E8%AE%B8%E5%8F%AF%E8%BF%87%E6%BB%A4");
}

TEST(QueryBuilder, WebUrlKeepsPieceOrderAndSpaces)
{
    const QString url = BuildSearchUrl(Engine::Web, OfficialWebBase, QStringLiteral("zh-CN"),
                                       QStringLiteral("deep learning"), QStringLiteral("pdf"));
    EXPECT_EQ(url, OfficialWebBase + QStringLiteral("?hl=zh-CN") + kRights
                       + QStringLiteral("&as_q=deep learning&as_qdr=all&as_filetype=pdf"));
}

TEST(QueryBuilder, WebQueryPieceFollowsTitleAndPhraseOptions)
{
    auto query = [](bool title, bool phrase, int time) {
        QueryOptions o;
        o.titlesOnly = title;
        o.exactPhrase = phrase;
        o.timeRange = time;
        const QString url = BuildSearchUrl(Engine::Web, QStringLiteral("http://m/search"),
                                           QStringLiteral("en"), QStringLiteral("a&b"), QStringLiteral("doc"), o);
        return url.mid(url.indexOf(QStringLiteral("%BB%A4")) + 6);
    };
    EXPECT_EQ(query(true, true, 2), QStringLiteral("&as_occt=title&as_epq=a%26b&as_qdr=y&as_filetype=doc"));
    EXPECT_EQ(query(true, false, 3), QStringLiteral("&as_occt=title&as_q=a%26b&as_qdr=m&as_filetype=doc"));
    EXPECT_EQ(query(false, true, 4), QStringLiteral("&as_epq=a%26b&as_qdr=w&as_filetype=doc"));
    EXPECT_EQ(query(false, false, 5), QStringLiteral("&as_q=a%26b&as_qdr=d&as_filetype=doc"));
    // no time option selected: no time piece at all
    EXPECT_EQ(query(false, false, 0), QStringLiteral("&as_q=a%26b&as_filetype=doc"));
}

TEST(QueryBuilder, ScholarUrl)
{
    EXPECT_EQ(BuildSearchUrl(Engine::Scholar, OfficialScholarBase, QStringLiteral("zh-CN"),
                             QStringLiteral("C#"), QStringLiteral("doc")),
              OfficialScholarBase + QStringLiteral("?hl=zh-CN&q=C%23+filetype:doc"));
}

TEST(QueryBuilder, MirrorBaseFromUserText)
{
    const QString old = QStringLiteral("http://old.example/search");
    EXPECT_EQ(提取主网址(QStringLiteral("  HTTPS://m.example.org/search?q=x&y=1  "), old),
              QStringLiteral("HTTPS://m.example.org/search"));
    EXPECT_EQ(提取主网址(QStringLiteral("m.example.org/search?"), old), old);
    EXPECT_EQ(提取主网址(QString(), old), old);
    EXPECT_EQ(提取主网址(QStringLiteral("?http://x"), old), old);
    EXPECT_EQ(SelectBase(true, OfficialWebBase, old), OfficialWebBase);
    EXPECT_EQ(SelectBase(false, OfficialWebBase, QString()), QString());
}

TEST(QueryBuilder, KeywordGroupsAndTypeOrder)
{
    EXPECT_EQ(SplitKeywordGroups(QStringLiteral(" a \r\n   \r\nb\r\n\r\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(SplitKeywordGroups(QString()).isEmpty());
    EXPECT_EQ(TickedTypes(false, false, true, false, true), (QStringList{QStringLiteral("ppt"), QStringLiteral("rtf")}));
    EXPECT_EQ(TickedTypes(true, true, true, true, true).join(QLatin1Char(',')), QStringLiteral("pdf,doc,ppt,xls,rtf"));
}
