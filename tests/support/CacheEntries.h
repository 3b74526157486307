#pragma once
// Entry files in the browser engine's disk-cache layout, for tests of the
// cache provider and the cache viewer that need no running engine.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace dh {
class BrowserCache;
}

namespace dh::test {

// The addresses `cache` lists now, without the site icons the engine fetches
// on its own whenever it likes.
QStringList ListedAddresses(BrowserCache &cache);

// "HTTP/1.1 <status>\0<header>\0...\0\0", as the engine stores headers.
QByteArray RawHeaders(int status, const QList<QByteArray> &headers = {});
// A whole entry file: header, key, body, end record, response info, key hash, end record.
QByteArray SimpleCacheEntryBytes(const QByteArray &key, const QByteArray &body, const QByteArray &rawHeaders,
                                 int infoFlags = 3);
// Writes the entry for "1/0/<address>" into <cacheFolder>/Cache/Cache_Data
// (created) and returns the file's path.
QString WriteCacheEntry(const QString &cacheFolder, const QString &address, const QByteArray &body,
                        const QList<QByteArray> &headers = {}, int status = 200);

// The bytes compressed as a gzip stream (Content-Encoding: gzip).
QByteArray GzipBytes(const QByteArray &plain);
// The bytes compressed as a brotli stream (Content-Encoding: br); a lower
// quality (0 to 11) is quicker for large inputs.
QByteArray BrotliBytes(const QByteArray &plain, int quality = 11);

} // namespace dh::test
