#include "search/ListFile.h"

#include "util/FileHelpers.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <utility>

namespace dh {

namespace {

const QString InsertStatement = QStringLiteral("INSERT INTO 导出表(L0,L1,L2,L3,L4) VALUES(?1,?2,?3,?4,?5)");
const QString TableCount = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('table','view') "
                                          "AND name='导出表'");
const QString SchemaCount = QStringLiteral("SELECT count(*) FROM sqlite_master");

QString Cut(const QString &text, qsizetype length) {
    if (text.size() <= length)
        return text;
    // Keep a pair whole by leaving out its high half.
    if (length > 0 && text.at(length - 1).isHighSurrogate() && text.at(length).isLowSurrogate())
        --length;
    return text.left(length);
}

// Auto-save lists open in this process, by file: one that wrote nothing must
// not delete a file another window still writes to.
QHash<QString, int> &OpenAutoSaveFiles() {
    static QHash<QString, int> files;
    return files;
}

QString FileKey(const QString &path) {
    const QString absolute = QFileInfo(LocalFilePath(path)).absoluteFilePath();
#ifdef Q_OS_WIN
    return absolute.toCaseFolded();
#else
    return absolute;
#endif
}

ListFileStatus Failed(const SqlResult &result) {
    const int primary = result.code & 0xff;
    const bool damaged = primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
    return {damaged ? ListFileError::NotDatabase : ListFileError::ReadFailed, result.message};
}

} // namespace

SqlResult OpenListFile(SqliteDb &connection, const QString &path) {
    // Open what the existence test looked at.
    const QString local = LocalFilePath(path);
    if (FileExists(local)) {
        if (SqlResult r = connection.open(local, SqliteDb::Open::Existing); !r)
            return r;
        // A file left empty (its creation was cut short) is made a list file.
        qint64 objects = 0;
        if (SqlResult r = connection.queryInt64(SchemaCount, objects); !r)
            return r;
        return objects == 0 ? connection.exec(ListFileCreateStatement) : SqlResult{};
    }
    if (SqlResult r = connection.open(local, SqliteDb::Open::CreateIfMissing); !r)
        return r;
    return connection.exec(ListFileCreateStatement);
}

SqlResult AppendListRecord(SqliteDb &connection, const QString &url, const QString &title,
                           const QString &type, const QString &folder) {
    SqlResult result;
    SqliteStatement *insert = connection.cached(InsertStatement, &result);
    if (!insert)
        return result;
    const QString texts[5] = {Cut(url, ListUrlLength), Cut(title, ListTitleLength), Cut(type, ListTypeLength),
                              QString(), Cut(folder, ListFolderLength)};
    for (int i = 0; i < 5; ++i) {
        if (result = insert->bindText(i + 1, texts[i]); !result)
            return result;
    }
    const bool failed = insert->step() == SqliteStatement::Step::Error;
    result = insert->lastError();
    insert->reset();
    return failed ? result : SqlResult{};
}

QString AutoSavePath(const QString &folder, const QDateTime &opened, Engine engine) {
    if (folder.isEmpty())
        return {}; // no program folder: no auto-save file, rather than one at the root
    const QDateTime time = opened.isValid() ? opened : QDateTime::currentDateTime();
    return WithTrailingSeparator(folder) + time.toString(QStringLiteral("yyyyMMddhhmmss")) +
           (engine == Engine::Web ? QStringLiteral("_1.hvls") : QStringLiteral("_2.hvls"));
}

QString AutoSavePath(const QDateTime &opened, Engine engine) {
    return AutoSavePath(ProgramFolder(), opened, engine);
}

// --- AutoSaveList ---------------------------------------------------------

AutoSaveList::~AutoSaveList() {
    close();
}

SqlResult AutoSaveList::open(const QString &path) {
    close();
    m_path = path;
    m_key = FileKey(path);
    ++OpenAutoSaveFiles()[m_key];
    return OpenListFile(m_db, path);
}

SqlResult AutoSaveList::append(const QString &url, const QString &title, const QString &type,
                               const QString &folder) {
    SqlResult result = AppendListRecord(m_db, url, title, type, folder);
    if (result)
        ++m_written;
    return result;
}

// Deleted only when it is certainly empty: nothing written here, no other
// list of this process has it open, and the table holds no row (another
// program instance may have written to a file of the same name).
bool AutoSaveList::deletable() {
    if (m_written != 0 || OpenAutoSaveFiles().value(m_key) > 1 || !m_db.isOpen())
        return false;
    qint64 rows = 0;
    if (m_db.queryInt64(QStringLiteral("SELECT count(*) FROM 导出表"), rows))
        return rows == 0;
    // No table: a file whose creation failed. Anything else is not ours.
    qint64 objects = 1;
    return m_db.queryInt64(SchemaCount, objects) && objects == 0;
}

void AutoSaveList::close() {
    if (m_path.isEmpty())
        return;
    const bool remove = deletable();
    m_db.close();
    auto &files = OpenAutoSaveFiles();
    if (--files[m_key] <= 0)
        files.remove(m_key);
    if (remove && FileExists(m_path))
        QFile::remove(LocalFilePath(m_path));
    m_path.clear();
    m_key.clear();
    m_written = 0;
}

// --- ListFileReader -------------------------------------------------------

ListFileStatus ListFileReader::fail(const ListFileStatus &status) {
    close();
    return status;
}

ListFileStatus ListFileReader::stepFailure() {
    if (m_cancel && m_cancel->load())
        return fail({ListFileError::Cancelled, QStringLiteral("stopped")});
    return fail(Failed(m_select.lastError()));
}

ListFileStatus ListFileReader::open(const QString &path, const std::atomic<bool> *cancel) {
    close();
    m_cancel = cancel;
    const QString local = LocalFilePath(path);
    if (QFileInfo(local).isDir())
        return {ListFileError::NotDatabase, QStringLiteral("a folder, not a file")};
    if (!FileExists(local))
        return {ListFileError::NotFound, QStringLiteral("no such file")};
    // The user's file is only read: nothing is rolled back or written beside it.
    if (SqlResult r = m_db.open(local, SqliteDb::Open::ReadOnly); !r)
        return fail(Failed(r));
    if (m_cancel) {
        // Every few thousand steps of a query: a set flag interrupts it.
        sqlite3_progress_handler(
            m_db.handle(), 4096,
            [](void *flag) { return static_cast<const std::atomic<bool> *>(flag)->load() ? 1 : 0; },
            const_cast<std::atomic<bool> *>(m_cancel));
    }
    // The first read of the schema tells a database from any other file.
    qint64 tables = 0;
    if (SqlResult r = m_db.queryInt64(TableCount, tables); !r)
        return fail(Failed(r));
    if (tables == 0)
        return fail({ListFileError::NoTable, QStringLiteral("no such table: 导出表")});
    if (SqlResult r = m_db.prepare(ListFileSelectStatement, m_select); !r)
        return fail(Failed(r));
    QStringList missing;
    for (int i = 0; i < 5; ++i) {
        const QString name = QLatin1Char('L') + QString::number(i);
        m_column[i] = -1;
        for (int c = 0; c < m_select.columnCount() && m_column[i] < 0; ++c) {
            if (m_select.columnName(c).compare(name, Qt::CaseInsensitive) == 0)
                m_column[i] = c;
        }
        if (m_column[i] < 0)
            missing << name;
    }
    if (!missing.isEmpty())
        return fail({ListFileError::MissingColumns,
                     QStringLiteral("missing columns: ") + missing.join(QStringLiteral(", "))});
    m_atEnd = false;
    return {};
}

qint64 ListFileReader::recordCount() {
    qint64 count = 0;
    if (!m_db.isOpen() || !m_db.queryInt64(QStringLiteral("select count(*) from 导出表"), count))
        return 0;
    return count;
}

ListFileStatus ListFileReader::read(QList<ListRecord> &out, qsizetype max) {
    if (m_atEnd)
        return {};
    for (qsizetype n = 0; max < 0 || n < max; ++n) {
        switch (m_select.step()) {
        case SqliteStatement::Step::Row: {
            // Bytes are counted before any text is made of them.
            for (int field = 0; field < 5; ++field) {
                const qsizetype bytes = m_select.columnUtf8(m_column[field]).size();
                m_textBytes += bytes;
                if (bytes > MaxListFieldBytes || m_textBytes > m_maxTextBytes) {
                    m_atEnd = true;
                    return fail({ListFileError::TooManyBytes, QStringLiteral("too much text")});
                }
            }
            out.append({text(0), text(1), text(2), text(3), text(4)});
            break;
        }
        case SqliteStatement::Step::Done:
            m_atEnd = true;
            m_select = SqliteStatement(); // releases the read lock
            return {};
        case SqliteStatement::Step::Error:
            return stepFailure();
        }
    }
    return {};
}

// Type, state and folder repeat from row to row: a repeated value shares
// the previous row's text, which saves most allocations and memory.
QString ListFileReader::text(int field) {
    const QByteArrayView bytes = m_select.columnUtf8(m_column[field]);
    if (field < 2)
        return bytes.isNull() ? QString() : QString::fromUtf8(bytes);
    Repeat &last = m_last[field - 2];
    if (!last.valid || bytes.isNull() != last.null || bytes != QByteArrayView(last.bytes)) {
        last = {bytes.toByteArray(), bytes.isNull() ? QString() : QString::fromUtf8(bytes), bytes.isNull(),
                true};
    }
    return last.text;
}

void ListFileReader::close() {
    m_select = SqliteStatement();
    m_db.close();
    m_cancel = nullptr;
    m_atEnd = true;
    m_textBytes = 0;
    for (Repeat &last : m_last)
        last = {};
}

ListFileStatus ReadListFile(const QString &path, QList<ListRecord> &records, const std::atomic<bool> *cancel,
                            qsizetype maxRecords, qint64 maxTextBytes) {
    ListFileReader reader;
    reader.setMaxTextBytes(maxTextBytes);
    if (ListFileStatus status = reader.open(path, cancel); !status)
        return status;
    const qsizetype before = records.size();
    ListFileStatus status;
    while (status && !reader.atEnd()) {
        status = reader.read(records, 8192);
        if (status && records.size() - before > maxRecords)
            status = {ListFileError::TooLarge, QStringLiteral("more than %1 records").arg(maxRecords)};
    }
    if (!status) {
        records.resize(before);
        records.squeeze();
    }
    return status;
}

} // namespace dh
