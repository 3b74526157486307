// Feeds arbitrary bytes to UrlDecodeUtf8, read both as UTF-8 and as Latin-1
// (header values arrive either way).
#include "util/TextCoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(const QString &input)
{
    const QString out = dh::UrlDecodeUtf8(input);
    // Every escape is at least as long as what it stands for.
    if (out.size() > input.size())
        std::abort();
    if (!input.contains(u'%') && out != QString(input).replace(u'+', u' '))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    Check(QString::fromUtf8(bytes, qsizetype(size)));
    Check(QString::fromLatin1(bytes, qsizetype(size)));
    return 0;
}
