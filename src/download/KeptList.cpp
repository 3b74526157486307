#include "download/KeptList.h"

#include "download/DownloadListModel.h"
#include "util/Clock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <vector>

#include <sqlite3.h>

namespace dh {

namespace {

const QString kFileName = QStringLiteral("downloads.sqlite");
const QString kLockName = QStringLiteral("downloads.lock");
constexpr qint64 kApplicationId = 0x44484b4c; // "DHKL"
// More rows than any list the program would make: a file that says otherwise is not read whole.
constexpr qint64 kMaxRows = 2000000;
// A change to more rows than this at once is written as a whole new list.
constexpr int kRowsForWhole = 20000;

const char kColumns[] =
    "uid, position, key, name, type, size, received, percent, folder, column_b, referrer, "
    "state, result, partial_path, partial_address, etag, last_modified, total";

const char kCreate[] = "CREATE TABLE items ("
                       "uid INTEGER PRIMARY KEY, position INTEGER NOT NULL, key TEXT NOT NULL, "
                       "name TEXT NOT NULL, type TEXT NOT NULL, size TEXT NOT NULL, received TEXT NOT NULL, "
                       "percent TEXT NOT NULL, folder TEXT NOT NULL, column_b TEXT NOT NULL, "
                       "referrer TEXT NOT NULL, state INTEGER NOT NULL, result TEXT NOT NULL, "
                       "partial_path TEXT NOT NULL, partial_address TEXT NOT NULL, etag TEXT NOT NULL, "
                       "last_modified TEXT NOT NULL, total INTEGER NOT NULL)";

// The deterministic partial file of an item, when nothing records it: what
// a process killed before its last write left behind.
void dropUnrecordedPartial(const DownloadItem &item) {
    DownloadItem probe = item;
    probe.partialPath = PartialPathFor(item);
    if (QFileInfo(probe.partialPath).exists())
        DropPartial(probe);
}

} // namespace

KeptList::KeptList(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder), m_lock(QDir(folder).filePath(kLockName)) {
    // A lock is stale only when its program is gone, never by its age.
    m_lock.setStaleLockTime(0);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { Flush(); });
}

KeptList::~KeptList() {
    Flush();
    m_db.close();
    if (m_lock.isLocked())
        m_lock.unlock();
}

QString KeptList::FilePath() const {
    return QDir(m_folder).filePath(kFileName);
}

KeptList::Status KeptList::Open() {
    if (m_db.isOpen())
        return m_status;
    if (!QDir().mkpath(m_folder))
        return m_status = Status::Failed;
    if (!m_lock.tryLock(0))
        return m_status = m_lock.error() == QLockFile::LockFailedError ? Status::Locked : Status::Failed;
    if (openFile() && usable())
        return m_status = Status::Ready;
    setAside();
    if (openFile() && usable())
        return m_status = Status::SetAside;
    m_db.close();
    m_lock.unlock();
    return m_status = Status::Failed;
}

bool KeptList::openFile() {
    if (!m_db.open(FilePath(), SqliteDb::Open::CreateIfMissing))
        return false;
    sqlite3_db_config(m_db.handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    m_db.exec(QStringLiteral("PRAGMA trusted_schema = OFF"));
    return true;
}

// A file of ours, of a version we know, with its table; an empty one gets them.
bool KeptList::usable() {
    SqliteStatement check;
    if (!m_db.prepare(QStringLiteral("PRAGMA quick_check"), check) ||
        check.step() != SqliteStatement::Step::Row || check.columnText(0) != QLatin1String("ok"))
        return false;
    check = SqliteStatement();
    qint64 id = 0, version = 0, tables = 0;
    if (!m_db.queryInt64(QStringLiteral("PRAGMA application_id"), id) ||
        !m_db.queryInt64(QStringLiteral("PRAGMA user_version"), version) ||
        !m_db.queryInt64(QStringLiteral("SELECT count(*) FROM sqlite_master"), tables))
        return false;
    if (id == 0 && version == 0 && tables == 0) {
        return m_db.exec(QStringLiteral("PRAGMA journal_mode = WAL")) &&
               m_db.exec(
                   QStringLiteral("BEGIN; %1; PRAGMA application_id = %2; PRAGMA user_version = %3; COMMIT")
                       .arg(QString::fromLatin1(kCreate))
                       .arg(kApplicationId)
                       .arg(SchemaVersion)) &&
               m_db.exec(QStringLiteral("PRAGMA synchronous = NORMAL")) &&
               m_db.exec(QStringLiteral("PRAGMA cache_size = -65536"));
    }
    if (id != kApplicationId || version != SchemaVersion)
        return false;
    // Every column read below, by name.
    SqliteStatement probe;
    if (!m_db.prepare(QStringLiteral("SELECT %1 FROM items LIMIT 0").arg(QString::fromLatin1(kColumns)),
                      probe))
        return false;
    return m_db.exec(QStringLiteral("PRAGMA journal_mode = WAL")) &&
           m_db.exec(QStringLiteral("PRAGMA synchronous = NORMAL")) &&
           m_db.exec(QStringLiteral("PRAGMA cache_size = -65536"));
}

// Renames the unreadable file (and its journal) to a free name beside it.
void KeptList::setAside() {
    m_db.close();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    QString target;
    for (int n = 0; target.isEmpty() || QFileInfo::exists(target); ++n)
        target = FilePath() + QStringLiteral(".unreadable-") + stamp +
                 (n > 0 ? QStringLiteral("-%1").arg(n) : QString());
    if (!QFile::rename(FilePath(), target))
        return;
    m_setAside = target;
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString part = FilePath() + QLatin1String(suffix);
        if (QFileInfo::exists(part))
            QFile::rename(part, target + QLatin1String(suffix));
    }
}

std::vector<DownloadItem> KeptList::Load() {
    std::vector<DownloadItem> items;
    if (m_status != Status::Ready && m_status != Status::SetAside)
        return items;
    SqliteStatement select;
    if (!m_db.prepare(QStringLiteral("SELECT %1 FROM items ORDER BY position, uid LIMIT %2")
                          .arg(QString::fromLatin1(kColumns))
                          .arg(kMaxRows),
                      select))
        return items;
    while (select.step() == SqliteStatement::Step::Row) {
        DownloadItem item;
        item.uid = quint64(select.columnInt64(0));
        item.key = select.columnText(2);
        item.name = select.columnText(3);
        item.type = select.columnText(4);
        item.size = select.columnText(5);
        item.received = select.columnText(6);
        item.percent = select.columnText(7);
        item.folder = select.columnText(8);
        item.columnB = select.columnText(9);
        item.referrer = select.columnText(10);
        const qint64 state = select.columnInt64(11);
        item.state = state >= 1 && state <= 4 ? ItemState(state) : ItemState::Waiting;
        item.result = select.columnText(12);
        item.partialPath = select.columnText(13);
        item.partial.address = select.columnText(14);
        item.partial.etag = select.columnText(15).toLatin1();
        item.partial.lastModified = select.columnText(16).toLatin1();
        item.partial.total = select.columnInt64(17);
        if (!item.key.isEmpty())
            items.push_back(std::move(item));
    }
    return items;
}

void KeptList::Discard(std::vector<DownloadItem> &items) {
    for (DownloadItem &item : items) {
        DropPartial(item);
        dropUnrecordedPartial(item);
    }
    items.clear();
    if (m_db.isOpen())
        m_db.exec(QStringLiteral("DELETE FROM items"));
}

void KeptList::Attach(DownloadListModel *model) {
    if (m_status != Status::Ready && m_status != Status::SetAside)
        return;
    m_model = model;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { markRows(first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                markRows(topLeft.row(), bottomRight.row());
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &KeptList::markAll);
    connect(model, &QAbstractItemModel::modelReset, this, &KeptList::markAll);
    connect(model, &QAbstractItemModel::layoutChanged, this, &KeptList::markAll);
    if (model->Count() > 0)
        markAll();
}

void KeptList::markRows(int first, int last) {
    if (!m_model)
        return;
    if (last - first >= kRowsForWhole)
        return markAll();
    for (int row = std::max(0, first); row <= last && row < m_model->Count(); ++row)
        m_dirty.insert(m_model->Item(row).uid);
    if (!m_timer->isActive())
        m_timer->start(Clock::RealInterval(Durations::Second));
}

void KeptList::markAll() {
    m_all = true;
    m_dirty.clear();
    if (!m_timer->isActive())
        m_timer->start(Clock::RealInterval(Durations::Second));
}

bool KeptList::writeRow(SqliteStatement *insert, int row, const QSet<quint64> &asWaiting) {
    const DownloadItem &item = m_model->Item(row);
    // Cut short by the window's end: it goes on at the next start.
    const bool waiting = asWaiting.contains(item.uid) && item.state != ItemState::Done;
    insert->reset();
    const QString none;
    const QString *texts[] = {&item.key,
                              &item.name,
                              &item.type,
                              waiting ? &none : &item.size,
                              waiting ? &none : &item.received,
                              waiting ? &none : &item.percent,
                              &item.folder,
                              &item.columnB,
                              &item.referrer};
    QByteArray utf8[12]; // alive until the step: bound without a copy
    for (int i = 0; i < 9; ++i) {
        utf8[i] = texts[i]->toUtf8();
        insert->bindUtf8(3 + i, utf8[i]);
    }
    utf8[9] = waiting ? QByteArray() : item.result.toUtf8();
    utf8[10] = item.partialPath.toUtf8();
    utf8[11] = item.partial.address.toUtf8();
    insert->bindInt64(1, qint64(item.uid));
    insert->bindInt64(2, row);
    insert->bindInt64(12, int(waiting ? ItemState::Waiting : item.state));
    insert->bindUtf8(13, utf8[9]);
    insert->bindUtf8(14, utf8[10]);
    insert->bindUtf8(15, utf8[11]);
    insert->bindUtf8(16, item.partial.etag);
    insert->bindUtf8(17, item.partial.lastModified);
    insert->bindInt64(18, item.partial.total);
    return insert->step() == SqliteStatement::Step::Done;
}

void KeptList::Flush(const QSet<quint64> &asWaiting) {
    m_timer->stop();
    if (!m_model || !m_db.isOpen() || (!m_all && m_dirty.isEmpty() && asWaiting.isEmpty()))
        return;
    if (!m_db.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return m_timer->start(Clock::RealInterval(Durations::Second)); // another time
    static const QString sql =
        QStringLiteral("INSERT OR REPLACE INTO items (%1) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                       "?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)")
            .arg(QString::fromLatin1(kColumns));
    SqliteStatement *insert = m_db.cached(sql);
    bool ok = insert != nullptr;
    // In uid order, the table's key order, so that rows are appended rather than scattered.
    std::vector<quint64> uids;
    if (m_all) {
        ok = ok && m_db.exec(QStringLiteral("DELETE FROM items")).ok();
        uids.reserve(size_t(m_model->Count()));
        for (int row = 0; row < m_model->Count(); ++row)
            uids.push_back(m_model->Item(row).uid);
    } else {
        uids.assign(m_dirty.cbegin(), m_dirty.cend());
        uids.insert(uids.end(), asWaiting.cbegin(), asWaiting.cend());
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    for (auto it = uids.cbegin(); ok && it != uids.cend(); ++it) {
        const int row = m_model->RowOfUid(*it);
        if (row >= 0) {
            ok = writeRow(insert, row, asWaiting);
        } else if (SqliteStatement *remove =
                       m_db.cached(QStringLiteral("DELETE FROM items WHERE uid = ?1"))) {
            remove->bindInt64(1, qint64(*it));
            ok = remove->step() == SqliteStatement::Step::Done;
        }
    }
    if (!ok || !m_db.exec(QStringLiteral("COMMIT"))) {
        m_db.exec(QStringLiteral("ROLLBACK"));
        m_timer->start(Clock::RealInterval(Durations::Second)); // kept for the next try
        return;
    }
    ++m_writes;
    m_all = false;
    m_dirty.clear();
}

void PrepareRestored(std::vector<DownloadItem> &items) {
    for (DownloadItem &item : items) {
        if (item.state == ItemState::Downloading) {
            item.state = ItemState::Waiting;
            item.size.clear();
            item.received.clear();
            item.percent.clear();
        }
        if (item.state == ItemState::Waiting)
            item.result.clear(); // a countdown of the last run means nothing now
        if (item.partialPath.isEmpty()) {
            dropUnrecordedPartial(item);
            continue;
        }
        const QFileInfo partial(item.partialPath);
        const bool fits = HasOwnPartial(item) && partial.isFile() && !partial.isSymLink() &&
                          partial.size() > 0 && item.partial.Usable() && partial.size() < item.partial.total;
        if (!fits)
            DropPartial(item);
    }
}

int UnfinishedCount(const std::vector<DownloadItem> &items) {
    return int(std::count_if(items.begin(), items.end(),
                             [](const DownloadItem &item) { return item.state != ItemState::Done; }));
}

} // namespace dh
