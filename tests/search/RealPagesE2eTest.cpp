// The extraction rules over real saved result pages, read by the real browser
// view from the local test server (which serves them as UTF-8). One engine
// start for all pages; every page's outcome is printed so a change shows.
#include "net/WebBrowserView.h"
#include "search/PageExtractor.h"
#include "support/FixtureTables.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/Wait.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

// The page table below leaves trailing fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace dh;

namespace {

struct Row {
    QString title, url, type;
};

// What one page must give.
struct Expected {
    QString file;
    bool scholar = false;
    int rows = 0;
    bool next = false;
    bool captcha = false;
    int typed = 0;             // rows with a type
    QStringList titles;        // some titles that must be listed
    QStringList urls;          // some URLs that must be listed; "/…" is on the test server
    QString servedAt;          // path to serve the page at instead of /fixture/<file>
    int multiLine = 0;         // titles whose link text spans lines (taken as rendered)
};

QList<Expected> Pages()
{
    QList<Expected> pages;
    auto add = [&](Expected e) { pages << e; };
    add({QStringLiteral("web-2010-li-direct-nav.html"), false, 12, true, false, 0,
         {QStringLiteral("News results for ipod"), QStringLiteral("Shopping results for ipod"),
          QStringLiteral("iPod - Wikipedia, the free encyclopedia")},
         {QStringLiteral("http://en.wikipedia.org/wiki/IPod"),
          QStringLiteral("http://www.blendtec.com/willitblend/videos.aspx?type=unsafe&video=ipod")}});
    // An ftp target is not unwrapped; the tag is "[PDF]" plus a no-break space.
    add({QStringLiteral("web-2013-li-redirect-ftp-pdf.html"), false, 1, false, false, 1, {QStringLiteral("техника")},
         {QStringLiteral("/url?q=ftp://os2.fannet.ru/Boating/books/kija-new/2009-06%2520(222).pdf&sa=U"
                         "&ei=k_0kUpX9GYiQtQaS-oHYDw&ved=0CBoQFjAAOAo&usg=AFQjCNGiOO-OBkpKwSW-yWKnRCZhxOt28g")}});
    add({QStringLiteral("web-2015-li-redirect-pdf-rtf.html"), false, 100, false, false, 3, {},
         {QStringLiteral("http://www.melisendediamonds.com/goods/w8fkoa4sa_mrtu8u.t51"),
          QStringLiteral("https://www.bigam.ru/catalog/4718/")}});
    add({QStringLiteral("web-2016-div-direct-pdf.html"), false, 29, false, false, 2, {}, {}});
    add({QStringLiteral("web-2019-div-redirect-nav.html"), false, 8, true, false, 0,
         {QStringLiteral("Google (@Google) | Twitter")},
         {QStringLiteral("https://twitter.com/google%3Flang%3Den"), QStringLiteral("https://domains.google/")},
         {}, 1});
    add({QStringLiteral("web-2020-div-pnnext.html"), false, 6, true, false, 0,
         {QStringLiteral("Browse All of Google's Products & Services - Google")},
         {QStringLiteral("https://about.google/products/")}});
    // Read by the class-token extractor alone.
    add({QStringLiteral("web-2023-div-multiclass-pnnext.html"), false, 8, true, false, 0,
         {QStringLiteral("The Matrix (1999)"), QStringLiteral("The Matrix Resurrections | Official Site")},
         {QStringLiteral("https://www.imdb.com/title/tt0133093/"), QStringLiteral("https://en.wikipedia.org/wiki/The_Matrix")}});
    // The "[PDF]" side link beside a scholar hit is the document, not the landing page.
    add({QStringLiteral("scholar-2016-gs_ri-single-pdf.html"), true, 1, false, false, 1,
         {QStringLiteral("Learning deep architectures for AI")},
         {QStringLiteral("http://sanghv.com/download/soft/machine%20learning,%20artificial%20intelligence,"
                         "%20mathematics%20ebooks/ML/learning%20deep%20architectures%20for%20AI%20(2009).pdf")}});
    // The first hit is a citation without a title link; the page is UTF-8 despite its meta tag.
    add({QStringLiteral("scholar-2020-gs_ri-gs_n.html"), true, 9, true, false, 4,
         {QStringLiteral("Initiation of magmatism during the Cambrian–Ordovician Ross orogeny in southern Victoria Land, "
                         "Antarctica")},
         {}});
    add({QStringLiteral("captcha-2015-sorry-image-en.html"), false, 0, false, true, 0, {}, {}});
    add({QStringLiteral("captcha-2020-recaptcha-en.html"), false, 0, false, true, 0, {}, {}});
    // Russian text only: no marker in the markup.
    add({QStringLiteral("captcha-2015-ru-text-only.html"), false, 0, false, false, 0, {}, {}});
    // The same page where the engine really shows it: the address gives it away.
    add({QStringLiteral("captcha-2015-ru-text-only.html"), false, 0, false, true, 0, {}, {},
         QStringLiteral("/sorry/index")});
    return pages;
}

// One engine start for all pages of a test: the view, the server, the loads seen.
class RealPages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        view.SetSilent(true);
        view.Widget()->resize(1200, 900);
        view.Widget()->show();
        QObject::connect(&view, &BrowserView::documentComplete, &view,
                         [this](const QString &url) { completed.append(url); });
    }
    bool Load(const QString &url)
    {
        const qsizetype before = completed.size();
        view.Navigate(url);
        return WaitUntil([&] { return completed.size() > before && !view.IsBusy(); }, 30000);
    }

    test::TestServer server;
    WebBrowserView view;
    QStringList completed;
};

} // namespace

TEST_F(RealPages, ExtractionOverSavedResultPages)
{

    for (const Expected &page : Pages()) {
        SCOPED_TRACE(page.file.toStdString() + " " + page.servedAt.toStdString());
        QString url = server.FixtureUrl(page.file);
        if (!page.servedAt.isEmpty()) {
            server.AddDocument(page.servedAt, test::DocumentOptions::File(
                                                  QStringLiteral(DH_FIXTURES_DIR "/serp/") + page.file,
                                                  "text/html; charset=utf-8"));
            url = server.Url(page.servedAt + QStringLiteral("?continue=x"));
        }
        ASSERT_TRUE(Load(url));
        const PageSnapshot snapshot = view.Snapshot(30000);
        ASSERT_TRUE(snapshot.valid);

        ExtractOptions options;
        options.scholar = page.scholar;
        QList<Row> rows;
        const QString folder = QStringLiteral("/saved");
        const ExtractResult result = ExtractPageLinks(
            snapshot, folder, options,
            [&](const QString &title, const QString &u, const QString &pageAddress, const QString &type,
                const QString &f, const QString &last) {
                EXPECT_EQ(pageAddress, snapshot.url);
                EXPECT_EQ(f, folder);
                EXPECT_TRUE(last.isEmpty());
                rows.append({title, u, type});
            });
        const int next = FindNextLink(snapshot);

        std::printf("%s%s: elements %lld, rows %d, captcha %d, next %d\n", qPrintable(page.file),
                    qPrintable(page.servedAt), static_cast<long long>(snapshot.elements.size()), result.handed,
                    result.captcha, next >= 0);
        for (const Row &r : rows)
            std::printf("    [%s] %s | %s\n", qPrintable(r.type), qPrintable(r.title), qPrintable(r.url));

        EXPECT_EQ(result.handed, rows.size());
        EXPECT_EQ(rows.size(), page.rows);
        EXPECT_EQ(result.captcha, page.captcha);
        EXPECT_EQ(next >= 0, page.next);
        int typed = 0;
        int multiLine = 0;
        QStringList titles, urls;
        for (const Row &r : rows) {
            typed += r.type.isEmpty() ? 0 : 1;
            multiLine += r.title.contains(QLatin1Char('\n')) ? 1 : 0;
            titles << r.title;
            urls << r.url;
            // Rendered text, not markup: no breadcrumbs, nothing undecoded.
            EXPECT_FALSE(r.title.contains(QStringLiteral(" › "))) << r.title.toStdString();
            EXPECT_FALSE(r.title.contains(QStringLiteral("Ã"))) << r.title.toStdString(); // UTF-8 read as Latin-1
            EXPECT_TRUE(IsUsableLinkUrl(r.url)) << r.url.toStdString();
        }
        EXPECT_EQ(typed, page.typed);
        EXPECT_EQ(multiLine, page.multiLine);
        for (const QString &t : page.titles)
            EXPECT_TRUE(titles.contains(t)) << t.toStdString();
        for (const QString &u : page.urls) {
            const QString want = u.startsWith(QLatin1Char('/')) ? server.Url(u) : u;
            EXPECT_TRUE(urls.contains(want)) << want.toStdString();
        }

        // The next link is the anchor to page two.
        if (next >= 0) {
            server.ClearRequests();
            ASSERT_TRUE(view.Click(next));
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const QStringList targets = server.RequestTargets();
                    return std::any_of(targets.begin(), targets.end(), [](const QString &t) {
                        return t.contains(QLatin1String("start=10"));
                    });
                },
                15000));
            WaitUntil([&] { return !view.IsBusy(); }, 15000);
        }
    }
}

namespace {

// A title as the list shows it: the leading type tag goes to the type column and
// a trailing "..." is dropped (the title names the saved file).
QString ListTitle(QString title)
{
    TakeTitleTypeTag(title);
    title.remove(QStringLiteral("..."));
    return title.simplified();
}

// Path and query, which is what the engine's own address and ours share.
QString PathAndQuery(const QString &url)
{
    const QUrl u(url);
    return u.path() + QLatin1Char('?') + u.query(QUrl::FullyDecoded);
}

QString NextHref(const PageSnapshot &s, const NextPage &next)
{
    if (!next.url.isEmpty())
        return next.url;
    if (next.handle == s.pnnextHandle)
        return s.pnnextHref;
    for (const QList<SnapLink> *links : {&s.navLinks, &s.gsnLinks})
        for (const SnapLink &l : *links)
            if (l.handle == next.handle)
                return l.href;
    return {};
}

} // namespace

// Pages saved 2021-2026 against the truth read from their markup: every organic
// hit listed once with its address, title and type, nothing else, the next page
// and the block page recognised.
TEST_F(RealPages, TodaysLayoutsGiveEveryOrganicHitAndTheNextPage)
{
    const QList<QStringList> pages = test::ReadFixtureTable(QStringLiteral("serp-modern/pages.tsv"));
    const QList<QStringList> expectedRows = test::ReadFixtureTable(QStringLiteral("serp-modern/expected.tsv"));
    ASSERT_EQ(pages.size(), 12);
    ASSERT_GT(expectedRows.size(), 200);


    int rowsRight = 0;
    for (const QStringList &page : pages) {
        ASSERT_GE(page.size(), 5);
        const QString file = page[0];
        SCOPED_TRACE(file.toStdString());
        const QString path = QStringLiteral("/modern/") + file;
        server.AddDocument(path, test::DocumentOptions::File(QStringLiteral(DH_FIXTURES_DIR "/serp-modern/") + file,
                                                             "text/html; charset=utf-8"));
        ASSERT_TRUE(Load(server.Url(path)));
        const PageSnapshot snapshot = view.Snapshot(30000);
        ASSERT_TRUE(snapshot.valid);

        ExtractOptions options; // Check13, Check14, Check15 clear
        options.scholar = file.startsWith(QLatin1String("scholar"));
        // The list keeps the first row of an address.
        QList<Row> rows;
        QSet<QString> listed;
        const ExtractResult result = ExtractPageLinks(
            snapshot, QString(), options,
            [&](const QString &title, const QString &u, const QString &, const QString &type, const QString &,
                const QString &) {
                if (!listed.contains(u)) {
                    listed.insert(u);
                    rows.append({title, u, type});
                }
            });
        std::printf("%s: rows %lld, captcha %d, unreadable %d\n", qPrintable(file), qint64(rows.size()),
                    result.captcha, result.unreadable);

        QHash<QString, Row> want;
        for (const QStringList &e : expectedRows)
            if (e.size() >= 4 && e[0] == file)
                want.insert(e[2], {ListTitle(e[1]), e[2], e[3]});
        EXPECT_EQ(rows.size(), page[1].toInt());
        EXPECT_EQ(rows.size(), want.size());
        for (const Row &r : rows) {
            const auto it = want.constFind(r.url);
            if (it == want.constEnd()) {
                ADD_FAILURE() << "row not on the page: " << r.url.toStdString() << " " << r.title.toStdString();
                continue;
            }
            const bool right = r.title.simplified() == it->title &&
                               r.type.compare(it->type == QLatin1String("DOC") ? QStringLiteral("doc") : it->type,
                                              Qt::CaseInsensitive) == 0;
            EXPECT_EQ(r.title.simplified(), it->title) << r.url.toStdString();
            EXPECT_EQ(r.type.toUpper(), it->type.toUpper()) << r.url.toStdString();
            rowsRight += right ? 1 : 0;
        }
        int typed = 0;
        for (const Row &r : rows)
            typed += r.type.isEmpty() ? 0 : 1;
        EXPECT_EQ(typed, page[2].toInt());

        const NextPage next = FindNextPage(snapshot);
        if (page[3].isEmpty()) {
            EXPECT_FALSE(next.found());
        } else {
            ASSERT_TRUE(next.found());
            EXPECT_EQ(PathAndQuery(NextHref(snapshot, next)), PathAndQuery(page[3]));
        }
        EXPECT_EQ(result.captcha, page[4] == QLatin1String("yes"));
        EXPECT_FALSE(result.unreadable);
    }
    std::printf("rows right %d of %lld\n", rowsRight, qint64(expectedRows.size()));
}
