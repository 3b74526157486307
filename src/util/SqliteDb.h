#pragma once
// A small RAII layer over the SQLite C library: one connection, prepared
// statements, errors as values carrying the engine's message. Nothing here
// throws; every call on a closed connection or an empty statement answers
// with an error.
#include <QByteArrayView>
#include <QString>
#include <map>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace dh {

struct SqlResult {
    int code = 0;    // SQLite result code, 0 = SQLITE_OK
    QString message; // the engine's text for a failure
    bool ok() const { return code == 0; }
    explicit operator bool() const { return ok(); }
};

class SqliteStatement {
public:
    enum class Step { Row, Done, Error };

    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&other) noexcept;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    // 1-based parameter index. A null QString binds the empty text, not NULL.
    SqlResult bindText(int index, const QString &text);
    SqlResult bindInt64(int index, qint64 value);
    // UTF-8 bytes that stay valid until the statement has been stepped (not copied).
    SqlResult bindUtf8(int index, QByteArrayView utf8);
    Step step();
    // The failure of the last step(); code 0 after a Row or Done.
    const SqlResult &lastError() const { return m_error; }
    // Ready to run again; keeps the bindings.
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    // 0-based; NULL reads as a null QString.
    QString columnText(int column) const;
    // The stored bytes, valid until the next step(); NULL reads as a null view.
    QByteArrayView columnUtf8(int column) const;
    qint64 columnInt64(int column) const;

private:
    friend class SqliteDb;
    explicit SqliteStatement(sqlite3_stmt *stmt) : m_stmt(stmt) {}
    sqlite3_stmt *m_stmt = nullptr;
    SqlResult m_error;
};

class SqliteDb {
public:
    enum class Open {
        Existing,        // read and write; fails when there is no file
        CreateIfMissing, // read and write; creates an empty database
        ReadOnly,        // a file handed in: read only, its schema untrusted
    };

    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(SqliteDb &&other) noexcept;
    SqliteDb &operator=(SqliteDb &&other) noexcept;
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    // Closes any connection held before.
    SqlResult open(const QString &path, Open mode);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // Runs one or more statements, ignoring any rows.
    SqlResult exec(const QString &sql);
    SqlResult prepare(const QString &sql, SqliteStatement &out);
    // A statement kept by the connection and prepared once; reset and ready
    // to bind on every call. nullptr on failure (the result tells why).
    SqliteStatement *cached(const QString &sql, SqlResult *result = nullptr);
    // First column of the first row as a number (count(*) queries).
    SqlResult queryInt64(const QString &sql, qint64 &value);

    sqlite3 *handle() const { return m_db; }

private:
    SqlResult failure(int code) const;

    sqlite3 *m_db = nullptr;
    QString m_path;
    std::map<QString, std::unique_ptr<SqliteStatement>> m_cache;
};

} // namespace dh
