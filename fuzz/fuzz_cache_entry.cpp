// Fuzzes the reader of the engine's cache entry files: the input is one
// entry file. A parsed entry must describe a body inside the input, and the
// key and response-info readers must take any bytes; a broken promise aborts.
#include "net/SimpleCacheEntry.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qint64 total = qint64(size);
    const auto readAt = [&](qint64 offset, qint64 length) {
        // The parser asks only for bytes that are there.
        Check(offset >= 0 && length >= 0 && offset <= total && length <= total - offset);
        return QByteArray(bytes.constData() + offset, qsizetype(length));
    };
    if (const std::optional<dh::SimpleCacheEntry> entry = dh::ParseSimpleCacheEntry(total, readAt)) {
        Check(entry->bodyOffset >= 0 && entry->bodyLength >= 0);
        Check(entry->bodyOffset + entry->bodyLength <= total);
        Check(entry->contentEncoding == entry->contentEncoding.toLower());
        (void)entry->HasBody();
    }
    (void)dh::AddressFromCacheKey(bytes);
    if (const std::optional<dh::CachedResponseInfo> info = dh::ParseCachedResponseInfo(bytes))
        Check(info->contentEncoding == info->contentEncoding.toLower());
    return 0;
}
