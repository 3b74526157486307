#pragma once
// Where an item's file goes: the same-name rule, free names with a bracketed
// counter, the file name a server suggests, and settling the path before a
// transfer writes the file.
#include "download/DownloadItem.h"

#include <QString>

#include <functional>

namespace dh {

// Whether a path is taken by a running transfer (its name is reserved in
// memory until that transfer ends). Empty: nothing is reserved.
using ReservedPath = std::function<bool(const QString &path)>;

// A name or a type made fit to stand in a path: no separators, no control
// characters, no leading or trailing dots (so never "." or ".."). Types are
// also lower case, so a test for an existing file looks for the file that
// will really be written.
QString CleanNamePart(const QString &text);
QString CleanType(const QString &type);
// A type that starts a program when the file is opened (desktop, exe, sh, js
// ...): never taken from a list, a header or an address; only content
// detection may name it.
bool IsLauncherType(const QString &type);
// A document type the program knows (pdf, doc, ppt, xls, rtf, htm, caj ...).
bool IsKnownDocumentType(const QString &type);
// The item's name and type cleaned, its folder ending in the separator.
void PrepareItemNames(DownloadItem &item);
// True when the path names a file directly inside the folder.
bool PathInsideFolder(const QString &path, const QString &folder);
// The item failed because an existing file of its path may not be replaced:
// size and received get that file's length, percent "无法替换".
void MarkCannotReplace(DownloadItem &item, const QString &path);

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
// A reserved path counts as taken, as an existing file does.
SavePath 重命名保存路径(const QString &folder, const QString &name, const QString &type, SameNameRule rule,
                        const ReservedPath &reserved = {});

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
    // The skip rule found the file the headers named: the item is done, nothing is written.
    bool skipped = false;
};

// Transfer method one, once the reply headers are in: type from the media
// type, the suggested name or the charset; safe name; folder created; path
// by the rule (a reserved path gets a counter name under every rule). Under
// the skip rule a file of the settled name ends the item "已存在，跳过"
// (skipped); otherwise an existing file stays until the finished download
// replaces it. Not ok: the folder could not be made or the path would leave
// it; the item is Failed.
SettleResult SettleItemPath(DownloadItem &item, const QString &contentType, const QString &headerBlock,
                            SameNameRule rule, const ReservedPath &reserved = {});

// Transfer method two, before the start: safe name, folder created, the
// skip test, then the free path under every rule. Not ok: the item was
// skipped (marked done), or failed as above, and is not to be downloaded.
SettleResult SettleItemPathMethodTwo(DownloadItem &item, SameNameRule rule,
                                     const ReservedPath &reserved = {});

} // namespace dh
