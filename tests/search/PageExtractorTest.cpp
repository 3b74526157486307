#include "search/PageExtractor.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <utility>

using namespace dh;

namespace {

const QString kPage = QStringLiteral("https://www.google.com/search?q=x&start=10");
const QString kFolder = QStringLiteral("/data/docs");

struct Row {
    QString title, url, page, type, folder, last;
};

struct Collector {
    QList<Row> rows;
    ResultSink Sink() {
        return [this](const QString &t, const QString &u, const QString &p, const QString &ty,
                      const QString &f, const QString &l) {
            rows.append({t, u, p, ty, f, l});
        };
    }
    QStringList Titles() const {
        QStringList out;
        for (const Row &r : rows)
            out << r.title;
        return out;
    }
};

SnapElement Hit(const QString &tag, const QString &cls, const QString &href, const QString &text) {
    static int nextHandle = 1;
    SnapElement e;
    e.handle = nextHandle++;
    e.tag = tag;
    e.className = cls;
    e.hasLink = true;
    e.linkHandle = nextHandle++;
    e.linkHref = href;
    e.linkText = text;
    return e;
}

SnapElement Li(const QString &href, const QString &text) {
    return Hit(QStringLiteral("LI"), QStringLiteral("g"), href, text);
}
SnapElement Div(const QString &href, const QString &text, const QString &cls = QStringLiteral("g")) {
    return Hit(QStringLiteral("DIV"), cls, href, text);
}

SnapElement WithSpan(SnapElement e, const QString &span) {
    e.hasSpan = true;
    e.spanText = span;
    return e;
}

SnapElement WithH3(SnapElement e, const QString &h3) {
    e.linkHasH3 = true;
    e.linkH3Text = h3;
    return e;
}

PageSnapshot Page(QList<SnapElement> elements,
                  const QString &html = QStringLiteral("<html><body></body></html>")) {
    PageSnapshot s;
    s.valid = true;
    s.url = kPage;
    s.html = html;
    s.elements = std::move(elements);
    return s;
}

// The one row a single-hit page yields through the first or second extractor, or an empty row.
Row OneRow(const SnapElement &e, const ExtractOptions &options = {}) {
    Collector c;
    ExtractPageLinks(Page({e}), kFolder, options, c.Sink());
    return c.rows.size() == 1 ? c.rows.front() : Row{};
}

} // namespace

TEST(PageExtractorUrl, RedirectsAreUnwrappedAndDirectLinksKeptWhole) {
    // &amp; first becomes &, then the engine's tail is cut.
    EXPECT_EQ(UnwrapResultUrl(
                  QStringLiteral(" https://www.google.com/url?q=http://a.org/x.pdf&amp;sa=U&amp;ved=0 ")),
              QStringLiteral("http://a.org/x.pdf"));
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("https://m.example/url?url=https://b.org/y.doc&rct=j&q=z")),
              QStringLiteral("https://b.org/y.doc"));
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("https://www.google.com/URL?Q=HTTPS://c.org/z.pdf&sa=U")),
              QStringLiteral("HTTPS://c.org/z.pdf"));
    // No unwrap, no cut: a direct link's own query stays.
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("http://d.org/get.php?id=1&amp;f=a.pdf")),
              QStringLiteral("http://d.org/get.php?id=1&f=a.pdf"));
    // Escapes are not decoded.
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("/url?q=https://twitter.com/google%3Flang%3Den&amp;sa=U")),
              QStringLiteral("https://twitter.com/google%3Flang%3Den"));
    // Only http targets are unwrapped: an ftp redirect stays the engine's whole address.
    const QString ftp = QStringLiteral("https://www.google.com/url?q=ftp://os2.ru/a%2520b.pdf&sa=U&ved=1");
    EXPECT_EQ(UnwrapResultUrl(ftp), ftp);
    // The url parameter anywhere in the query; a target escaped as a whole is decoded once.
    EXPECT_EQ(UnwrapResultUrl(
                  QStringLiteral("https://www.google.com/url?sa=t&source=web&url=https://e.org/a.pdf&ved=2")),
              QStringLiteral("https://e.org/a.pdf"));
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("/url?q=https%3A%2F%2Fe.org%2Fa%2520b.pdf&sa=U")),
              QStringLiteral("https://e.org/a%20b.pdf"));
    // A highlight fragment is no part of the document's address.
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("https://e.org/page#:~:text=attention%20is")),
              QStringLiteral("https://e.org/page"));
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("https://e.org/page#part")),
              QStringLiteral("https://e.org/page#part"));
    // A redirect to the engine's own pages is no document: left as it is.
    EXPECT_EQ(UnwrapResultUrl(QStringLiteral("/url?q=/search%3Fq%3Dx&sa=U")),
              QStringLiteral("/url?q=/search%3Fq%3Dx&sa=U"));
}

TEST(PageExtractorUrl, OnlyDownloadableAddressesAreHandedOver) {
    EXPECT_TRUE(IsUsableLinkUrl(QStringLiteral("ftp://h/a.pdf")));
    EXPECT_TRUE(IsUsableLinkUrl(QStringLiteral("HTTP://h/")));
    Collector c;
    const ExtractResult r =
        ExtractListResults(Page({Li(QStringLiteral("javascript:void(0)"), QStringLiteral("Save")),
                                 Li(QStringLiteral("mailto:a@b.c"), QStringLiteral("Mail")),
                                 Li(QStringLiteral("/relative/only.pdf"), QStringLiteral("Relative")),
                                 Li(QStringLiteral("ftp://files.example/a.pdf"), QStringLiteral("Ftp"))}),
                           kFolder, {}, c.Sink());
    EXPECT_EQ(r.handed, 1);
    EXPECT_EQ(c.Titles(), QStringList{QStringLiteral("Ftp")});
}

TEST(PageExtractorType, SpanTagAndUrlEndingInOrder) {
    const QString pdf = QStringLiteral("http://a.org/x.pdf");
    // The later test (".doc") overrides the tag.
    EXPECT_EQ(OneRow(WithSpan(Li(QStringLiteral("http://a.org/x.doc"), QStringLiteral("T")),
                              QStringLiteral("[PDF]")))
                  .type,
              QStringLiteral("doc"));
    // Without a SPAN the path's extension, and a label without brackets, give the type.
    EXPECT_EQ(OneRow(Li(pdf, QStringLiteral("T"))).url, pdf);
    EXPECT_EQ(OneRow(Li(pdf, QStringLiteral("T"))).type, QStringLiteral("PDF"));
    EXPECT_EQ(OneRow(Li(QStringLiteral("http://a.org/view"), QStringLiteral("T"))).type, QString());
    SnapElement labelled = Li(QStringLiteral("http://a.org/view"), QStringLiteral("T"));
    labelled.labelText = QStringLiteral(" PPTX ");
    EXPECT_EQ(OneRow(labelled).type, QStringLiteral("ppt"));
    // Any SPAN lets the ending decide, in any case.
    EXPECT_EQ(OneRow(WithSpan(Li(QStringLiteral("http://a.org/X.PDF"), QStringLiteral("T")),
                              QStringLiteral("Cached")))
                  .type,
              QStringLiteral("PDF"));
    // Basic layout: "[PDF]" then a no-break space.
    EXPECT_EQ(OneRow(WithSpan(Li(QStringLiteral("http://a.org/view"), QStringLiteral("T")),
                              QStringLiteral("[PDF]") + QChar(0x00A0)))
                  .type,
              QStringLiteral("PDF"));
    EXPECT_EQ(OneRow(WithSpan(Li(QStringLiteral("http://a.org/view"), QStringLiteral("T")),
                              QStringLiteral(" [rtf] ")))
                  .type,
              QStringLiteral("rtf"));
    EXPECT_EQ(
        OneRow(WithSpan(Li(QStringLiteral("http://a.org/s.xls"), QStringLiteral("T")), QStringLiteral("x")))
            .type,
        QStringLiteral("xls"));
    EXPECT_EQ(
        OneRow(WithSpan(Li(QStringLiteral("http://a.org/s"), QStringLiteral("T")), QStringLiteral("[PPT]")))
            .type,
        QStringLiteral("ppt"));
}

TEST(PageExtractorTitle, CleaningSpacesOptionAndH3) {
    const QString url = QStringLiteral("http://a.org/t.pdf");
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("  Deep Learning ... Tutorial "))).title,
              QStringLiteral("Deep Learning  Tutorial"));
    ExtractOptions spaces;
    spaces.removeTitleSpaces = true;
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("Deep Learning ... Tutorial")), spaces).title,
              QStringLiteral("DeepLearningTutorial"));
    EXPECT_EQ(OneRow(Li(url, QChar(0x00A0) + QStringLiteral("Nbsp") + QChar(0x00A0))).title,
              QStringLiteral("Nbsp"));
    // The link wraps the title's H3 and a breadcrumb: only the H3 is the title.
    const Row r = OneRow(WithH3(Div(url, QStringLiteral("Google Products\nabout.google › products")),
                                QStringLiteral(" Google Products ")));
    EXPECT_EQ(r.title, QStringLiteral("Google Products"));
    // An H3 flag with an empty H3 leaves no title.
    EXPECT_EQ(OneRow(WithH3(Div(url, QStringLiteral("text")), QString())).title, QString());
}

TEST(PageExtractorTitle, SharingSiteTitlesAreNeverListed) {
    const QString url = QStringLiteral("http://a.org/t.pdf");
    ExtractOptions all;
    all.removeTitleSpaces = all.toSimplified = true;
    for (const QString &title :
         {QStringLiteral("机器学习-百度文库"), QStringLiteral("机器学习_百度文库"),
          QStringLiteral("论文-豆丁网"), QStringLiteral("论文-道客巴巴"),
          QStringLiteral("论文 DOCIN.COM豆丁网"), QStringLiteral("论文docin.com豆丁网")}) {
        EXPECT_TRUE(IsSharingSiteTitle(title)) << title.toStdString();
        EXPECT_EQ(OneRow(Li(url, title)).url, QString()) << title.toStdString();
        EXPECT_EQ(OneRow(Li(url, title), all).url, QString()) << title.toStdString();
    }
    // Only the endings count.
    EXPECT_FALSE(IsSharingSiteTitle(QStringLiteral("百度文库-使用说明")));
    EXPECT_FALSE(IsSharingSiteTitle(QStringLiteral("论文豆丁网")));
    EXPECT_FALSE(IsSharingSiteTitle(QStringLiteral("docin.com 豆丁网")));
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("百度文库-使用说明"))).title,
              QStringLiteral("百度文库-使用说明"));
}

TEST(PageExtractorFilters, OptionsAndConversionOrder) {
    const QString url = QStringLiteral("http://a.org/t.pdf");
    const QString traditional = QStringLiteral("機器學習講義");
    ExtractOptions o;
    o.dropUnknownType = true;
    EXPECT_EQ(OneRow(Li(QStringLiteral("http://a.org/t"), QStringLiteral("T")), o).url, QString());
    EXPECT_EQ(OneRow(WithSpan(Li(url, QStringLiteral("T")), QString()), o).type, QStringLiteral("PDF"));

    o = {};
    o.noJapanese = true;
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("深層学習のチュートリアル")), o).url, QString());
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("深度学习教程")), o).title, QStringLiteral("深度学习教程"));

    o = {};
    o.toSimplified = true;
    EXPECT_EQ(OneRow(Li(url, traditional), o).title, QStringLiteral("机器学习讲义"));
    // The traditional test runs before the conversion.
    o.noTraditional = true;
    EXPECT_EQ(OneRow(Li(url, traditional), o).url, QString());
    o.toSimplified = false;
    EXPECT_EQ(OneRow(Li(url, traditional), o).url, QString());
    EXPECT_EQ(OneRow(Li(url, traditional)).title, traditional);
    // The sharing-site test sees the converted title.
    o = {};
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("講義-豆丁網"))).title, QStringLiteral("講義-豆丁網"));
    o.toSimplified = true;
    EXPECT_EQ(OneRow(Li(url, QStringLiteral("講義-豆丁網")), o).url, QString());
}

TEST(PageExtractorHits, ClassTestsAndHandOverFields) {
    Collector c;
    PageSnapshot page = Page({Hit(QStringLiteral("LI"), QStringLiteral(" G "), QStringLiteral("http://a/1"),
                                  QStringLiteral("One")),
                              Hit(QStringLiteral("LI"), QStringLiteral("g x"), QStringLiteral("http://a/2"),
                                  QStringLiteral("Two")),
                              Hit(QStringLiteral("LI"), QStringLiteral("gs_ri"), QStringLiteral("http://a/3"),
                                  QStringLiteral("Three")),
                              Hit(QStringLiteral("DIV"), QStringLiteral("g"), QStringLiteral("http://a/4"),
                                  QStringLiteral("Four"))});
    const ExtractResult r = ExtractListResults(page, kFolder, {}, c.Sink());
    EXPECT_EQ(r.handed, 1);
    EXPECT_FALSE(r.captcha);
    ASSERT_EQ(c.rows.size(), 1);
    const Row &row = c.rows.front();
    EXPECT_EQ(row.title, QStringLiteral("One"));
    EXPECT_EQ(row.url, QStringLiteral("http://a/1"));
    EXPECT_EQ(row.page, kPage);
    EXPECT_EQ(row.folder, kFolder);
    EXPECT_EQ(row.last, QString());

    c.rows.clear();
    page.elements << Div(QStringLiteral("http://a/5"), QStringLiteral("Five"), QStringLiteral(" GS_RI"))
                  << Div(QStringLiteral("http://a/6"), QStringLiteral("Six"), QStringLiteral("gs_r"));
    EXPECT_EQ(ExtractDivResults(page, kFolder, {}, c.Sink()).handed, 2);
    EXPECT_EQ(c.Titles(), (QStringList{QStringLiteral("Four"), QStringLiteral("Five")}));
}

TEST(PageExtractorHits, ListHitHandedBlocksTheDivExtractor) {
    const SnapElement div =
        Div(QStringLiteral("http://a/d.pdf"), QStringLiteral("Div"), QStringLiteral("gs_ri"));
    // The same link twice: the sink (the list) would drop the second, but both count as handed.
    const SnapElement li = Li(QStringLiteral("http://a/l.pdf"), QStringLiteral("Li"));
    Collector c;
    ExtractResult r = ExtractPageLinks(Page({li, li, div}), kFolder, {}, c.Sink());
    EXPECT_EQ(r.handed, 2);
    EXPECT_EQ(c.Titles(), (QStringList{QStringLiteral("Li"), QStringLiteral("Li")}));

    // An LI hit that the filters drop hands nothing, so the DIV hits are read.
    c.rows.clear();
    r = ExtractPageLinks(Page({Li(QStringLiteral("http://a/l.pdf"), QStringLiteral("x-百度文库")), div}),
                         kFolder, {}, c.Sink());
    EXPECT_EQ(r.handed, 1);
    EXPECT_EQ(c.Titles(), QStringList{QStringLiteral("Div")});
}

TEST(PageExtractorCaptcha, MarkersOfEachExtractor) {
    const QList<SnapElement> hits = {Li(QStringLiteral("http://a/1.pdf"), QStringLiteral("One")),
                                     Div(QStringLiteral("http://a/2.pdf"), QStringLiteral("Two"))};
    auto run = [&](const QString &html, bool scholar, const QString &url = kPage) {
        PageSnapshot page = Page(hits, html);
        page.url = url;
        ExtractOptions o;
        o.scholar = scholar;
        Collector c;
        const ExtractResult list = ExtractListResults(page, kFolder, o, c.Sink());
        const ExtractResult div = ExtractDivResults(page, kFolder, o, c.Sink());
        c.rows.clear();
        const ExtractResult all = ExtractPageLinks(page, kFolder, o, c.Sink());
        // A block page never yields rows.
        EXPECT_EQ(all.captcha, list.captcha || div.captcha);
        if (all.captcha) {
            EXPECT_TRUE(c.rows.isEmpty());
        }
        return std::pair{list.captcha, div.captcha};
    };
    using P = std::pair<bool, bool>;
    // The Chinese sentence wins over the hits on the page.
    EXPECT_EQ(run(QStringLiteral("<p>我们的系统检测到您的计算机网络中存在异常流量。</p>"), false),
              P(true, false));
    EXPECT_EQ(
        run(QStringLiteral("our systems have DETECTED unusual traffic from your computer network."), false),
        P(true, false));
    EXPECT_EQ(run(QStringLiteral("<img src=\"/Sorry/Image?id=1\">"), false), P(true, true));
    EXPECT_EQ(run(QStringLiteral("<img src=\"/sorry/image?x=1\">"), false), P(true, false));
    // The scholar text only counts in the scholar window, and only in the first extractor.
    EXPECT_EQ(run(QStringLiteral("请进行人机身份验证"), false), P(false, false));
    EXPECT_EQ(run(QStringLiteral("请进行人机身份验证"), true), P(true, false));
    // Block pages the old markers miss: the check form or widget, the address.
    {
        PageSnapshot page = Page(hits);
        page.captchaForm = true;
        EXPECT_TRUE(IsListCaptchaPage(page, false));
        EXPECT_TRUE(IsDivCaptchaPage(page));
        EXPECT_TRUE(ExtractPageLinks(page, kFolder, {}, {}).captcha);
    }
    EXPECT_EQ(run(QStringLiteral("Your Computer or Network May Be Sending Automated Queries."), false),
              P(true, true));
    EXPECT_EQ(run(QString(), false, QStringLiteral("https://www.google.com/sorry/index?continue=x")),
              P(true, true));
    EXPECT_EQ(run(QString(), false, QStringLiteral("https://www.google.com/search?q=/sorry/")),
              P(false, false));
    EXPECT_EQ(run(QStringLiteral("Мы зарегистрировали подозрительный трафик"), false), P(false, false));
}

TEST(PageExtractorNext, NavPnnextAndGsN) {
    PageSnapshot s;
    s.valid = true;
    EXPECT_EQ(FindNextLink(s), -1);
    s.hasNav = true;
    s.navLinks = {{1, QStringLiteral("2"), {}, {}},
                  {2, QStringLiteral("\r\n  NEXT "), {}, {}},
                  {3, QStringLiteral("Next"), {}, {}}};
    s.pnnextHandle = 9;
    EXPECT_EQ(FindNextLink(s), 2);
    s.navLinks = {{-1, QStringLiteral("下一页"), {}, {}}, {4, QStringLiteral("下一页"), {}, {}}};
    EXPECT_EQ(FindNextLink(s), 4);
    // Another language in "nav": the later steps still apply.
    s.navLinks = {{5, QStringLiteral("Weiter"), {}, {}}};
    EXPECT_EQ(FindNextLink(s), 9);
    s.pnnextHandle = -1;
    EXPECT_EQ(FindNextLink(s), -1);
    s.hasGsN = true;
    s.gsnLinks = {{6, QStringLiteral("1"), {}, {}}, {7, QStringLiteral("Next"), {}, {}}};
    EXPECT_EQ(FindNextLink(s), 7);
    s.gsnLinks = {{8, QStringLiteral("Next page"), {}, {}}};
    EXPECT_EQ(FindNextLink(s), -1);
}

namespace {
SnapHeadedLink Headed(const QString &href, const QString &heading, const QString &label = {},
                      bool inPack = false) {
    static int nextHandle = 5000;
    return {nextHandle++, href, heading, inPack, label};
}
} // namespace

TEST(PageExtractorHeaded, ReadsTodaysLayoutsWithTypesAndTitles) {
    PageSnapshot page = Page({});
    page.headedLinks = {
        Headed(QStringLiteral("https://a.org/matrix"), QStringLiteral("The  Matrix\n")),
        Headed(QStringLiteral("https://a.org/view?id=3"), QStringLiteral("Labelled"), QStringLiteral("PDF")),
        Headed(QStringLiteral("https://a.org/b.DOCX?dl=1#p2"), QStringLiteral("Report ...")),
        Headed(QStringLiteral("/url?q=https://a.org/s.PPT%3Fv%3D1&amp;sa=U"), QStringLiteral("Slides")),
        Headed(QStringLiteral("https://a.org/g"), QStringLiteral("[PDF] UNFCCC guide")),
        Headed(QStringLiteral("https://a.org/x.xlsx"), QStringLiteral("[HTML] Sheet")),
        // Never rows: packs, the engine's own pages, what the first extractors handed over.
        Headed(QStringLiteral("https://a.org/answer"), QStringLiteral("Answer"), {}, true),
        Headed(QStringLiteral("https://www.google.com/search?q=hotel&tbm=isch"), QStringLiteral("Images")),
        Headed(QStringLiteral("https://a.org/matrix"), QStringLiteral("Again")),
    };
    Collector c;
    const ExtractResult r = ExtractPageLinks(page, kFolder, {}, c.Sink());
    EXPECT_FALSE(r.captcha);
    EXPECT_EQ(r.handed, 6);
    ASSERT_EQ(c.rows.size(), 6);
    EXPECT_EQ(c.Titles(), (QStringList{QStringLiteral("The Matrix"), QStringLiteral("Labelled"),
                                       QStringLiteral("Report"), QStringLiteral("Slides"),
                                       QStringLiteral("UNFCCC guide"), QStringLiteral("[HTML] Sheet")}));
    EXPECT_EQ(c.rows[0].type, QString());
    EXPECT_EQ(c.rows[1].type, QStringLiteral("PDF"));
    EXPECT_EQ(c.rows[2].type, QStringLiteral("doc"));
    EXPECT_EQ(c.rows[3].url, QStringLiteral("https://a.org/s.PPT%3Fv%3D1"));
    EXPECT_EQ(c.rows[3].type, QString()); // the escaped "?" is part of the path
    EXPECT_EQ(c.rows[4].type, QStringLiteral("PDF"));
    EXPECT_EQ(c.rows[5].type, QStringLiteral("xls"));
    EXPECT_EQ(c.rows[0].page, kPage);
    EXPECT_EQ(c.rows[0].folder, kFolder);
}

TEST(PageExtractorHeaded, AddsOnlyWhatTheFirstExtractorsDidNotHandOver) {
    // A group hit: the DIV extractor takes the outer hit's first link, the
    // reader adds the nested results of the group.
    SnapElement group =
        WithH3(Div(QStringLiteral("https://a.org/first"), QStringLiteral("x")), QStringLiteral("First"));
    SnapElement packed = Div(QStringLiteral("https://a.org/packed"), QStringLiteral("Packed"));
    packed.inPack = true;
    PageSnapshot page = Page({group, packed});
    page.headedLinks = {Headed(QStringLiteral("https://a.org/first"), QStringLiteral("First")),
                        Headed(QStringLiteral("https://a.org/nested"), QStringLiteral("Nested"))};
    Collector c;
    EXPECT_EQ(ExtractPageLinks(page, kFolder, {}, c.Sink()).handed, 2);
    EXPECT_EQ(c.Titles(), (QStringList{QStringLiteral("First"), QStringLiteral("Nested")}));

    // The filters apply as for every hit; a dropped hit still counts as read.
    c.rows.clear();
    ExtractOptions typed;
    typed.dropUnknownType = true;
    page.elements.clear();
    const ExtractResult r = ExtractPageLinks(page, kFolder, typed, c.Sink());
    EXPECT_EQ(r.handed, 0);
    EXPECT_EQ(r.read, 2);
    EXPECT_FALSE(r.unreadable);
}

TEST(PageExtractorHeaded, UnreadablePagesAreToldFromEmptyOnes) {
    PageSnapshot page = Page({});
    page.resultLinks = 40;
    EXPECT_TRUE(ExtractPageLinks(page, kFolder, {}, {}).unreadable);
    page.html = QStringLiteral("<p>Your search - xyz - did not match any documents.</p>");
    EXPECT_FALSE(ExtractPageLinks(page, kFolder, {}, {}).unreadable);
    page.html.clear();
    page.resultLinks = 0; // an empty results area: nothing found
    EXPECT_FALSE(ExtractPageLinks(page, kFolder, {}, {}).unreadable);
    page.resultLinks = -1; // no results area at all (a blank or foreign page)
    EXPECT_FALSE(ExtractPageLinks(page, kFolder, {}, {}).unreadable);
}

TEST(PageExtractorScholar, SideLinkIsTheDocument) {
    SnapElement pdf =
        Div(QStringLiteral("https://pub.org/landing"), QStringLiteral("Attention"), QStringLiteral("gs_ri"));
    pdf.sideHref = QStringLiteral("https://arxiv.org/pdf/2204.13154");
    pdf.sideLabel = QStringLiteral("[PDF]");
    SnapElement html =
        Div(QStringLiteral("https://pub.org/html"), QStringLiteral("Html side"), QStringLiteral("gs_ri"));
    html.sideHref = QStringLiteral("https://pub.org/full.html");
    html.sideLabel = QStringLiteral("[HTML]");
    SnapElement none =
        Div(QStringLiteral("https://pub.org/none"), QStringLiteral("No side"), QStringLiteral("gs_ri"));
    ExtractOptions scholar;
    scholar.scholar = true;
    Collector c;
    ExtractPageLinks(Page({pdf, html, none}), kFolder, scholar, c.Sink());
    ASSERT_EQ(c.rows.size(), 3);
    EXPECT_EQ(c.rows[0].url, QStringLiteral("https://arxiv.org/pdf/2204.13154"));
    EXPECT_EQ(c.rows[0].type, QStringLiteral("PDF"));
    EXPECT_EQ(c.rows[0].title, QStringLiteral("Attention"));
    EXPECT_EQ(c.rows[0].page, kPage); // the referrer stays the result page
    EXPECT_EQ(c.rows[1].url, QStringLiteral("https://pub.org/html"));
    EXPECT_EQ(c.rows[1].type, QString());
    EXPECT_EQ(c.rows[2].url, QStringLiteral("https://pub.org/none"));
}

TEST(PageExtractorNext, LabelledLinksAndTheSameSearchFurther) {
    PageSnapshot s;
    s.valid = true;
    s.url = QStringLiteral("https://www.google.com/search?q=dell+xps&start=10");
    s.pagerLinks = {{1, {}, QStringLiteral("https://www.google.com/search?q=dell+xps&start=0"), {}},
                    {2, {}, QStringLiteral("https://www.google.com/search?q=other&start=20"), {}},
                    {3, {}, QStringLiteral("https://www.google.com/search?q=dell+xps&start=30"), {}},
                    {4, {}, QStringLiteral("https://www.google.com/search?q=dell+xps&start=20"), {}}};
    NextPage next = FindNextPage(s);
    EXPECT_EQ(next.url, QStringLiteral("https://www.google.com/search?q=dell+xps&start=20"));
    // A labelled link goes first, in any of the engine's languages.
    s.pagerLinks.append({5,
                         {},
                         QStringLiteral("https://www.google.com/search?q=dell&start=10#frag"),
                         QStringLiteral(" Nächste Seite ")});
    next = FindNextPage(s);
    EXPECT_EQ(next.handle, 5);
    EXPECT_EQ(next.url, QStringLiteral("https://www.google.com/search?q=dell&start=10#frag"));
    s.pagerLinks.last().ariaLabel = QStringLiteral("More results");
    EXPECT_EQ(FindNextPage(s).handle, 5);
    s.pagerLinks.last().ariaLabel = QStringLiteral("Page 3");
    EXPECT_EQ(FindNextPage(s).handle, -1);
    // The older forms still come first, and are clicked.
    s.pnnextHandle = 9;
    next = FindNextPage(s);
    EXPECT_EQ(next.handle, 9);
    EXPECT_TRUE(next.url.isEmpty());
    // Nothing further: no next page.
    PageSnapshot last;
    last.valid = true;
    last.url = QStringLiteral("https://www.google.com/search?q=a&start=90");
    last.pagerLinks = {{1, {}, QStringLiteral("https://www.google.com/search?q=a&start=80"), {}}};
    EXPECT_FALSE(FindNextPage(last).found());
}

// The engine writes the program's search as "q=... filetype:pdf" on its
// further pages, and labels the next link in the page's language: the same
// search is found through start= whatever the label says.
TEST(PageExtractorNext, TheEnginesRewrittenSearchIsTheSameSearch) {
    PageSnapshot s;
    s.valid = true;
    s.url = QStringLiteral("https://www.google.com/search?hl=sv&as_q=dell+xps&as_filetype=pdf");
    s.pagerLinks = {
        {1, {}, QStringLiteral("https://www.google.com/search?q=dell+xps+filetype:doc&start=10"), {}},
        {2, {}, QStringLiteral("https://www.google.com/search?q=dell+filetype:pdf&start=10"), {}},
        {3, {}, QStringLiteral("https://www.google.com/search?q=dell+xps+filetype%3Apdf&start=20"), {}},
        {4,
         {},
         QStringLiteral("https://www.google.com/search?q=Dell%20XPS+filetype:pdf&start=10"),
         QStringLiteral("Nästa sida")}};
    NextPage next = FindNextPage(s);
    EXPECT_EQ(next.handle, -1);
    EXPECT_EQ(next.url, QStringLiteral("https://www.google.com/search?q=Dell%20XPS+filetype:pdf&start=10"));

    // An exact phrase comes back quoted.
    s.url = QStringLiteral("https://www.google.com/search?as_epq=dell+xps&as_filetype=pdf&start=10");
    s.pagerLinks = {{1,
                     {},
                     QStringLiteral("https://www.google.com/search?q=%22dell+xps%22+filetype:pdf&start=20"),
                     QStringLiteral("Seuraava sivu")}};
    EXPECT_EQ(FindNextPage(s).url, s.pagerLinks[0].href);
    // Words alone are not the same search as words of a type.
    s.url = QStringLiteral("https://www.google.com/search?q=dell+xps");
    EXPECT_FALSE(FindNextPage(s).found());
}

TEST(PageExtractorBadInput, MissingPartsAndLargePages) {
    Collector c;
    PageSnapshot empty;
    EXPECT_EQ(ExtractPageLinks(empty, kFolder, {}, c.Sink()).handed, 0);
    EXPECT_EQ(FindNextLink(empty), -1);

    SnapElement noLink;
    noLink.tag = QStringLiteral("LI");
    noLink.className = QStringLiteral("g");
    SnapElement noHref = Li(QString(), QStringLiteral("Title"));
    SnapElement noText = Li(QStringLiteral("http://a/x.pdf"), QString());
    SnapElement noTag = Li(QStringLiteral("http://a/y.pdf"), QStringLiteral("NoTag"));
    noTag.tag.clear();
    EXPECT_EQ(ExtractPageLinks(Page({noLink, noHref, noText, noTag}), kFolder, {}, c.Sink()).handed, 0);
    EXPECT_TRUE(c.rows.isEmpty());

    // A null sink still counts.
    EXPECT_EQ(
        ExtractListResults(Page({Li(QStringLiteral("http://a/1"), QStringLiteral("One"))}), kFolder, {}, {})
            .handed,
        1);

    QList<SnapElement> many;
    for (int i = 0; i < 10000; ++i)
        many << Li(QStringLiteral("http://a.org/%1.pdf").arg(i), QStringLiteral("Hit %1").arg(i));
    EXPECT_EQ(ExtractPageLinks(Page(many), kFolder, {}, c.Sink()).handed, 10000);
    ASSERT_EQ(c.rows.size(), 10000);
    EXPECT_EQ(c.rows.back().url, QStringLiteral("http://a.org/9999.pdf"));
}
