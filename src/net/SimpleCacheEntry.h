#pragma once
// One entry file ("<16 hex digits>_0") of the browser engine's disk cache.
//
// Layout, as the engine writes it (little-endian):
//   header  magic (8) | version (4) | key length (4) | key hash (4) | pad (4)
//   key     the cache key: "1/0/<address>", or "1/0/_dk_<site> <site> <address>"
//   body    the response body as received (still content-encoded)
//   end     magic (8) | flags (4) | crc (4) | body length (4) | pad (4)
//   meta    the response info: a pickle with the raw response headers
//   [sha256 of the key (32) when flag 2 is set]
//   end     the same record for the meta stream, whose length it holds
// Everything is read from the file's end backwards and checked against the
// file size: a file that does not add up is not an entry.
#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace dh {

struct SimpleCacheEntry {
    QString file;               // the entry file
    QByteArray key;             // the engine's key
    QString address;            // the address the body was fetched from
    qint64 bodyOffset = 0;      // where the body starts in the file
    qint64 bodyLength = 0;      // stored (possibly encoded) length
    int httpStatus = 0;         // 0 when the response info could not be read
    QByteArray contentEncoding; // lower case; empty for a plain body
    bool truncated = false;     // the engine kept only part of the body

    // A body that stands for a document of its own: complete, and either
    // non-empty or a success answer (an empty 200 is an empty file).
    bool HasBody() const;
};

// The file names the engine gives entry files: 16 lower-case hex digits, "_0".
bool IsSimpleCacheEntryName(const QString &fileName);
// "1/0/http://h/x" and "1/0/_dk_s1 s2 http://h/x" both give "http://h/x".
QString AddressFromCacheKey(const QByteArray &key);

// Reads an entry from any byte source: `size` bytes, `readAt(offset, length)`
// returns what it could read (a short answer counts as failure).
std::optional<SimpleCacheEntry>
ParseSimpleCacheEntry(qint64 size, const std::function<QByteArray(qint64, qint64)> &readAt);
// Reads the entry file at `path`; nothing when it is not a readable entry.
std::optional<SimpleCacheEntry> ReadSimpleCacheEntry(const QString &path);

// Status code and Content-Encoding from the engine's pickled response info.
struct CachedResponseInfo {
    int httpStatus = 0;
    QByteArray contentEncoding;
    bool truncated = false;
};
std::optional<CachedResponseInfo> ParseCachedResponseInfo(const QByteArray &pickle);

// Output caps when a body is decoded: an entry that inflates beyond them is
// treated as unreadable rather than filling the disk or stalling the list.
// Real pages shrink far less than a hundredfold.
inline constexpr qint64 kMaxDecodedBody = qint64(512) * 1024 * 1024;
inline constexpr qint64 kMaxInflation = 100;
inline constexpr qint64 kMinDecodedCap = qint64(16) * 1024 * 1024;

// Streams the body of `entry`, decoded (gzip, deflate, br; other codings as
// stored), into `sink`; the sink returns false to stop. False on a read or
// decoding error, a body over the caps, or a stopping sink.
bool ReadCacheBody(const SimpleCacheEntry &entry, const std::function<bool(const char *, qint64)> &sink);
// Length of the decoded body, -1 when it cannot be decoded. Plain bodies
// cost nothing; encoded ones are decoded without being kept.
qint64 DecodedBodyLength(const SimpleCacheEntry &entry);

} // namespace dh
