#include "util/TextCoding.h"
#include "support/QtPrinters.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace dh;

namespace {

QString S(const char *utf8) { return QString::fromUtf8(utf8); }
QString Unit(char16_t u) { return QString(QChar(u)); }
const QString kFffd = Unit(0xFFFD);
const QString kEmoji = S("\xF0\x9F\x98\x80"); // U+1F600, a surrogate pair

} // namespace

TEST(UrlEncodeKeyword, EscapesOnlyTheFiveAsciiCharacters)
{
    EXPECT_EQ(UrlEncodeKeyword(S("a+b 50%")), S("a%2Bb 50%25"));
    EXPECT_EQ(UrlEncodeKeyword(S("x++ & y#")), S("x%2B%2B %26 y%23"));
    EXPECT_EQ(UrlEncodeKeyword(S("100%")), S("100%25"));
    EXPECT_EQ(UrlEncodeKeyword(S("2^10")), S("2%5E10"));
    EXPECT_EQ(UrlEncodeKeyword(S("a?b=c /d:e")), S("a?b=c /d:e"));
    EXPECT_EQ(UrlEncodeKeyword(QString()), QString());
}

TEST(UrlEncodeKeyword, DoubleByteCharactersBecomeUtf8Escapes)
{
    EXPECT_EQ(UrlEncodeKeyword(S("中")), S("%E4%B8%AD"));
    EXPECT_EQ(UrlEncodeKeyword(S("深度 学习 pdf")), S("%E6%B7%B1%E5%BA%A6 %E5%AD%A6%E4%B9%A0 pdf"));
    // The escapes of a character are never escaped again.
    EXPECT_EQ(UrlEncodeKeyword(S("中%")), S("%E4%B8%AD%25"));
    // Characters the code page cannot hold (value "?") and single-byte ones pass.
    EXPECT_EQ(UrlEncodeKeyword(S("한") + kEmoji + S("€")), S("한") + kEmoji + S("€"));
}

TEST(Utf8EscapeText, EscapesByUnitValue)
{
    EXPECT_EQ(Utf8EscapeText(S("  aZ9  ")), S("aZ9"));
    EXPECT_EQ(Utf8EscapeText(S("a b-c")), S("a%20b%2Dc"));
    EXPECT_EQ(Utf8EscapeText(S("é")), S("%E9")); // one byte, not UTF-8
    EXPECT_EQ(Utf8EscapeText(Unit(0x100)), S("%C4%80"));
    EXPECT_EQ(Utf8EscapeText(S("中文")), S("%E4%B8%AD%E6%96%87"));
    EXPECT_EQ(Utf8EscapeText(Unit(0x01)), S("%01"));
    EXPECT_EQ(Utf8EscapeText(QString()), QString());
}

TEST(Utf8EscapeText, SurrogatesGiveWellFormedUtf8)
{
    EXPECT_EQ(Utf8EscapeText(kEmoji), S("%F0%9F%98%80"));
    EXPECT_EQ(Utf8EscapeText(Unit(0xD83D)), S("%EF%BF%BD"));
    EXPECT_EQ(Utf8EscapeText(Unit(0xDE00) + S("a")), S("%EF%BF%BDa"));
    EXPECT_EQ(Utf8EscapeText(kEmoji.left(1) + kEmoji.left(1)), S("%EF%BF%BD%EF%BF%BD"));
}

TEST(HexToLong, ReadsLikeAHexadecimalLiteral)
{
    EXPECT_EQ(HexToLong(S("7F")), 127);
    EXPECT_EQ(HexToLong(S("7f")), 127);
    EXPECT_EQ(HexToLong(S(" 1A ")), 26);
    EXPECT_EQ(HexToLong(S("FFFF")), -1);
    EXPECT_EQ(HexToLong(S("8000")), -32768);
    EXPECT_EQ(HexToLong(S("fffe")), -2);
    EXPECT_EQ(HexToLong(S("7FFF")), 32767);
    EXPECT_EQ(HexToLong(S("10000")), 65536);
    EXPECT_EQ(HexToLong(S("0FFFF")), 65535);
    EXPECT_EQ(HexToLong(S("FFFFFFFF")), -1);
    EXPECT_EQ(HexToLong(S("7FFFFFFF")), 2147483647);
    for (const char *bad : {"zz", "", "  ", "1 2", "-1", "+1", "0x1", "123456789", "%4"})
        EXPECT_EQ(HexToLong(S(bad)), -1) << bad;
}

TEST(UrlDecodeAuto, DecidesUtf8OrCodePageFromTheText)
{
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%E6%96%87.pdf")), S("中文.pdf"));
    EXPECT_EQ(UrlDecodeAuto(S("%D6%D0%CE%C4.pdf")), S("中文.pdf"));
    // A lone two-byte shape stays the code page ...
    EXPECT_EQ(UrlDecodeAuto(S("%C3%A9")), S("茅"));
    EXPECT_EQ(UrlDecodeAuto(S("%C3%A9")), FromCp936(QByteArray("\xC3\xA9")));
    // ... until a longer sequence proves UTF-8 and everything is read again.
    EXPECT_EQ(UrlDecodeAuto(S("x%C3%A9-%E4%B8%AD")), S("xé-中"));
    EXPECT_EQ(UrlDecodeAuto(S("%C3%A9%E4%B8%AD")), S("é中"));
    // A code-page byte after the proof stays the code page once decided.
    EXPECT_EQ(UrlDecodeAuto(S("%D6%D0%E4%B8%AD")), S("中") + FromCp936(QByteArray("\xE4\xB8")) + kFffd);
}

TEST(UrlDecodeAuto, PlainEscapes)
{
    EXPECT_EQ(UrlDecodeAuto(S("a+b%20c")), S("a b c"));
    EXPECT_EQ(UrlDecodeAuto(S("a+b")), S("a b"));
    EXPECT_EQ(UrlDecodeAuto(S("%u4E2D")), S("中"));
    EXPECT_EQ(UrlDecodeAuto(S("%U4e2d%u6587")), S("中文"));
    EXPECT_EQ(UrlDecodeAuto(S("%uD83D%uDE00")), kEmoji);
    EXPECT_EQ(UrlDecodeAuto(S("%41%7e%09")), S("A~\t"));
    EXPECT_EQ(UrlDecodeAuto(S("%00")), Unit(0));
}

TEST(UrlDecodeAuto, Utf8ModeRules)
{
    // A continuation byte where a lead is expected stands for nothing.
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%80x")), S("中x"));
    // A cut sequence gives U+FFFD and what follows is read on its own.
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%E6%96x")), S("中") + kFffd + S("x"));
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%E6%41")), S("中") + kFffd + S("A"));
    // Four-byte sequences keep their character.
    EXPECT_EQ(UrlDecodeAuto(S("%F0%9F%98%80.txt")), kEmoji + S(".txt"));
    // Overlong and surrogate forms are refused.
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%C0%AE%C0%AF")), S("中") + kFffd + kFffd);
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%ED%A0%80")), S("中") + kFffd);
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%F8%88%80%80%80")), S("中") + kFffd);
}

TEST(UrlDecodeAuto, CodePageModeRules)
{
    // An unescaped trail byte is taken as it stands.
    EXPECT_EQ(UrlDecodeAuto(S("%81@")), FromCp936(QByteArray("\x81\x40")));
    EXPECT_EQ(UrlDecodeAuto(S("%81@")).size(), 1);
    // A lead before a character of two bytes, or at the end, loses nothing else.
    EXPECT_EQ(UrlDecodeAuto(S("%D6中")), kFffd + S("中"));
    EXPECT_EQ(UrlDecodeAuto(S("ab%D6")), S("ab") + kFffd);
    EXPECT_EQ(UrlDecodeAuto(S("%D6%zz")), kFffd + S("%zz"));
    EXPECT_EQ(UrlDecodeAuto(S("%80")), S("€"));
}

TEST(UrlDecodeAuto, MalformedEscapesStayAsText)
{
    EXPECT_EQ(UrlDecodeAuto(S("%")), S("%"));
    EXPECT_EQ(UrlDecodeAuto(S("%z")), S("%z"));
    EXPECT_EQ(UrlDecodeAuto(S("50%off.pdf")), S("50%off.pdf"));
    EXPECT_EQ(UrlDecodeAuto(S("%u12")), S("%u12"));
    EXPECT_EQ(UrlDecodeAuto(S("%u12x4")), S("%u12x4"));
    EXPECT_EQ(UrlDecodeAuto(S("%4")), S("%4"));
    EXPECT_EQ(UrlDecodeAuto(S("%E4")), kFffd);
    EXPECT_EQ(UrlDecodeAuto(S("%E4%B8%AD%E4")), S("中") + kFffd);
}

TEST(UrlDecodeUtf8, RunsOfByteEscapesAreUtf8)
{
    EXPECT_EQ(UrlDecodeUtf8(S("%E4%B8%AD+x")), S("中 x"));
    EXPECT_EQ(UrlDecodeUtf8(S("%u4e2d")), S("中"));
    EXPECT_EQ(UrlDecodeUtf8(S("a%20b%E6%96%87.pdf")), S("a b文.pdf"));
    // "%u" escapes split the byte runs.
    EXPECT_EQ(UrlDecodeUtf8(S("%E4%B8%u4e2d%AD")),
              Utf8ToText(QByteArray("\xE4\xB8")) + S("中") + Utf8ToText(QByteArray("\xAD")));
    // Only the lower-case "u" starts a unit escape.
    EXPECT_EQ(UrlDecodeUtf8(S("%U4e2d")), S("%U4e2d"));
    // A zero byte ends its run.
    EXPECT_EQ(UrlDecodeUtf8(S("%41%00%42x")), S("Ax"));
    EXPECT_EQ(UrlDecodeUtf8(S("%FF")), kFffd);
    EXPECT_EQ(UrlDecodeUtf8(S("%F0%9F%98%80")), kEmoji);
}

TEST(UrlDecodeUtf8, KeepsWhatIsNotAnEscape)
{
    EXPECT_EQ(UrlDecodeUtf8(S("%E4%B8%AD%zz%E6%96%87")), S("中%zz文"));
    EXPECT_EQ(UrlDecodeUtf8(S("100%")), S("100%"));
    EXPECT_EQ(UrlDecodeUtf8(S("%u12")), S("%u12"));
    EXPECT_EQ(UrlDecodeUtf8(S("%E4")), kFffd);
    // Characters outside the code page are no longer turned into "?".
    EXPECT_EQ(UrlDecodeUtf8(S("한글") + kEmoji), S("한글") + kEmoji);
}

TEST(Utf8ToText, StopsAtTheFirstZeroByte)
{
    EXPECT_EQ(Utf8ToText(QByteArray()), QString());
    EXPECT_EQ(Utf8ToText(QByteArray("\xE4\xB8\xAD")), S("中"));
    EXPECT_EQ(Utf8ToText(QByteArray("abc\0def", 7)), S("abc"));
    EXPECT_EQ(Utf8ToText(QByteArray("\0abc", 4)), QString());
    EXPECT_TRUE(Utf8ToText(QByteArray("a\xC3")).startsWith(u'a'));
    EXPECT_TRUE(Utf8ToText(QByteArray("a\xC3")).contains(QChar(0xFFFD)));
}

TEST(StripLineBreaks, RemovesBreaksTabsAndOuterSpaces)
{
    const QString withNul = S("  a\r\nb\tc") + Unit(0) + S("d\re\nf  ");
    EXPECT_EQ(StripLineBreaks(withNul), S("abcdef"));
    EXPECT_EQ(StripLineBreaks(S("\t  x y  \r\n")), S("x y"));
    EXPECT_EQ(StripLineBreaks(S("\r\n\t ")), QString());
    EXPECT_EQ(StripLineBreaks(S("文件 名")), S("文件 名"));
}

TEST(LeftAnsiBytes, CutsAtCharacterBoundaries)
{
    const QString ascii(300, u'a');
    EXPECT_EQ(LeftAnsiBytes(ascii, 200), ascii.left(200));
    const QString chinese(300, QChar(u'中'));
    EXPECT_EQ(LeftAnsiBytes(chinese, 200), chinese.left(100));
    EXPECT_EQ(LeftAnsiBytes(chinese, 201), chinese.left(100));
    EXPECT_EQ(LeftAnsiBytes(S("a中b"), 2), S("a"));
    EXPECT_EQ(LeftAnsiBytes(S("a中b"), 3), S("a中"));
    EXPECT_EQ(LeftAnsiBytes(S("a中b"), 99), S("a中b"));
    EXPECT_EQ(LeftAnsiBytes(S("a") + kEmoji, 2), S("a"));
    EXPECT_EQ(LeftAnsiBytes(S("a") + kEmoji, 3), S("a") + kEmoji);
    EXPECT_EQ(LeftAnsiBytes(S("한a"), 1), QString());
    EXPECT_EQ(LeftAnsiBytes(S("abc"), 0), QString());
    EXPECT_EQ(LeftAnsiBytes(S("abc"), -5), QString());
}

TEST(LeftAnsiBytes, AlwaysAPrefixThatFits)
{
    const QString mixed = S("Deep 学习 ") + kEmoji + S("한€é") + Unit(0xD800) + S("x中");
    for (int n = 0; n <= 40; ++n) {
        const QString cut = LeftAnsiBytes(mixed, n);
        ASSERT_TRUE(mixed.startsWith(cut)) << n;
        int width = 0;
        for (qsizetype i = 0; i < cut.size(); ++i) {
            const bool pair = cut[i].isHighSurrogate() && i + 1 < cut.size() && cut[i + 1].isLowSurrogate();
            width += Cp936Width(cut.mid(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
        EXPECT_LE(width, n);
        const bool splitsPair = !cut.isEmpty() && cut.size() < mixed.size() && cut.back().isHighSurrogate()
            && mixed[cut.size()].isLowSurrogate();
        EXPECT_FALSE(splitsPair) << n;
        if (cut.size() < mixed.size()) { // the next character would not have fitted
            EXPECT_GT(width + Cp936Width(mixed.mid(cut.size(), 2)), n) << n;
        }
    }
}

TEST(Cp936, ConvertsThroughTheCodePage)
{
    EXPECT_EQ(ToCp936(S("中文a")), QByteArray("\xD6\xD0\xCE\xC4" "a"));
    EXPECT_EQ(FromCp936(QByteArray("\xD6\xD0\xCE\xC4" "a")), S("中文a"));
    EXPECT_EQ(ToCp936(S("한") + kEmoji + Unit(0xD800)), QByteArray("???"));
    EXPECT_EQ(FromCp936(QByteArray("\xD6")), kFffd);
    EXPECT_EQ(ToCp936(QString()), QByteArray());
    EXPECT_EQ(FromCp936(QByteArray()), QString());

    EXPECT_EQ(Cp936Value(QChar(u'a')), 97);
    EXPECT_EQ(Cp936Value(QChar(u'中')), qint16(0xD6D0));
    EXPECT_EQ(Cp936Value(QChar(u'한')), 63);
    EXPECT_EQ(Cp936Value(QChar(0xD83D)), 63);
    EXPECT_EQ(Cp936Width(S("a")), 1);
    EXPECT_EQ(Cp936Width(S("?")), 1);
    EXPECT_EQ(Cp936Width(S("€")), 1);
    EXPECT_EQ(Cp936Width(S("中")), 2);
    EXPECT_EQ(Cp936Width(S("한")), 2);
    EXPECT_EQ(Cp936Width(kEmoji), 2);
    EXPECT_EQ(Cp936Width(QString()), 0);
}

TEST(TextCoding, EveryRoutineIsTotal)
{
    QString big;
    big.reserve(1 << 20);
    const QString piece = S("中文%E4%B8%AD+%D6%D0%u4E2D%zz%") + Unit(0) + Unit(0xD800) + S("a\r\n") + kEmoji;
    while (big.size() < (1 << 20))
        big += piece;
    const QStringList inputs = {QString(), S("%"), S("%z"), S("%u12"), S("%E4"), S("%%%"), S("%u"),
                                Unit(0), Unit(0xD800), Unit(0xDFFF) + Unit(0xD800), S("%C3"),
                                S("%C3%A9%E4"), S("%F0%9F%98"), S("%FE%FF"), S("+%2"), big};
    for (const QString &in : inputs) {
        SCOPED_TRACE(in.left(20).toStdString());
        EXPECT_LE(UrlDecodeAuto(in).size(), in.size());
        EXPECT_LE(UrlDecodeUtf8(in).size(), in.size());
        EXPECT_GE(UrlEncodeKeyword(in).size(), in.size());
        EXPECT_LE(StripLineBreaks(in).size(), in.size());
        EXPECT_TRUE(in.startsWith(LeftAnsiBytes(in, 200)));
        EXPECT_LE(Utf8EscapeText(in).size(), in.size() * 12);
        EXPECT_TRUE(HexToLong(in) == -1 || in.size() <= 8);
        EXPECT_LE(FromCp936(ToCp936(in)).size(), in.size());
        const QByteArray utf8 = in.toUtf8();
        EXPECT_LE(Utf8ToText(utf8).size(), utf8.size());
        EXPECT_LE(FromCp936(utf8).size(), utf8.size());
    }
}
