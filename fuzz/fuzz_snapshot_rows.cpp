// Fuzzes what a result page becomes: the input is the snapshot script's JSON
// answer, read as a page and turned into rows and a next page under each
// combination of the filters (picked by the first byte). Every row must name
// an address, and a next page a link of the snapshot; a broken promise aborts.
#include "net/PageSnapshot.h"
#include "search/PageExtractor.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        abort();
}

bool HasHandle(const QList<dh::SnapLink> &links, int handle) {
    for (const dh::SnapLink &link : links)
        if (link.handle == handle)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t pick = data[0];
    const QByteArray json(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const dh::PageSnapshot snapshot = dh::ParsePageSnapshot(json);
    dh::ExtractOptions options;
    options.removeTitleSpaces = pick & 1;
    options.dropUnknownType = pick & 2;
    options.noJapanese = pick & 4;
    options.noTraditional = pick & 8;
    options.toSimplified = pick & 16;
    options.scholar = pick & 32;
    int rows = 0;
    const dh::ExtractResult result =
        dh::ExtractPageLinks(snapshot, QStringLiteral("/tmp/folder/"), options,
                             [&](const QString &, const QString &url, const QString &, const QString &,
                                 const QString &, const QString &) {
                                 Check(!url.isEmpty());
                                 ++rows;
                             });
    Check(result.handed == rows);
    Check(!snapshot.valid ? rows == 0 : true);
    const dh::NextPage next = dh::FindNextPage(snapshot);
    if (next.handle >= 0)
        Check(next.handle == snapshot.pnnextHandle || HasHandle(snapshot.navLinks, next.handle) ||
              HasHandle(snapshot.gsnLinks, next.handle) || HasHandle(snapshot.pagerLinks, next.handle));
    return 0;
}
