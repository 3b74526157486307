#include "net/BrowserCache.h"

#include "net/WebBrowserView.h"
#include "net/WebSession.h"
#include "util/FileHelpers.h"

#include "util/Wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace dh {
namespace {
// How long a clear waits for loading pages, and how long the engine then
// needs before new loads are safe (measured: 200 ms was always enough).
constexpr qint64 kEngineIdleWaitMs = 2000;
constexpr qint64 kEngineClearSettleMs = 500;

// Where the engine puts its entries below the profile's cache folder.
const char *const kDataFolders[] = {"Cache/Cache_Data", "Cache"};

bool isEntryHash(const QString &text) {
    return IsSimpleCacheEntryName(text + QStringLiteral("_0"));
}

// Removes a folder this class made; a link put in its place goes, not what it points at.
void removeOwnFolder(const QString &path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        QFile::remove(path);
    else if (info.isDir())
        QDir(path).removeRecursively();
}

// An export is current when written after the entry last changed.
bool isCurrent(const QFileInfo &local, const QString &entryFile) {
    return local.exists() && local.lastModified() >= QFileInfo(entryFile).lastModified();
}
} // namespace

BrowserCache::BrowserCache(QString cacheFolder, QString exportFolder)
    : m_cacheFolder(std::move(cacheFolder)), m_exportFolder(std::move(exportFolder)) {}

BrowserCache BrowserCache::ForProfile() {
    return BrowserCache(InternetCacheFolder(), DefaultExportFolder());
}

QString BrowserCache::DefaultExportFolder() {
    const QString cache = InternetCacheFolder();
    if (cache.isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(cache).path() + QStringLiteral("/export"));
}

QString BrowserCache::DataFolder() const {
    if (m_cacheFolder.isEmpty())
        return {};
    const QDir root(m_cacheFolder);
    for (const char *sub : kDataFolders) {
        const QString folder = root.filePath(QString::fromLatin1(sub));
        if (QFileInfo(folder).isDir())
            return folder;
    }
    // A cache folder that holds the entries itself.
    return QFileInfo::exists(root.filePath(QStringLiteral("index"))) ? root.path() : QString();
}

QString BrowserCache::LocalFileName(const QString &address) {
    const QUrl url(address);
    QString name = MakeSafeFileName(url.fileName(QUrl::FullyDecoded));
    if (name.isEmpty())
        name = MakeSafeFileName(url.host());
    return name.isEmpty() ? QStringLiteral("index") : name;
}

QString BrowserCache::localFilePath(const Known &known) const {
    if (m_exportFolder.isEmpty() || !known.entry.HasBody())
        return {};
    return QDir::toNativeSeparators(
        QDir(m_exportFolder).filePath(known.hash + QLatin1Char('/') + LocalFileName(known.entry.address)));
}

qint64 BrowserCache::localFileSize(const Known &known) const {
    const QString path = localFilePath(known);
    if (path.isEmpty())
        return -1;
    const QFileInfo local(path);
    if (isCurrent(local, known.entry.file))
        return local.size();
    // The size as stored: a listing inflates nothing (thousands of small
    // compressed bodies would hold the window up); copying or opening does.
    return known.entry.bodyLength;
}

CacheEntry BrowserCache::toEntry(const Known &known) const {
    CacheEntry entry;
    entry.address = known.entry.address;
    entry.localFile = localFilePath(known);
    if (!entry.localFile.isEmpty())
        entry.size = localFileSize(known);
    return entry;
}

bool BrowserCache::Enumerate(QList<CacheEntry> *entries) {
    entries->clear();
    m_byAddress.clear();
    const QString folder = DataFolder();
    if (folder.isEmpty())
        return true;
    QDir dir(folder);
    if (!dir.isReadable())
        return false;
    const QStringList names = dir.entryList({QStringLiteral("*_0")}, QDir::Files | QDir::Hidden, QDir::Name);
    entries->reserve(names.size());
    for (const QString &name : names) {
        if (!IsSimpleCacheEntryName(name))
            continue;
        std::optional<SimpleCacheEntry> entry = ReadSimpleCacheEntry(dir.filePath(name));
        if (!entry)
            continue; // being written, damaged or not an entry at all
        Known known{std::move(*entry), name.left(16), {}, {}};
        known.modified = QFileInfo(known.entry.file).lastModified();
        known.listed = toEntry(known);
        entries->append(known.listed);
        m_byAddress[known.entry.address].append(std::move(known));
    }
    return true;
}

const QList<BrowserCache::Known> *BrowserCache::find(const QString &address) {
    auto it = m_byAddress.constFind(address);
    if (it == m_byAddress.constEnd()) {
        QList<CacheEntry> ignored;
        Enumerate(&ignored);
        it = m_byAddress.constFind(address);
        if (it == m_byAddress.constEnd())
            return nullptr;
    }
    return &it.value();
}

std::optional<CacheEntry> BrowserCache::Lookup(const QString &address) {
    const QList<Known> *known = find(address);
    if (!known)
        return std::nullopt;
    // Several keys may hold one address; the newest entry is the one in use.
    const Known *best = nullptr;
    for (const Known &k : *known) {
        if (!k.listed.localFile.isEmpty() && (!best || k.modified > best->modified))
            best = &k;
    }
    if (!best)
        return std::nullopt;
    return best->listed;
}

QString BrowserCache::Materialize(const QString &address) {
    const std::optional<CacheEntry> entry = Lookup(address);
    if (!entry)
        return {};
    const QList<Known> *known = find(address);
    const auto it = std::find_if(known->begin(), known->end(),
                                 [&](const Known &k) { return localFilePath(k) == entry->localFile; });
    if (it == known->end())
        return {};
    const QFileInfo local(entry->localFile);
    if (isCurrent(local, it->entry.file))
        return entry->localFile;
    if (!QDir().mkpath(local.path()))
        return {};
    // Written beside its name and moved into place only when complete.
    QSaveFile file(entry->localFile);
    // Unbuffered: a short write shows at the write; the commit would not tell.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {};
    const bool ok = ReadCacheBody(
        it->entry, [&file](const char *data, qint64 length) { return file.write(data, length) == length; });
    if (!ok || !file.commit()) {
        file.cancelWriting();
        file.commit();
        QDir().rmdir(local.path()); // the folder made for it, when nothing else is there
        return {};
    }
    return entry->localFile;
}

bool BrowserCache::Delete(const QString &address) {
    if (address.isEmpty() || address.contains(QLatin1String("cookie"), Qt::CaseInsensitive))
        return false;
    const QList<Known> *known = find(address);
    if (!known)
        return false;
    bool removed = false;
    for (const Known &k : *known) {
        // The file must still hold this address: the engine may have reused the name.
        const std::optional<SimpleCacheEntry> now = ReadSimpleCacheEntry(k.entry.file);
        if (now && now->address != address)
            continue;
        const QString stem = QFileInfo(k.entry.file).path() + QLatin1Char('/') + k.hash;
        for (const char *suffix : {"_0", "_1", "_s"})
            removed |= QFile::remove(stem + QLatin1String(suffix));
        if (!m_exportFolder.isEmpty())
            removeOwnFolder(QDir(m_exportFolder).filePath(k.hash));
    }
    m_byAddress.remove(address);
    return removed;
}

void BrowserCache::ClearExports() {
    if (m_exportFolder.isEmpty())
        return;
    QDir root(m_exportFolder);
    // Only the folders this class made; anything else stays.
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (isEntryHash(name))
            removeOwnFolder(root.filePath(name));
    }
}

bool BrowserCache::ClearEngineCache() {
    WebSession *session = WebSession::Existing();
    if (!session)
        return true; // no engine in this run: the files are all there is
    // Real time, not program time: these are the engine's own durations.
    auto waitReal = [](qint64 ms, const std::function<bool()> &done) {
        QElapsedTimer timer;
        timer.start();
        WaitUntil([&] { return (done && done()) || timer.elapsed() >= ms; }, -1);
        return !done || done();
    };
    if (!waitReal(kEngineIdleWaitMs, [] { return !AnyPageLoading(); }))
        return false;
    session->ClearHttpCache();
    waitReal(kEngineClearSettleMs, {});
    return true;
}

bool BrowserCache::AnyPageLoading() {
    if (WebBrowserView::AnyBusy())
        return true;
    const QList<QWidget *> widgets = QApplication::allWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [](QWidget *w) {
        const auto *view = qobject_cast<QWebEngineView *>(w);
        return view && view->page() && view->page()->isLoading();
    });
}

} // namespace dh
