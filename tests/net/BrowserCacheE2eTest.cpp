// The cache provider over what the real engine writes: pages loaded into a
// real browser view from the local server, then listed, exported, deleted
// and cleared.
#include "net/BrowserCache.h"
#include "net/WebBrowserView.h"
#include "net/WebSession.h"
#include "support/CacheEntries.h"
#include "support/QtPrinters.h"
#include "support/TestHelpers.h"
#include "support/TestServer.h"
#include "util/FileHelpers.h"
#include "util/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool load(WebBrowserView &view, const QString &url) {
    bool done = false;
    const QMetaObject::Connection c =
        QObject::connect(&view, &BrowserView::documentComplete, &view, [&done] { done = true; });
    view.Navigate(url);
    const bool ok = WaitUntil([&] { return done; }, 20000);
    QObject::disconnect(c);
    return ok;
}

QStringList addresses(BrowserCache &cache) {
    return test::ListedAddresses(cache);
}

// The engine writes an entry when its request ends, a moment after the page.
bool waitListed(BrowserCache &cache, const QStringList &wanted) {
    return WaitUntil(
        [&] {
            const QStringList listed = addresses(cache);
            return std::all_of(wanted.begin(), wanted.end(),
                               [&](const QString &a) { return listed.contains(a); });
        },
        15000);
}

const QString kPage =
    QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>缓存页</title></head>"
                   "<body><p>第一页 cached page body</p></body></html>");

} // namespace

TEST(BrowserCacheE2e, PagesOfARealViewAreListedExportedDeletedAndCleared) {
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    const QByteArray pdf = readAll(test::FixturePath(QStringLiteral("files/textract-standardized_text.pdf")));
    ASSERT_FALSE(pdf.isEmpty());
    server.AddDocument(QStringLiteral("/files/report.pdf"),
                       test::DocumentOptions::Bytes(pdf, "application/pdf"));
    server.AddDocument(QStringLiteral("/p/page.html"), test::DocumentOptions::Html(kPage));
    server.AddDocument(QStringLiteral("/p/Cookie-login.html"), test::DocumentOptions::Html(kPage));
    test::DocumentOptions gz =
        test::DocumentOptions::Bytes(test::GzipBytes(kPage.toUtf8()), "text/html; charset=utf-8");
    gz.contentEncoding = "gzip";
    server.AddDocument(QStringLiteral("/gz/packed.html"), gz);

    WebSession::Instance();
    WebBrowserView view;
    const QString pdfUrl = server.DocumentUrl(QStringLiteral("/files/report.pdf"));
    const QString pageUrl = server.DocumentUrl(QStringLiteral("/p/page.html"));
    const QString cookieUrl = server.DocumentUrl(QStringLiteral("/p/Cookie-login.html"));
    const QString gzUrl = server.DocumentUrl(QStringLiteral("/gz/packed.html"));
    for (const QString &url : {pageUrl, pdfUrl, gzUrl, cookieUrl})
        ASSERT_TRUE(load(view, url)) << url.toStdString();

    BrowserCache cache = BrowserCache::ForProfile();
    ASSERT_TRUE(waitListed(cache, {pageUrl, pdfUrl, gzUrl, cookieUrl}))
        << addresses(cache).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(cache.DataFolder().startsWith(InternetCacheFolder()));

    // Each body as a real file, named after the address, with its real length.
    const std::optional<CacheEntry> pdfEntry = cache.Lookup(pdfUrl);
    ASSERT_TRUE(pdfEntry);
    EXPECT_EQ(QFileInfo(pdfEntry->localFile).fileName(), QStringLiteral("report.pdf"));
    EXPECT_EQ(pdfEntry->size, pdf.size());
    EXPECT_TRUE(pdfEntry->localFile.startsWith(BrowserCache::DefaultExportFolder()));
    const QString pdfFile = cache.Materialize(pdfUrl);
    EXPECT_EQ(pdfFile, pdfEntry->localFile);
    EXPECT_EQ(readAll(pdfFile), pdf);

    // The engine keeps the compressed body, listed at its stored size; the
    // file holds the page itself, and once written the list shows its size.
    const std::optional<CacheEntry> gzEntry = cache.Lookup(gzUrl);
    ASSERT_TRUE(gzEntry);
    EXPECT_EQ(gzEntry->size, test::GzipBytes(kPage.toUtf8()).size());
    EXPECT_EQ(readAll(cache.Materialize(gzUrl)), kPage.toUtf8());
    QList<CacheEntry> relisted;
    ASSERT_TRUE(cache.Enumerate(&relisted));
    EXPECT_EQ(cache.Lookup(gzUrl)->size, kPage.toUtf8().size());

    EXPECT_FALSE(cache.Lookup(server.DocumentUrl(QStringLiteral("/never/loaded.pdf"))));

    // Cookie entries stay; a deleted entry leaves the list with its file.
    EXPECT_FALSE(cache.Delete(cookieUrl));
    EXPECT_TRUE(addresses(cache).contains(cookieUrl));
    EXPECT_TRUE(cache.Delete(pdfUrl));
    EXPECT_FALSE(addresses(cache).contains(pdfUrl));
    EXPECT_FALSE(QFileInfo::exists(pdfFile));
    EXPECT_TRUE(cache.Materialize(pdfUrl).isEmpty());
    EXPECT_TRUE(addresses(cache).contains(pageUrl));

    // The engine goes on caching after an entry was taken from under it.
    ASSERT_TRUE(load(view, pdfUrl));
    EXPECT_TRUE(waitListed(cache, {pdfUrl}));

    // Clearing through the engine empties the cache.
    BrowserCache::ClearEngineCache();
    EXPECT_TRUE(WaitUntil([&] { return addresses(cache).isEmpty(); }, 15000))
        << addresses(cache).join(QLatin1Char(' ')).toStdString();
    const QString after = server.DocumentUrl(QStringLiteral("/p/after.html"));
    server.AddDocument(QStringLiteral("/p/after.html"), test::DocumentOptions::Html(kPage));
    ASSERT_TRUE(load(view, after));
    EXPECT_TRUE(waitListed(cache, {after}));
}

// Damaged copies of an entry the engine really wrote: every cut and many
// overwritten bytes are either read consistently or skipped, never a crash.
// (A page, not a document: the engine can crash when its process ends right
// after a document load it turned into a download.)
TEST(BrowserCacheE2e, DamagedCopiesOfARealEntryAreSkippedNotTrusted) {
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    const QByteArray page = kPage.toUtf8();
    server.AddDocument(QStringLiteral("/d/damaged.html"),
                       test::DocumentOptions::Bytes(page, "text/html; charset=utf-8"));
    const QString url = server.DocumentUrl(QStringLiteral("/d/damaged.html"));
    WebSession::Instance();
    WebBrowserView view;
    ASSERT_TRUE(load(view, url));
    BrowserCache live = BrowserCache::ForProfile();
    ASSERT_TRUE(waitListed(live, {url}));
    QString entryFile;
    for (const QString &name : QDir(live.DataFolder()).entryList({QStringLiteral("*_0")})) {
        const auto e = ReadSimpleCacheEntry(QDir(live.DataFolder()).filePath(name));
        if (e && e->address == url)
            entryFile = e->file;
    }
    ASSERT_FALSE(entryFile.isEmpty());
    const QByteArray real = readAll(entryFile);

    auto parse = [](const QByteArray &bytes) {
        return ParseSimpleCacheEntry(bytes.size(), [&bytes](qint64 offset, qint64 length) {
            return offset < 0 || offset > bytes.size() ? QByteArray() : bytes.mid(offset, length);
        });
    };
    const auto whole = parse(real);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->address, url);
    EXPECT_EQ(whole->bodyLength, page.size());
    EXPECT_EQ(whole->httpStatus, 200);

    int accepted = 0;
    for (qsizetype cut = 0; cut < real.size(); ++cut) {
        const auto e = parse(real.left(cut));
        if (e) {
            ++accepted;
            EXPECT_LE(e->bodyOffset + e->bodyLength, cut);
        }
    }
    EXPECT_EQ(accepted, 0) << "a cut entry was read as whole";
    for (qsizetype at = 0; at < real.size(); at += 7) {
        QByteArray bent = real;
        bent[at] = char(bent.at(at) ^ 0x5a);
        if (const auto e = parse(bent)) {
            EXPECT_LE(e->bodyOffset + e->bodyLength, bent.size());
        }
    }

    // In a folder of its own, the damaged copies are left out of the list.
    QTemporaryDir other;
    const QString data = other.filePath(QStringLiteral("Cache/Cache_Data"));
    QDir().mkpath(data);
    QFile::copy(entryFile, data + QStringLiteral("/00000000000000aa_0"));
    for (const auto &[name, bytes] : {std::pair{"00000000000000bb_0", real.left(real.size() - 1)},
                                      std::pair{"00000000000000cc_0", real.left(40)},
                                      std::pair{"00000000000000dd_0", QByteArray(500, '\xff')}}) {
        QFile f(data + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    BrowserCache copy(other.path(), other.filePath(QStringLiteral("export")));
    EXPECT_EQ(addresses(copy), QStringList{url});
    EXPECT_EQ(readAll(copy.Materialize(url)), page);
}

// The engine can leave a load hanging forever when it overlaps its own cache
// clear (a load under way, or one asked for right after). Repeated, because
// the overlap is a race.
TEST(BrowserCacheE2e, LoadsAroundAClearAlwaysFinish) {
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    test::DocumentOptions slow = test::DocumentOptions::Html(kPage + QString(3000, QLatin1Char(' ')));
    slow.bytesPerSecond = 6000; // about half a second
    server.AddDocument(QStringLiteral("/slow.html"), slow);
    WebSession::Instance();
    WebBrowserView view;
    ASSERT_TRUE(load(view, server.DocumentUrl(QStringLiteral("/p/first.html"))));
    for (int round = 0; round < 6; ++round) {
        bool done = false;
        const QMetaObject::Connection c =
            QObject::connect(&view, &BrowserView::documentComplete, &view, [&done] { done = true; });
        view.Navigate(server.DocumentUrl(QStringLiteral("/slow.html?%1").arg(round)));
        EXPECT_TRUE(BrowserCache::ClearEngineCache());
        EXPECT_TRUE(done) << "the clear waits for the page";
        QObject::disconnect(c);
        EXPECT_TRUE(BrowserCache::ClearEngineCache());
        EXPECT_TRUE(load(view, server.DocumentUrl(QStringLiteral("/p/after%1.html").arg(round)))) << round;
    }
}
