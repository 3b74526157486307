// Listing a browser cache of 10 000 entries: the provider alone and the cache
// viewer's whole "查看我的缓存" (list, files, sizes, column widths), next to a
// yardstick that only lists the folder and reads every file's size; then the
// same listing of a cache where `bombs` of the entries are small brotli
// bodies that would inflate far past the cap.
//   bench_cache_list [entries] [plain|gzip|br] [bombs]
#include "net/BrowserCache.h"
#include "net/SimpleCacheEntry.h"
#include "support/CacheEntries.h"
#include "tools/CacheListModel.h"
#include "tools/CacheViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace dh;

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const QByteArray coding = argc > 2 ? QByteArray(argv[2]) : QByteArray("plain");
    const int bombs = argc > 3 ? std::clamp(atoi(argv[3]), 0, count) : 1000;

    QTemporaryDir temp;
    const QString cache = temp.filePath(QStringLiteral("webengine"));
    // Bodies of 2 to 60 KB, like documents and pages.
    QByteArray text;
    for (int i = 0; text.size() < 64 * 1024; ++i)
        text += "<p>结果 " + QByteArray::number(i) + " search result text, some words repeat </p>\n";
    const auto write = [&](const QString &folder, int i) {
        const QByteArray body = text.left(2048 + (i * 7919) % (58 * 1024));
        const QString address =
            QStringLiteral("https://example.org/docs/%1/file%2.pdf?x=%3").arg(i % 97).arg(i).arg(i);
        if (coding == "gzip")
            test::WriteCacheEntry(folder, address, test::GzipBytes(body), {"Content-Encoding: gzip"});
        else if (coding == "br")
            test::WriteCacheEntry(folder, address, test::BrotliBytes(body), {"Content-Encoding: br"});
        else
            test::WriteCacheEntry(folder, address, body, {"Content-Type: application/pdf"});
    };
    for (int i = 0; i < count; ++i)
        write(cache, i);
    // 64 MB of zeros in a few kilobytes: each would inflate to the 16 MB cap.
    const QByteArray bomb = test::BrotliBytes(QByteArray(64 * 1024 * 1024, '\0'), 5);
    const QString bombed = temp.filePath(QStringLiteral("bombed"));
    for (int i = 0; i < count; ++i) {
        if (i % (count / std::max(1, bombs)) == 0 && i / (count / std::max(1, bombs)) < bombs)
            test::WriteCacheEntry(bombed, QStringLiteral("https://example.org/bomb/%1.html").arg(i), bomb,
                                  {"Content-Encoding: br"});
        else
            write(bombed, i);
    }
    {
        // What listing cost when it inflated each body to show its size.
        const QString one = temp.filePath(QStringLiteral("one"));
        const QString file = test::WriteCacheEntry(one, QStringLiteral("https://example.org/bomb.html"), bomb,
                                                   {"Content-Encoding: br"});
        const std::optional<SimpleCacheEntry> entry = ReadSimpleCacheEntry(file);
        QElapsedTimer t;
        t.start();
        const qint64 length = entry ? DecodedBodyLength(*entry) : -2;
        const qint64 ms = t.elapsed();
        std::printf("inflating one bomb to its cap: %lld ms (length %lld), for %d bombs about %lld ms\n", ms,
                    length, bombs, ms * bombs);
    }
    const QString data = cache + QStringLiteral("/Cache/Cache_Data");
    std::printf("%d entries (%s bodies) in %s\n", count, coding.constData(), qPrintable(data));

    for (int run = 1; run <= 3; ++run) {
        QElapsedTimer t;
        t.start();
        qint64 bytes = 0;
        const QFileInfoList files = QDir(data).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &f : files)
            bytes += f.size();
        const qint64 yardstick = t.elapsed();

        BrowserCache provider(cache, temp.filePath(QStringLiteral("export")));
        QList<CacheEntry> entries;
        t.restart();
        provider.Enumerate(&entries);
        const qint64 enumerate = t.elapsed();

        CacheViewerWindow viewer;
        viewer.SetCache(BrowserCache(cache, temp.filePath(QStringLiteral("export"))));
        viewer.show();
        t.restart();
        viewer.GetCacheURLList();
        const qint64 window = t.elapsed();
        CacheViewerWindow bombedViewer;
        bombedViewer.SetCache(BrowserCache(bombed, temp.filePath(QStringLiteral("export-bombed"))));
        bombedViewer.show();
        t.restart();
        bombedViewer.GetCacheURLList();
        const qint64 withBombs = t.elapsed();
        std::printf(
            "run %d: yardstick (list + sizes, %lld files, %lld bytes) %lld ms | provider %lld ms "
            "(%lld entries) | "
            "查看我的缓存 %lld ms (%d rows) | with %d brotli bombs (%lld bytes each) %lld ms (%d rows), "
            "%+lld ms\n",
            run, qint64(files.size()), bytes, yardstick, enumerate, qint64(entries.size()), window,
            viewer.Model()->Count(), bombs, qint64(bomb.size()), withBombs, bombedViewer.Model()->Count(),
            withBombs - window);
    }
    return 0;
}
