#pragma once
// The rules of the cache viewer that need no window: the TYPE column, the
// folder listing of the all-users view, the users' cache folders, and the
// two deletions (one file, empty folders).
#include <QList>
#include <QString>
#include <QStringList>

namespace dh {

// The TYPE column: the short extension of an address's or a path's last
// segment ("file.pdf?x=1#top" gives "pdf"); empty when there is none or it
// has 7 characters or more.
QString CacheTypeOf(const QString &text);

// Appends the full path of every subfolder of `folder` (recursively: of all
// levels, each folder's own entries before those of its subfolders). Only an
// absolute folder is listed; links are never followed, so a link to a folder
// is listed as a file and never descended into.
void ListFolders(const QString &folder, QStringList *out, bool recursive);
// Appends the full path of every file (and link) in `folder`, recursively on request.
void ListFiles(const QString &folder, QStringList *out, bool recursive);

// Deletes one file lying below one of `roots` (absolute folders without
// links, as listed), even when it is read-only; a link is removed, never what
// it points at. Each folder on the way is checked as it is deleted (see
// RemoveBelow): a folder swapped for a link since the listing stops it.
bool ForceDeleteFile(const QStringList &roots, const QString &path);
// Removes the folders of `folders` that are empty, last entry first (the
// list holds parents before children), except `keep` and folders below it;
// only folders below one of `roots`, checked the same way.
void RemoveEmptyFolders(const QStringList &folders, const QString &keep, const QStringList &roots);

// True when `path` lies strictly inside `folder` (paths compared after
// cleaning, so ".." cannot climb out).
bool IsInsideFolder(const QString &path, const QString &folder);

// A user of the machine and the home folder the program's files live under.
struct UserHome {
    QString name;
    QString home;
};
// The current user (with the home the program runs with) first, then every
// account of the system whose home folder exists; one entry per folder.
QList<UserHome> SystemUserHomes();
// Where the program keeps its cache below a home folder, as a relative path.
QStringList ProgramCacheSubPaths();

struct UserCacheFolder {
    QString user;
    QString folder;
};
// For each home and each sub-path in order: the folders that exist and can be read.
QList<UserCacheFolder> FindUserCacheFolders(const QList<UserHome> &homes, const QStringList &subPaths);

} // namespace dh
