#include "net/PageSnapshot.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dh;

TEST(PageSnapshot, ReadsEveryPartOfTheScriptAnswer)
{
    const QByteArray json = R"({"url":"http://h/s?q=1","html":"<html><body></body></html>",
        "elements":[
          [0,"LI"," g ",[1,"http://h/a.pdf","Title\n","Title"],"[PDF]\u00a0","[PDF]\u00a0",-1,0,null],
          [2,"DIV","gs_ri",[3,"http://h/b","B",null],null,"",-1,1,["http://h/b.pdf","[PDF]"]],
          [4,"LI","g",null,"x","",1,0,null]],
        "headed":[[8,"http://h/c","C",0,"PDF"],[9,"http://h/d","D",1,""],[-1,"x","x",0,""]],
        "resultLinks":12,
        "nav":[[5,"1","http://h/1"],[6,"Next","http://h/2"]],"pnnext":[7,"http://h/p"],"gsn":null,
        "pagers":[[10,"http://h/s?start=10","Next page"]],"captchaForm":true})";
    const PageSnapshot s = ParsePageSnapshot(json);
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.url, QStringLiteral("http://h/s?q=1"));
    EXPECT_EQ(s.html, QStringLiteral("<html><body></body></html>"));
    ASSERT_EQ(s.elements.size(), 3);

    const SnapElement &first = s.elements[0];
    EXPECT_EQ(first.handle, 0);
    EXPECT_EQ(first.tag, QStringLiteral("LI"));
    EXPECT_EQ(first.className, QStringLiteral(" g "));
    EXPECT_TRUE(first.hasLink);
    EXPECT_EQ(first.linkHandle, 1);
    EXPECT_EQ(first.linkHref, QStringLiteral("http://h/a.pdf"));
    EXPECT_EQ(first.linkText, QStringLiteral("Title\n"));
    EXPECT_TRUE(first.linkHasH3);
    EXPECT_EQ(first.linkH3Text, QStringLiteral("Title"));
    EXPECT_TRUE(first.hasSpan);
    EXPECT_EQ(first.spanText, QString::fromUtf8("[PDF]\u00a0"));
    EXPECT_EQ(first.labelText, QString::fromUtf8("[PDF]\u00a0"));
    EXPECT_FALSE(first.inPack);

    const SnapElement &second = s.elements[1];
    EXPECT_TRUE(second.hasLink);
    EXPECT_FALSE(second.linkHasH3);
    EXPECT_TRUE(second.linkH3Text.isEmpty());
    EXPECT_FALSE(second.hasSpan);
    EXPECT_TRUE(second.labelText.isEmpty());
    EXPECT_TRUE(second.inPack);
    EXPECT_EQ(second.sideHref, QStringLiteral("http://h/b.pdf"));
    EXPECT_EQ(second.sideLabel, QStringLiteral("[PDF]"));

    const SnapElement &third = s.elements[2];
    EXPECT_FALSE(third.hasLink);
    EXPECT_EQ(third.linkHandle, -1);
    EXPECT_TRUE(third.hasSpan);
    EXPECT_EQ(third.parent, 1);

    ASSERT_EQ(s.headedLinks.size(), 2);
    EXPECT_EQ(s.headedLinks[0].href, QStringLiteral("http://h/c"));
    EXPECT_EQ(s.headedLinks[0].headingText, QStringLiteral("C"));
    EXPECT_EQ(s.headedLinks[0].labelText, QStringLiteral("PDF"));
    EXPECT_TRUE(s.headedLinks[1].inPack);
    EXPECT_EQ(s.resultLinks, 12);
    ASSERT_EQ(s.pagerLinks.size(), 1);
    EXPECT_EQ(s.pagerLinks[0].ariaLabel, QStringLiteral("Next page"));
    EXPECT_EQ(s.pagerLinks[0].href, QStringLiteral("http://h/s?start=10"));
    EXPECT_TRUE(s.captchaForm);

    EXPECT_TRUE(s.hasNav);
    ASSERT_EQ(s.navLinks.size(), 2);
    EXPECT_EQ(s.navLinks[1].handle, 6);
    EXPECT_EQ(s.navLinks[1].text, QStringLiteral("Next"));
    EXPECT_EQ(s.navLinks[1].href, QStringLiteral("http://h/2"));
    EXPECT_EQ(s.pnnextHandle, 7);
    EXPECT_EQ(s.pnnextHref, QStringLiteral("http://h/p"));
    EXPECT_FALSE(s.hasGsN);
    EXPECT_TRUE(s.gsnLinks.isEmpty());
}

TEST(PageSnapshot, UnusableTextGivesAnInvalidSnapshot)
{
    for (const char *text :
         {"", "null", "[]", "{}", "\"text\"", R"({"url":"http://h/"})", R"({"url":5,"html":""})",
          R"({"url":"http://h/","html":"<html>")", "\xff\xfe{"}) {
        const PageSnapshot s = ParsePageSnapshot(QByteArray(text));
        EXPECT_FALSE(s.valid) << text;
        EXPECT_TRUE(s.elements.isEmpty()) << text;
        EXPECT_EQ(s.pnnextHandle, -1) << text;
    }
}

TEST(PageSnapshot, MalformedEntriesAreSkippedAndTheRestKept)
{
    const QByteArray json = R"({"url":"u","html":"h","elements":[
          [0,"LI","g"],
          [-1,"LI","g",null,null,""],
          [1.5,"LI","g",null,null,""],
          "junk",
          [2,"LI","g",[3,"x"],null,""],
          [4,"DIV","g",[-3,"x","t",null],7,""],
          [5,"LI","g",null,null,""]],
        "nav":[[1,"a"],["x","b"],[2]],"pnnext":"7","gsn":{}})";
    const PageSnapshot s = ParsePageSnapshot(json);
    ASSERT_TRUE(s.valid);
    ASSERT_EQ(s.elements.size(), 3);
    EXPECT_EQ(s.elements[0].handle, 2);
    EXPECT_FALSE(s.elements[0].hasLink); // link with too few fields
    EXPECT_EQ(s.elements[1].handle, 4);
    EXPECT_FALSE(s.elements[1].hasLink); // negative link handle
    EXPECT_FALSE(s.elements[1].hasSpan); // span text not a string
    EXPECT_EQ(s.elements[2].handle, 5);
    ASSERT_EQ(s.navLinks.size(), 1);
    EXPECT_EQ(s.navLinks[0].text, QStringLiteral("a"));
    EXPECT_EQ(s.pnnextHandle, -1);
    EXPECT_FALSE(s.hasGsN);
}
