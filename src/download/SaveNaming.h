#pragma once
// Where an item's file goes: the same-name rule, free names with a bracketed
// counter, the file name a server suggests, and settling the path before a
// transfer writes the file.
#include "download/DownloadItem.h"

#include <QString>

namespace dh
{

enum class SameNameRule { Skip, Overwrite, Rename };

// "跳过", "覆盖", "重命名"
QString SameNameRuleCaption(SameNameRule rule);
// The trimmed caption of a rule; anything else is the rename rule.
SameNameRule SameNameRuleFromCaption(const QString &caption);

// folder (with its closing separator) + name, then "." + type when there is one.
QString JoinFilePath(const QString &folder, const QString &name, const QString &type);

// False when the item's file exists under the skip rule; the item is then
// marked done with "已存在，跳过" and the existing file's length.
bool 确定是需要下载(DownloadItem &item, SameNameRule rule);

struct SavePath {
    QString path;
    QString newName;
};
SavePath 重命名保存路径(const QString &folder, const QString &name, const QString &type, SameNameRule rule);

// The value of the first "Content-Disposition:" line of a header block, or empty.
QString 从网络文件Header获取ContentDisposition(const QString &headerBlock);

struct SuggestedName {
    QString name;
    QString extension;
};
SuggestedName 从下载头信息ContentDisposition获取文件名(const QString &value);

struct SettleResult {
    bool ok = false;
    QString path;
};

// Transfer method one, once the reply headers are in: type from the media
// type, the suggested name or the charset; safe name; folder created; path
// by the rule; an existing file removed. Not ok: the item is Failed with
// "无法替换" (the old file could not be deleted).
SettleResult SettleItemPath(DownloadItem &item, const QString &contentType, const QString &headerBlock,
                            SameNameRule rule);

// Transfer method two, before the start: safe name, folder created, the
// skip test, then the free path under every rule. Not ok: the item was
// skipped (marked done) and is not to be downloaded.
SettleResult SettleItemPathMethodTwo(DownloadItem &item, SameNameRule rule);

} // namespace dh
