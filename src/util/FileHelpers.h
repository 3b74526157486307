#pragma once
// File, folder and name helpers. Paths are native: the platform's separator
// stands where the Windows form writes "\"; on POSIX the root "/" takes the
// place of the drive. Name rules (cleaning, counters, extensions) are the same
// everywhere. Every helper is total: bad input gives a result, never a throw.
#include <QString>
#include <QStringList>

namespace dh {

QChar PathSeparator(); // '\\' on Windows, '/' elsewhere

// The path that FileExists tests: trimmed, a leading "file:///" dropped
// (keeping the root slash on POSIX); on Windows "/" reads as "\".
QString LocalFilePath(const QString &path);
bool FileExists(const QString &path);
bool FolderExists(const QString &path);
// Plain decimal digits only: no sign, no point, no spaces; empty text is not a number.
bool IsDecimalDigits(QStringView text);
QString MakeSafeFileName(const QString &text);
// The longest start of `text` whose UTF-8 form has at most n bytes.
QString LeftUtf8Bytes(const QString &text, int n);
// Creates every missing level; returns the folder (never ending in a separator,
// except the POSIX root "/" itself) or empty text. Shows
// "文件夹名称有误！不能创建文件夹！" for an unusable level.
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
// Writes `bytes` as the whole file at `path`: beside it first, moved onto it
// only when every byte was written, so a failed write leaves the old file as
// it was. Empty text on success, else the reason.
QString WriteWholeFile(const QString &path, const QByteArray &bytes);
// True when `folder` is one of `roots` or lies below one (absolute paths,
// ".." resolved, letter case ignored on Windows).
bool IsFolderWithin(const QString &folder, const QStringList &roots);

// Per-user data folder ("the program folder"), created on first use.
QString ProgramFolder();
// "<Downloads>/12345/" (POSIX) or "c:\12345\" (Windows).
QString DefaultDownloadFolder();
// The browser profile's disk cache: <user cache folder>/webengine. The shared
// browser profile must store its HTTP cache at exactly this path, so that the
// cache viewer reads what the views wrote.
QString InternetCacheFolder();
// Windows: the system folder; elsewhere empty.
QString SystemFolder();

} // namespace dh
