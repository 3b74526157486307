#pragma once
// File, folder and name helpers. Paths are native: the platform's separator
// stands where the Windows form writes "\"; on POSIX the root "/" takes the
// place of the drive. Name rules (cleaning, counters, extensions) are the same
// everywhere. Every helper is total: bad input gives a result, never a throw.
#include <QString>

namespace dh {

QChar PathSeparator(); // '\\' on Windows, '/' elsewhere

bool FileExists(const QString &path);
bool FolderExists(const QString &path);
QString MakeSafeFileName(const QString &text);
// Creates every missing level; returns the folder (never ending in a separator)
// or empty text. Shows "文件夹名称有误！不能创建文件夹！" for an unusable level.
QString CreateFolderPath(const QString &path);
QString UniqueFilePath(const QString &path);
struct SplitName {
    QString base;
    QString extension;
};
SplitName SplitFileName(const QString &path);
QString FileNameFromPath(const QString &path);
QString SiteRoot(const QString &address);
QString RemoveLineBreaks(const QString &text);
// Appends the separator when missing.
QString WithTrailingSeparator(const QString &folder);

// Per-user data folder ("the program folder"), created on first use.
QString ProgramFolder();
// "<Downloads>/12345/" (POSIX) or "c:\12345\" (Windows).
QString DefaultDownloadFolder();
QString InternetCacheFolder();
QString SystemFolder();

} // namespace dh
