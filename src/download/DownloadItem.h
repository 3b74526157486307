#pragma once
// One row of the download list and the result texts the transfers write into
// its size and percent columns.
#include "net/FileTransfer.h"
#include "util/FileHelpers.h"

#include <QString>

namespace dh {

enum class ItemState { Waiting = 1, Downloading = 2, Done = 3, Failed = 4 };

struct DownloadItem {
    QString key;  // source address, or alternatives joined by "|"
    QString name; // file name without extension
    QString type; // extension without the dot; may be empty
    QString size;
    QString received;
    QString percent;
    QString folder;
    QString columnB; // never filled; kept so the list has its seventh column
    QString referrer;
    ItemState state = ItemState::Waiting;
    QString speed; // 速度 and 剩余时间 of a running transfer; not kept
    QString timeLeft;
    QString result; // 结果: why the item ended, empty while it has not
    // Stable for the item's life, also across a restart (the kept list).
    quint64 uid = 0;
    // The hidden file that holds what an interrupted transfer received, and
    // what it holds; empty when nothing is kept.
    QString partialPath;
    PartialInfo partial;
};

namespace ResultText {
// size column
inline const QString Unknown = QStringLiteral("未知");
inline const QString DownloadFailed = QStringLiteral("下载失败");
inline const QString DownloadCancelled = QStringLiteral("下载取消");
inline const QString WaitingAgain = QStringLiteral("等待重新下载");
// percent column
inline const QString BigFileSkipped = QStringLiteral("大文件，跳过");
inline const QString ExistsSkipped = QStringLiteral("已存在，跳过");
inline const QString CannotReplace = QStringLiteral("无法替换");
inline const QString Complete = QStringLiteral("100%");
// result column (others come from a transfer's outcome)
inline const QString Cancelled = QStringLiteral("已取消");
inline const QString PathRefused = QStringLiteral("保存路径无效");
} // namespace ResultText

// The hidden partial file of an item in its folder.
QString PartialPathFor(const DownloadItem &item);
// The item's recorded partial file, when it is one of ours inside its folder.
bool HasOwnPartial(const DownloadItem &item);
// Deletes the item's partial file (only one of ours) and forgets it.
void DropPartial(DownloadItem &item);

// folder + name, then "." + type when there is a type. A folder without its
// closing separator still names the file inside it.
inline QString ItemFilePath(const DownloadItem &item) {
    QString path = item.folder.isEmpty() ? QString() : WithTrailingSeparator(item.folder);
    path += item.name;
    if (!item.type.isEmpty())
        path += QLatin1Char('.') + item.type;
    return path;
}

} // namespace dh
