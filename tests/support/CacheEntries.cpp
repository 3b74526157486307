#include "support/CacheEntries.h"

#include "net/BrowserCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <brotli/encode.h>
#include <zlib.h>

namespace dh::test {
namespace {
void put32(QByteArray *out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out->append(b, 4);
}
void put64(QByteArray *out, quint64 v) {
    char b[8];
    qToLittleEndian(v, b);
    out->append(b, 8);
}
void endRecord(QByteArray *out, quint32 flags, quint32 length) {
    put64(out, 0xf4fa6f45970d41d8ULL);
    put32(out, flags);
    put32(out, 0); // crc, not checked by readers
    put32(out, length);
    put32(out, 0);
}
} // namespace

QStringList ListedAddresses(BrowserCache &cache) {
    QList<CacheEntry> entries;
    cache.Enumerate(&entries);
    QStringList out;
    for (const CacheEntry &e : entries)
        if (!e.address.endsWith(QLatin1String("/favicon.ico")))
            out << e.address;
    return out;
}

QByteArray RawHeaders(int status, const QList<QByteArray> &headers) {
    QByteArray raw = "HTTP/1.1 " + QByteArray::number(status) + " OK";
    raw.append('\0');
    for (const QByteArray &h : headers) {
        raw += h;
        raw.append('\0');
    }
    raw.append('\0');
    return raw;
}

QByteArray SimpleCacheEntryBytes(const QByteArray &key, const QByteArray &body, const QByteArray &rawHeaders,
                                 int infoFlags) {
    QByteArray file;
    put64(&file, 0xfcfb6d1ba7725c30ULL);
    put32(&file, 5);
    put32(&file, quint32(key.size()));
    put32(&file, 0x12345678);
    put32(&file, 0);
    file += key;
    file += body;
    endRecord(&file, 1, quint32(body.size()));

    QByteArray payload;
    put32(&payload, quint32(infoFlags));
    put64(&payload, 13300000000000000ULL); // request time
    put64(&payload, 13300000000000001ULL); // response time
    put32(&payload, quint32(rawHeaders.size()));
    payload += rawHeaders;
    while (payload.size() % 4)
        payload.append('\0');
    QByteArray info;
    put32(&info, quint32(payload.size()));
    info += payload;
    file += info;
    file += QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    endRecord(&file, 3, quint32(info.size()));
    return file;
}

QString WriteCacheEntry(const QString &cacheFolder, const QString &address, const QByteArray &body,
                        const QList<QByteArray> &headers, int status) {
    const QByteArray key = "1/0/" + address.toUtf8();
    const QString data = cacheFolder + QStringLiteral("/Cache/Cache_Data");
    QDir().mkpath(data);
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).left(8).toHex()) +
        QStringLiteral("_0");
    QFile file(data + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(SimpleCacheEntryBytes(key, body, RawHeaders(status, headers)));
    return file.fileName();
}

QByteArray GzipBytes(const QByteArray &plain) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(int(deflateBound(&zs, uLong(plain.size()))) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    zs.avail_in = uInt(plain.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : QByteArray();
}

QByteArray BrotliBytes(const QByteArray &plain, int quality) {
    size_t size = BrotliEncoderMaxCompressedSize(size_t(plain.size())) + 16;
    QByteArray out(qsizetype(size), '\0');
    if (!BrotliEncoderCompress(quality, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, size_t(plain.size()),
                               reinterpret_cast<const uint8_t *>(plain.constData()), &size,
                               reinterpret_cast<uint8_t *>(out.data())))
        return {};
    out.resize(qsizetype(size));
    return out;
}

} // namespace dh::test
