// Entry files in the engine's layout that a test can shape at will: the key
// forms, every content coding, and bodies that must not be trusted.
#include "net/SimpleCacheEntry.h"
#include "net/BrowserCache.h"
#include "support/CacheEntries.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <zlib.h>

using namespace dh;

namespace {
std::optional<SimpleCacheEntry> parse(const QByteArray &bytes) {
    return ParseSimpleCacheEntry(bytes.size(), [&bytes](qint64 offset, qint64 length) {
        return offset < 0 || offset > bytes.size() ? QByteArray() : bytes.mid(offset, length);
    });
}

QByteArray rawDeflate(const QByteArray &plain) {
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(plain.size()))) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    zs.avail_in = uInt(plain.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

QByteArray decoded(const QString &folder, const QByteArray &body, const QByteArray &coding, bool *ok) {
    const QString file =
        test::WriteCacheEntry(folder, QStringLiteral("https://h/") + QString::fromLatin1(coding), body,
                              {"Content-Encoding: " + coding});
    const std::optional<SimpleCacheEntry> entry = ReadSimpleCacheEntry(file);
    QByteArray out;
    *ok = entry && ReadCacheBody(*entry, [&out](const char *data, qint64 n) {
              out.append(data, n);
              return true;
          });
    return out;
}
} // namespace

TEST(CacheKeys, AddressesBehindEveryKeyForm) {
    EXPECT_EQ(AddressFromCacheKey("1/0/http://h/x.pdf"), QStringLiteral("http://h/x.pdf"));
    EXPECT_EQ(AddressFromCacheKey("http://h/x.pdf"), QStringLiteral("http://h/x.pdf"));
    EXPECT_EQ(AddressFromCacheKey("1/0/_dk_https://a.org https://b.org https://c.org/d.pdf"),
              QStringLiteral("https://c.org/d.pdf"));
    EXPECT_EQ(AddressFromCacheKey("12/3/_dk_s https://c.org/d.pdf"), QStringLiteral("https://c.org/d.pdf"));
    EXPECT_EQ(AddressFromCacheKey("1/0/_dk_no-address"), QString());
    EXPECT_TRUE(IsSimpleCacheEntryName(QStringLiteral("0123456789abcdef_0")));
    EXPECT_FALSE(IsSimpleCacheEntryName(QStringLiteral("0123456789ABCDEF_0")));
    EXPECT_FALSE(IsSimpleCacheEntryName(QStringLiteral("0123456789abcdef_1")));
    EXPECT_FALSE(IsSimpleCacheEntryName(QStringLiteral("index")));

    const auto split = parse(test::SimpleCacheEntryBytes(
        "1/0/_dk_https://a.org https://a.org https://a.org/p.pdf", "%PDF", test::RawHeaders(200)));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->address, QStringLiteral("https://a.org/p.pdf"));
}

TEST(CacheBodies, EveryCodingDecodesAndBadOnesAreRefused) {
    QTemporaryDir temp;
    QByteArray page;
    for (int i = 0; i < 2000; ++i)
        page += "<li>第 " + QByteArray::number(i) + " 条</li>";
    bool ok = false;
    EXPECT_EQ(decoded(temp.path(), test::GzipBytes(page), "gzip", &ok), page);
    EXPECT_TRUE(ok);
    EXPECT_EQ(decoded(temp.path(), test::BrotliBytes(page), "br", &ok), page);
    EXPECT_TRUE(ok);
    EXPECT_EQ(decoded(temp.path(), rawDeflate(page), "deflate", &ok), page);
    EXPECT_TRUE(ok);
    EXPECT_EQ(decoded(temp.path(), page, "identity", &ok), page);
    EXPECT_TRUE(ok);
    // A coding the engine does not know was stored as it came.
    EXPECT_EQ(decoded(temp.path(), page, "x-custom", &ok), page);
    EXPECT_TRUE(ok);
    decoded(temp.path(), test::GzipBytes(page).left(100), "gzip", &ok);
    EXPECT_FALSE(ok) << "a cut stream is not a whole document";
    decoded(temp.path(), "garbage!", "br", &ok);
    EXPECT_FALSE(ok);
}

TEST(CacheBodies, ABombIsStoppedAtTheCapAndWritesNoFile) {
    QTemporaryDir temp;
    // 600 MiB of zeros in a few MB.
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray bomb;
    QByteArray zeros(1024 * 1024, '\0');
    char out[64 * 1024];
    for (int i = 0; i < 600; ++i) {
        zs.next_in = reinterpret_cast<Bytef *>(zeros.data());
        zs.avail_in = uInt(zeros.size());
        do {
            zs.next_out = reinterpret_cast<Bytef *>(out);
            zs.avail_out = sizeof out;
            deflate(&zs, i == 599 ? Z_FINISH : Z_NO_FLUSH);
            bomb.append(out, qsizetype(sizeof out - zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    const QString address = QStringLiteral("https://h/bomb.html");
    const QString file = test::WriteCacheEntry(temp.path(), address, bomb, {"Content-Encoding: gzip"});
    ASSERT_TRUE(ReadSimpleCacheEntry(file));
    BrowserCache cache(temp.path(), temp.filePath(QStringLiteral("export")));
    QList<CacheEntry> entries;
    ASSERT_TRUE(cache.Enumerate(&entries));
    ASSERT_EQ(entries.size(), 1);
    // Listed at its stored size without being inflated; writing it stops at the cap.
    EXPECT_EQ(entries[0].size, bomb.size());
    EXPECT_TRUE(cache.Materialize(address).isEmpty());
    EXPECT_FALSE(QDir(temp.filePath(QStringLiteral("export"))).exists() &&
                 !QDir(temp.filePath(QStringLiteral("export"))).isEmpty());
}

TEST(CacheBodies, TruncatedAndBodilessEntriesHaveNoFile) {
    const auto truncated = parse(test::SimpleCacheEntryBytes("1/0/http://h/part.pdf", "%PDF-1.4 part",
                                                             test::RawHeaders(200), 3 | (1 << 12)));
    ASSERT_TRUE(truncated);
    EXPECT_TRUE(truncated->truncated);
    EXPECT_FALSE(truncated->HasBody());
    const auto redirect =
        parse(test::SimpleCacheEntryBytes("1/0/http://h/r", {}, test::RawHeaders(301, {"Location: /x"})));
    ASSERT_TRUE(redirect);
    EXPECT_EQ(redirect->httpStatus, 301);
    EXPECT_FALSE(redirect->HasBody());
    // Headers that do not read leave the body usable, as stored.
    QByteArray odd = test::SimpleCacheEntryBytes("1/0/http://h/odd.bin", "bytes", "not headers");
    const auto unread = parse(odd);
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->httpStatus, 0);
    EXPECT_TRUE(unread->HasBody());
    EXPECT_EQ(unread->bodyLength, 5);
}
