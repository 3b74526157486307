#pragma once
// The browser cache as the cache viewer sees it: the entries of the shared
// profile's disk cache, each with the address it was fetched from and its
// body as a file of its own.
//
// The engine keeps bodies inside its entry files, still content-encoded, so
// a body becomes a real file only on demand: Materialize writes it, decoded,
// to <export folder>/<entry hash>/<last path segment of the address>. Listing
// therefore reads only entry heads and tails and stays fast on large caches.
// Entry files are hostile input: a file that does not read as an entry is
// left out, never trusted.
#include "net/SimpleCacheEntry.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace dh {

// Entry-type bit of an ordinary cached document.
inline constexpr quint32 kNormalCacheEntry = 1;

struct CacheEntry {
    QString address;
    quint32 typeBits = kNormalCacheEntry;
    QString localFile; // where the body is (or will be) a file; empty: no body
    qint64 size = -1;  // the length of that file; -1 when unknown or no body
};

class BrowserCache {
public:
    // `cacheFolder` is the profile's cache folder; the engine keeps its
    // entries in a data folder below it.
    BrowserCache(QString cacheFolder, QString exportFolder);
    // The shared profile's cache and the program's export folder.
    static BrowserCache ForProfile();
    // Beside the engine's cache folder: <user cache folder>/export.
    static QString DefaultExportFolder();

    QString CacheFolder() const { return m_cacheFolder; }
    QString ExportFolder() const { return m_exportFolder; }
    // The folder that holds the entry files, or empty when there is none yet.
    QString DataFolder() const;

    // Every readable entry, in file-name order. False when the data folder
    // exists but cannot be listed; a cache that was never written is empty.
    bool Enumerate(QList<CacheEntry> *entries);
    // The entry fetched from `address` (the newest when several are), with
    // its local file and size; nothing when no readable entry has a body.
    std::optional<CacheEntry> Lookup(const QString &address);
    // Writes the local file of `address` unless it is already current;
    // returns its path, or empty when there is no body or writing failed.
    QString Materialize(const QString &address);
    // Removes every entry fetched from `address`: the engine's files and
    // the local file. Addresses that hold "cookie" (any case) are never
    // removed. True when an entry was removed.
    bool Delete(const QString &address);
    // Removes the local files of every entry.
    void ClearExports();
    // The engine's own call that empties its whole HTTP cache, so that its
    // index stays sound. The engine can leave a page load hanging forever
    // when it overlaps the clear, so the call waits (in the event loop) until
    // no page loads, and returns only once the clear has settled. False when
    // pages kept loading and the engine was not asked.
    static bool ClearEngineCache();
    // True while a browser view of the program loads a page.
    static bool AnyPageLoading();

    // The name a local file takes: the last path segment of the address,
    // made safe; the host when the path has none.
    static QString LocalFileName(const QString &address);

private:
    struct Known {
        SimpleCacheEntry entry;
        QString hash;       // the 16 hex digits of the entry's file name
        CacheEntry listed;  // as the last scan found it
        QDateTime modified; // of the entry file, at that scan
    };
    const QList<Known> *find(const QString &address);
    QString localFilePath(const Known &known) const;
    qint64 localFileSize(const Known &known) const;
    CacheEntry toEntry(const Known &known) const;

    QString m_cacheFolder;
    QString m_exportFolder;
    QHash<QString, QList<Known>> m_byAddress; // from the last scan
};

} // namespace dh
