#include "download/DownloadItem.h"

#include "download/SaveNaming.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace dh {

namespace {
const QString kPartialPrefix = QStringLiteral(".docharvest-");
const QString kPartialSuffix = QStringLiteral(".part");
} // namespace

QString PartialPathFor(const DownloadItem &item) {
    return WithTrailingSeparator(item.folder) + kPartialPrefix + QString::number(item.uid, 36) + kPartialSuffix;
}

bool HasOwnPartial(const DownloadItem &item) {
    if (item.partialPath.isEmpty())
        return false;
    static const QRegularExpression own(QStringLiteral("^\\.docharvest-[0-9a-z]+\\.part$"));
    return own.match(QFileInfo(item.partialPath).fileName()).hasMatch() &&
           PathInsideFolder(item.partialPath, item.folder);
}

void DropPartial(DownloadItem &item) {
    if (HasOwnPartial(item)) {
        const QFileInfo file(item.partialPath);
        if (file.isFile() || file.isSymLink())
            QFile::remove(item.partialPath); // a link goes, never what it points to
    }
    item.partialPath.clear();
    item.partial = PartialInfo();
}

} // namespace dh
