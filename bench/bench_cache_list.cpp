// Listing a browser cache of 10 000 entries: the provider alone and the cache
// viewer's whole "查看我的缓存" (list, files, sizes, column widths), next to a
// yardstick that only lists the folder and reads every file's size.
//   bench_cache_list [entries] [plain|gzip|br]
#include "net/BrowserCache.h"
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

    QTemporaryDir temp;
    const QString cache = temp.filePath(QStringLiteral("webengine"));
    // Bodies of 2 to 60 KB, like documents and pages.
    QByteArray text;
    for (int i = 0; text.size() < 64 * 1024; ++i)
        text += "<p>结果 " + QByteArray::number(i) + " search result text, some words repeat </p>\n";
    for (int i = 0; i < count; ++i) {
        const QByteArray body = text.left(2048 + (i * 7919) % (58 * 1024));
        const QString address =
            QStringLiteral("https://example.org/docs/%1/file%2.pdf?x=%3").arg(i % 97).arg(i).arg(i);
        if (coding == "gzip")
            test::WriteCacheEntry(cache, address, test::GzipBytes(body), {"Content-Encoding: gzip"});
        else if (coding == "br")
            test::WriteCacheEntry(cache, address, test::BrotliBytes(body), {"Content-Encoding: br"});
        else
            test::WriteCacheEntry(cache, address, body, {"Content-Type: application/pdf"});
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
        std::printf("run %d: yardstick (list + sizes, %lld files, %lld bytes) %lld ms | provider %lld ms "
                    "(%lld entries) | "
                    "查看我的缓存 %lld ms (%d rows)\n",
                    run, qint64(files.size()), bytes, yardstick, enumerate, qint64(entries.size()), window,
                    viewer.Model()->Count());
    }
    return 0;
}
