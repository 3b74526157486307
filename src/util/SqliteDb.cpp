#include "util/SqliteDb.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <sqlite3.h>

#include <climits>
#include <utility>

namespace dh {

namespace {

// A short wait for another connection's write lock; appends commit in a few
// milliseconds, so this only bridges overlapping writes.
constexpr int BusyTimeoutMs = 2000;

SqlResult Misuse(const char *text) {
    return {SQLITE_MISUSE, QString::fromUtf8(text)};
}

} // namespace

// --- SqliteStatement ------------------------------------------------------

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr)), m_error(std::move(other.m_error)) {}

SqliteStatement &SqliteStatement::operator=(SqliteStatement &&other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

SqlResult SqliteStatement::bindText(int index, const QString &text) {
    if (!m_stmt)
        return Misuse("no statement");
    if (text.size() > INT_MAX / 2)
        return {SQLITE_TOOBIG, QString::fromUtf8(sqlite3_errstr(SQLITE_TOOBIG))};
    // utf16() is never null, so an empty or null text binds '' and not NULL.
    const int rc = sqlite3_bind_text16(m_stmt, index, text.utf16(),
                                       static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        return {rc, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)))};
    return {};
}

SqlResult SqliteStatement::bindInt64(int index, qint64 value) {
    if (!m_stmt)
        return Misuse("no statement");
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        return {rc, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)))};
    return {};
}

SqlResult SqliteStatement::bindUtf8(int index, QByteArrayView utf8) {
    if (!m_stmt)
        return Misuse("no statement");
    if (utf8.size() > INT_MAX)
        return {SQLITE_TOOBIG, QString::fromUtf8(sqlite3_errstr(SQLITE_TOOBIG))};
    // A null view still binds '' rather than NULL.
    const int rc = sqlite3_bind_text(m_stmt, index, utf8.data() ? utf8.data() : "",
                                     static_cast<int>(utf8.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        return {rc, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)))};
    return {};
}

SqliteStatement::Step SqliteStatement::step() {
    if (!m_stmt) {
        m_error = Misuse("no statement");
        return Step::Error;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
        m_error = {};
        return rc == SQLITE_ROW ? Step::Row : Step::Done;
    }
    m_error = {rc, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)))};
    return Step::Error;
}

void SqliteStatement::reset() {
    if (m_stmt)
        sqlite3_reset(m_stmt);
    m_error = {};
}

int SqliteStatement::columnCount() const {
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString SqliteStatement::columnName(int column) const {
    if (!m_stmt || column < 0 || column >= sqlite3_column_count(m_stmt))
        return {};
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString SqliteStatement::columnText(int column) const {
    const QByteArrayView bytes = columnUtf8(column);
    return bytes.isNull() ? QString() : QString::fromUtf8(bytes);
}

QByteArrayView SqliteStatement::columnUtf8(int column) const {
    // Out-of-range reads are undefined in the engine, so they are checked here.
    if (!m_stmt || column < 0 || column >= sqlite3_data_count(m_stmt))
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!text)
        return {};
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

qint64 SqliteStatement::columnInt64(int column) const {
    if (!m_stmt || column < 0 || column >= sqlite3_data_count(m_stmt))
        return 0;
    return sqlite3_column_int64(m_stmt, column);
}

// --- SqliteDb -------------------------------------------------------------

SqliteDb::~SqliteDb() {
    close();
}

SqliteDb::SqliteDb(SqliteDb &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_path(std::move(other.m_path)),
      m_cache(std::move(other.m_cache)) {}

SqliteDb &SqliteDb::operator=(SqliteDb &&other) noexcept {
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_path = std::move(other.m_path);
        m_cache = std::move(other.m_cache);
    }
    return *this;
}

SqlResult SqliteDb::failure(int code) const {
    return {code, m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code))};
}

namespace {

// A database in write-ahead mode (bytes 18 and 19 of its header are 2).
bool IsWalModeFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && header[18] == 2 && header[19] == 2;
}

} // namespace

SqlResult SqliteDb::open(const QString &path, Open mode) {
    close();
    // The engine reads an empty name as a private temporary database.
    if (path.isEmpty())
        return {SQLITE_CANTOPEN, QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN))};
    int flags = mode == Open::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (mode == Open::CreateIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    QByteArray name = path.toUtf8();
    // Read only, the engine would still make a -wal and -shm beside a file in
    // write-ahead mode. Without a -wal of its own the main file holds all of
    // it, and is read as a file that cannot change.
    if (mode == Open::ReadOnly && IsWalModeFile(path) && !QFileInfo::exists(path + QStringLiteral("-wal"))) {
        name = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
        flags |= SQLITE_OPEN_URI;
    }
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        SqlResult result{rc,
                         db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc))};
        sqlite3_close_v2(db);
        return result;
    }
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    if (mode == Open::ReadOnly) {
        // Views and triggers of a file from elsewhere run nothing of their own.
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    }
    m_db = db;
    m_path = path;
    return {};
}

void SqliteDb::close() {
    m_cache.clear(); // statements first, so the close below is complete
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
}

SqlResult SqliteDb::exec(const QString &sql) {
    if (!m_db)
        return Misuse("database not open");
    char *error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    SqlResult result;
    if (rc != SQLITE_OK)
        result = {rc, error ? QString::fromUtf8(error) : QString::fromUtf8(sqlite3_errstr(rc))};
    sqlite3_free(error);
    return result;
}

SqlResult SqliteDb::prepare(const QString &sql, SqliteStatement &out) {
    out = SqliteStatement();
    if (!m_db)
        return Misuse("database not open");
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return failure(rc);
    }
    if (!stmt)
        return Misuse("empty statement");
    out = SqliteStatement(stmt);
    return {};
}

SqliteStatement *SqliteDb::cached(const QString &sql, SqlResult *result) {
    SqlResult status;
    SqliteStatement *stmt = nullptr;
    if (auto it = m_cache.find(sql); it != m_cache.end()) {
        stmt = it->second.get();
        stmt->reset();
    } else {
        auto fresh = std::make_unique<SqliteStatement>();
        status = prepare(sql, *fresh);
        if (status)
            stmt = m_cache.emplace(sql, std::move(fresh)).first->second.get();
    }
    if (result)
        *result = status;
    return stmt;
}

SqlResult SqliteDb::queryInt64(const QString &sql, qint64 &value) {
    value = 0;
    SqliteStatement stmt;
    if (SqlResult r = prepare(sql, stmt); !r)
        return r;
    switch (stmt.step()) {
    case SqliteStatement::Step::Row:
        value = stmt.columnInt64(0);
        return {};
    case SqliteStatement::Step::Done:
        return {SQLITE_DONE, QStringLiteral("no row")};
    case SqliteStatement::Step::Error:
        break;
    }
    return stmt.lastError();
}

} // namespace dh
