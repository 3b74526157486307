#include "util/ChineseScript.h"
#include "support/QtPrinters.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace dh;

namespace {

QString S(const char *utf8) { return QString::fromUtf8(utf8); }
const QString kEmoji = S("\xF0\x9F\x98\x80");

// Table characters without a one-character simplified form in common use;
// they stay as they are.
const QString kKeptAsTheyAre = S("崳胇汆玨畬痺檷蠷鱍");

} // namespace

TEST(HasKana, FindsKatakanaAndHiraganaOnly)
{
    EXPECT_TRUE(HasKana(S("ファイル")));
    EXPECT_TRUE(HasKana(S("機械学習の基礎")));
    EXPECT_FALSE(HasKana(S("中文资料")));
    EXPECT_FALSE(HasKana(S("ー")));
    EXPECT_FALSE(HasKana(QString()));
    for (char16_t u : {0x30A1, 0x30F6, 0x3041, 0x3093})
        EXPECT_TRUE(HasKana(QString(QChar(u)))) << int(u);
    for (char16_t u : {0x30A0, 0x30F7, 0x3040, 0x3094, 0x30FC, 0xFF71})
        EXPECT_FALSE(HasKana(QString(QChar(u)))) << int(u);
}

TEST(HasTraditionalChinese, TableMembership)
{
    EXPECT_TRUE(HasTraditionalChinese(S("萬能")));
    EXPECT_TRUE(HasTraditionalChinese(S("deep 學習")));
    EXPECT_FALSE(HasTraditionalChinese(S("万能")));
    EXPECT_FALSE(HasTraditionalChinese(S("abc")));
    EXPECT_FALSE(HasTraditionalChinese(QString()));
    EXPECT_FALSE(HasTraditionalChinese(S("一中文资料") + kEmoji));
    // Traditional forms that the table does not hold do not count.
    EXPECT_FALSE(HasTraditionalChinese(S("後裡")));
}

TEST(HasTraditionalChinese, TableIsTheFixedText)
{
    const QStringView table = TraditionalCharacters();
    ASSERT_EQ(table.size(), 2170);
    EXPECT_EQ(table.left(6), S("萬與專業叢東"));
    EXPECT_EQ(table.right(4), S("龍龔龕龜"));
    QSet<QChar> distinct(table.begin(), table.end());
    EXPECT_EQ(distinct.size(), 2169);
    EXPECT_EQ(table.count(QChar(u'鹼')), 2);
    for (const QChar c : table) {
        ASSERT_TRUE(c.unicode() >= 0x4E1F && c.unicode() <= 0x9F9C);
        ASSERT_TRUE(HasTraditionalChinese(QString(c))) << QString(c).toStdString();
    }
}

TEST(ToSimplifiedChinese, ConvertsTraditionalCharacters)
{
    EXPECT_EQ(ToSimplifiedChinese(S("機器學習.pdf")), S("机器学习.pdf"));
    EXPECT_EQ(ToSimplifiedChinese(S("萬與專業 東")), S("万与专业 东"));
    EXPECT_EQ(ToSimplifiedChinese(S("机器学习")), S("机器学习"));
    EXPECT_EQ(ToSimplifiedChinese(QString()), QString());
    // Forms the transliterator keeps come from our own small map.
    EXPECT_EQ(ToSimplifiedChinese(S("巹朮灩冑襉鯗鷴")), S("卺术滟胄裥鲞鹇"));
}

TEST(ToSimplifiedChinese, EveryTableCharacterChangesOrIsKnownToStay)
{
    const QString table = TraditionalCharacters().toString();
    const QString simplified = ToSimplifiedChinese(table);
    ASSERT_EQ(simplified.size(), table.size());
    QString kept;
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (simplified[i] == table[i]) {
            kept += table[i];
        } else {
            EXPECT_FALSE(simplified[i].isSurrogate());
            EXPECT_FALSE(HasTraditionalChinese(QString(simplified[i]))) << QString(table[i]).toStdString();
        }
    }
    for (const QChar c : kept)
        EXPECT_TRUE(kKeptAsTheyAre.contains(c)) << QString(c).toStdString();
    EXPECT_EQ(ToSimplifiedChinese(kKeptAsTheyAre), kKeptAsTheyAre);
}

TEST(ToSimplifiedChinese, LeavesEverythingElseAndKeepsTheLength)
{
    const QString loneHigh(QChar(0xD83D));
    const QString loneLow(QChar(0xDE00));
    const QString other = S("ファイル ひらがな Résumé 한글 ") + kEmoji + loneHigh + S("x") + loneLow
        + QString(QChar(0)) + S("?<>|");
    EXPECT_EQ(ToSimplifiedChinese(other), other);

    const QString mixed = S("學") + kEmoji + S("習ノート") + loneLow + S("機");
    const QString out = ToSimplifiedChinese(mixed);
    EXPECT_EQ(out.size(), mixed.size());
    EXPECT_EQ(out, S("学") + kEmoji + S("习ノート") + loneLow + S("机"));
    EXPECT_FALSE(out.contains(u'?'));
}
