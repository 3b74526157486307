#pragma once
// One row of the download list and the result texts the transfers write into
// its size and percent columns.
#include "util/FileHelpers.h"

#include <QString>

namespace dh
{

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
};

namespace ResultText
{
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
} // namespace ResultText

// folder + name, then "." + type when there is a type. A folder without its
// closing separator still names the file inside it.
inline QString ItemFilePath(const DownloadItem &item)
{
    QString path = item.folder.isEmpty() ? QString() : WithTrailingSeparator(item.folder);
    path += item.name;
    if (!item.type.isEmpty())
        path += QLatin1Char('.') + item.type;
    return path;
}

} // namespace dh
