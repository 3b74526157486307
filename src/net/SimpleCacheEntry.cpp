#include "net/SimpleCacheEntry.h"

#include <QFile>
#include <QtEndian>

#include <brotli/decode.h>
#include <zlib.h>

#include <memory>

namespace dh {
namespace {
constexpr quint64 kHeaderMagic = 0xfcfb6d1ba7725c30ULL;
constexpr quint64 kEndMagic = 0xf4fa6f45970d41d8ULL;
constexpr quint32 kEntryVersion = 5;
constexpr qint64 kHeaderSize = 24;
constexpr qint64 kEndSize = 24;
constexpr qint64 kKeyShaSize = 32;
constexpr quint32 kFlagKeySha256 = 2;
// Keys are addresses, which the engine keeps under 2 MB.
constexpr qint64 kMaxKeyLength = 4 * 1024 * 1024;
// The response info holds headers and certificates; anything bigger is not ours.
constexpr qint64 kMaxInfoLength = 1024 * 1024;
constexpr int kInfoVersionMask = 0xFF;
constexpr int kInfoTruncated = 1 << 12;
constexpr qint64 kChunk = 256 * 1024;

// The codings the engine itself decodes; a body in any other is given as stored.
bool IsDecodedCoding(const QByteArray &encoding) {
    return encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate" || encoding == "br";
}

quint32 u32(const QByteArray &bytes, qint64 at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint64 u64(const QByteArray &bytes, qint64 at) {
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

struct EndRecord {
    quint32 flags = 0;
    quint32 length = 0;
};

std::optional<EndRecord> readEnd(qint64 at, const std::function<QByteArray(qint64, qint64)> &readAt) {
    const QByteArray bytes = readAt(at, kEndSize);
    if (bytes.size() != kEndSize || u64(bytes, 0) != kEndMagic)
        return std::nullopt;
    return EndRecord{u32(bytes, 8), u32(bytes, 16)};
}

// Sequential reader over the pickle's payload; every read is bounds-checked.
class PickleReader {
public:
    explicit PickleReader(const QByteArray &payload) : m_data(payload) {}
    bool Int(qint32 *value) {
        if (m_pos + 4 > m_data.size())
            return false;
        *value = qint32(u32(m_data, m_pos));
        m_pos += 4;
        return true;
    }
    bool Skip(qint64 bytes) {
        if (bytes < 0 || m_pos + bytes > m_data.size())
            return false;
        m_pos += bytes;
        return true;
    }
    bool String(QByteArray *value) {
        qint32 length = 0;
        if (!Int(&length) || length < 0 || m_pos + length > m_data.size())
            return false;
        *value = m_data.mid(m_pos, length);
        m_pos += (qint64(length) + 3) & ~qint64(3);
        return true;
    }

private:
    const QByteArray &m_data;
    qint64 m_pos = 0;
};

// One body decoder: gzip and zlib-wrapped or raw deflate through zlib,
// br through the brotli decoder, anything else passed through.
class BodyDecoder {
public:
    using Sink = std::function<bool(const char *, qint64)>;

    BodyDecoder(const QByteArray &encoding, qint64 cap, Sink sink) : m_sink(std::move(sink)), m_cap(cap) {
        if (!IsDecodedCoding(encoding)) {
            m_kind = Kind::Plain;
        } else if (encoding != "br") {
            m_kind = Kind::Zlib;
            m_deflate = encoding == "deflate";
            m_ok = inflateInit2(&m_zs, 15 + 32) == Z_OK; // gzip or zlib header
            m_zInit = m_ok;
        } else {
            m_kind = Kind::Brotli;
            m_br = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
            m_ok = m_br != nullptr;
        }
    }
    ~BodyDecoder() {
        if (m_zInit)
            inflateEnd(&m_zs);
        if (m_br)
            BrotliDecoderDestroyInstance(m_br);
    }
    BodyDecoder(const BodyDecoder &) = delete;
    BodyDecoder &operator=(const BodyDecoder &) = delete;

    bool Feed(const QByteArray &input) {
        if (!m_ok || m_done)
            return m_ok && input.isEmpty();
        switch (m_kind) {
        case Kind::Plain:
            return put(input.constData(), input.size());
        case Kind::Zlib:
            return feedZlib(input);
        case Kind::Brotli:
            return feedBrotli(input);
        }
        return false;
    }
    // True when the coded stream ended properly.
    bool Finish() const { return m_ok && (m_kind == Kind::Plain || m_done); }

private:
    enum class Kind { Plain, Zlib, Brotli };

    bool put(const char *data, qint64 length) {
        m_written += length;
        if (m_written > m_cap)
            return m_ok = false;
        if (length > 0 && !m_sink(data, length))
            return m_ok = false;
        return true;
    }

    bool feedZlib(const QByteArray &input) {
        m_zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
        m_zs.avail_in = uInt(input.size());
        char out[64 * 1024];
        while (m_zs.avail_in > 0 && !m_done) {
            m_zs.next_out = reinterpret_cast<Bytef *>(out);
            m_zs.avail_out = sizeof out;
            int rc = inflate(&m_zs, Z_NO_FLUSH);
            if (rc == Z_DATA_ERROR && m_deflate && !m_triedRaw && m_zs.total_out == 0) {
                // Some servers send raw deflate under "deflate".
                m_triedRaw = true;
                if (inflateReset2(&m_zs, -15) != Z_OK)
                    return m_ok = false;
                m_zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
                m_zs.avail_in = uInt(input.size());
                continue;
            }
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                return m_ok = false;
            if (!put(out, qint64(sizeof out - m_zs.avail_out)))
                return false;
            if (rc == Z_STREAM_END)
                m_done = true;
            else if (rc == Z_BUF_ERROR && m_zs.avail_out != 0)
                return m_ok = false; // no progress possible
        }
        return true;
    }

    bool feedBrotli(const QByteArray &input) {
        size_t availIn = size_t(input.size());
        const auto *nextIn = reinterpret_cast<const uint8_t *>(input.constData());
        uint8_t out[64 * 1024];
        for (;;) {
            size_t availOut = sizeof out;
            uint8_t *nextOut = out;
            const BrotliDecoderResult rc =
                BrotliDecoderDecompressStream(m_br, &availIn, &nextIn, &availOut, &nextOut, nullptr);
            if (rc == BROTLI_DECODER_RESULT_ERROR)
                return m_ok = false;
            if (!put(reinterpret_cast<const char *>(out), qint64(sizeof out - availOut)))
                return false;
            if (rc == BROTLI_DECODER_RESULT_SUCCESS) {
                m_done = true;
                return true;
            }
            if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
                return true;
        }
    }

    Sink m_sink;
    qint64 m_cap = 0;
    Kind m_kind = Kind::Plain;
    bool m_ok = true;
    bool m_done = false;
    qint64 m_written = 0;
    z_stream m_zs{};
    bool m_zInit = false;
    bool m_deflate = false;
    bool m_triedRaw = false;
    BrotliDecoderState *m_br = nullptr;
};

} // namespace

bool SimpleCacheEntry::HasBody() const {
    return !truncated && (bodyLength > 0 || (httpStatus >= 200 && httpStatus < 300));
}

bool IsSimpleCacheEntryName(const QString &fileName) {
    if (fileName.size() != 18 || !fileName.endsWith(QLatin1String("_0")))
        return false;
    for (int i = 0; i < 16; ++i) {
        const QChar c = fileName.at(i);
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

QString AddressFromCacheKey(const QByteArray &key) {
    QByteArray rest = key;
    // Leading "<number>/" parts tell credentials and upload identity.
    for (;;) {
        const qsizetype slash = rest.indexOf('/');
        if (slash <= 0)
            break;
        bool digits = true;
        for (qsizetype i = 0; i < slash && digits; ++i)
            digits = rest.at(i) >= '0' && rest.at(i) <= '9';
        if (!digits)
            break;
        rest = rest.mid(slash + 1);
    }
    // Split keys ("_dk_<top site> <frame site> <address>") end with the address.
    if (rest.startsWith('_')) {
        const qsizetype space = rest.lastIndexOf(' ');
        rest = space >= 0 ? rest.mid(space + 1) : QByteArray();
    }
    return QString::fromUtf8(rest);
}

std::optional<CachedResponseInfo> ParseCachedResponseInfo(const QByteArray &pickle) {
    if (pickle.size() < 4)
        return std::nullopt;
    const quint32 payloadSize = u32(pickle, 0);
    if (payloadSize > quint32(pickle.size() - 4))
        return std::nullopt;
    const QByteArray payload = pickle.mid(4, payloadSize);
    PickleReader reader(payload);
    qint32 flags = 0;
    QByteArray headers;
    if (!reader.Int(&flags) || (flags & kInfoVersionMask) < 1 || (flags & kInfoVersionMask) > 3)
        return std::nullopt;
    if (!reader.Skip(16) || !reader.String(&headers)) // request and response times
        return std::nullopt;
    // "HTTP/1.1 200 OK\0Name: value\0...\0"
    const QList<QByteArray> lines = headers.split('\0');
    if (lines.isEmpty() || !lines.first().startsWith("HTTP/"))
        return std::nullopt;
    CachedResponseInfo info;
    info.truncated = flags & kInfoTruncated;
    const QList<QByteArray> status = lines.first().split(' ');
    if (status.size() >= 2)
        info.httpStatus = status.at(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-encoding")
            info.contentEncoding = line.mid(colon + 1).trimmed().toLower();
    }
    return info;
}

std::optional<SimpleCacheEntry>
ParseSimpleCacheEntry(qint64 size, const std::function<QByteArray(qint64, qint64)> &readAt) {
    if (size < kHeaderSize + 2 * kEndSize)
        return std::nullopt;
    const QByteArray header = readAt(0, kHeaderSize);
    if (header.size() != kHeaderSize || u64(header, 0) != kHeaderMagic || u32(header, 8) != kEntryVersion)
        return std::nullopt;
    const qint64 keyLength = u32(header, 12);
    if (keyLength <= 0 || keyLength > kMaxKeyLength || kHeaderSize + keyLength + 2 * kEndSize > size)
        return std::nullopt;

    // The meta stream and its record close the file.
    const std::optional<EndRecord> metaEnd = readEnd(size - kEndSize, readAt);
    if (!metaEnd)
        return std::nullopt;
    const qint64 shaLength = (metaEnd->flags & kFlagKeySha256) ? kKeyShaSize : 0;
    const qint64 metaLength = metaEnd->length;
    const qint64 metaOffset = size - kEndSize - shaLength - metaLength;
    const qint64 bodyOffset = kHeaderSize + keyLength;
    if (metaLength > kMaxInfoLength || metaOffset - kEndSize < bodyOffset)
        return std::nullopt;
    const std::optional<EndRecord> bodyEnd = readEnd(metaOffset - kEndSize, readAt);
    if (!bodyEnd)
        return std::nullopt;
    const qint64 bodyLength = metaOffset - kEndSize - bodyOffset;
    if (bodyEnd->length != 0 && qint64(bodyEnd->length) != bodyLength)
        return std::nullopt;

    SimpleCacheEntry entry;
    entry.key = readAt(kHeaderSize, keyLength);
    if (entry.key.size() != keyLength)
        return std::nullopt;
    entry.address = AddressFromCacheKey(entry.key);
    if (entry.address.isEmpty())
        return std::nullopt;
    entry.bodyOffset = bodyOffset;
    entry.bodyLength = bodyLength;
    if (const std::optional<CachedResponseInfo> info =
            ParseCachedResponseInfo(readAt(metaOffset, metaLength))) {
        entry.httpStatus = info->httpStatus;
        entry.contentEncoding = info->contentEncoding;
        entry.truncated = info->truncated;
    }
    return entry;
}

std::optional<SimpleCacheEntry> ReadSimpleCacheEntry(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<SimpleCacheEntry> entry =
        ParseSimpleCacheEntry(file.size(), [&file](qint64 offset, qint64 length) {
            return file.seek(offset) ? file.read(length) : QByteArray();
        });
    if (entry)
        entry->file = path;
    return entry;
}

bool ReadCacheBody(const SimpleCacheEntry &entry, const std::function<bool(const char *, qint64)> &sink) {
    QFile file(entry.file);
    if (!file.open(QIODevice::ReadOnly) || file.size() < entry.bodyOffset + entry.bodyLength ||
        !file.seek(entry.bodyOffset))
        return false;
    const qint64 cap = IsDecodedCoding(entry.contentEncoding)
                           ? qMin(kMaxDecodedBody, qMax(kMinDecodedCap, kMaxInflation * entry.bodyLength))
                           : entry.bodyLength;
    BodyDecoder decoder(entry.contentEncoding, cap, sink);
    qint64 left = entry.bodyLength;
    while (left > 0) {
        const QByteArray chunk = file.read(qMin(left, kChunk));
        if (chunk.isEmpty() || !decoder.Feed(chunk))
            return false;
        left -= chunk.size();
    }
    return decoder.Finish();
}

qint64 DecodedBodyLength(const SimpleCacheEntry &entry) {
    if (!IsDecodedCoding(entry.contentEncoding))
        return entry.bodyLength;
    qint64 length = 0;
    const bool ok = ReadCacheBody(entry, [&length](const char *, qint64 n) {
        length += n;
        return true;
    });
    return ok ? length : -1;
}

} // namespace dh
