#pragma once
// Result list files (*.hvls): SQLite databases with one table "导出表" whose
// columns L0..L4 hold a result row's URL, title, type, state and folder.
// A search window writes its rows into an auto-save file as they arrive; any
// list file can be read back into a result list.
#include "search/QueryBuilder.h"
#include "util/SqliteDb.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>

namespace dh {

inline const QString ListFileCreateStatement =
    QStringLiteral("CREATE TABLE 导出表(id INTEGER PRIMARY KEY AUTOINCREMENT, "
                   "L0 nvarchar(500),L1 nvarchar(300) ,L2 nvarchar(10) ,L3 nvarchar(15) ,L4 nvarchar(300) )");
inline const QString ListFileSelectStatement = QStringLiteral("select * from 导出表");
inline const QString ListFileExtension = QStringLiteral("hvls");

// Stored lengths in UTF-16 units (a surrogate pair is never split).
inline constexpr qsizetype ListUrlLength = 500;
inline constexpr qsizetype ListTitleLength = 300;
inline constexpr qsizetype ListTypeLength = 10;
inline constexpr qsizetype ListFolderLength = 300;

// One record, L0..L4.
struct ListRecord {
    QString url;
    QString title;
    QString type;
    QString state;
    QString folder;
    bool operator==(const ListRecord &) const = default;
};

// Opens the list file at `path`, or creates it with the table when there is
// no file. An existing empty database gets the table too.
SqlResult OpenListFile(SqliteDb &connection, const QString &path);

// Adds one record cut to the stored lengths, with L3 empty. Outside an
// explicit transaction the row is committed when this returns. The insert
// statement is prepared once per connection.
SqlResult AppendListRecord(SqliteDb &connection, const QString &url, const QString &title,
                           const QString &type, const QString &folder);

// "<folder>/<yyyyMMddhhmmss>_1.hvls" (web) or "..._2.hvls" (scholar); empty
// when there is no folder.
QString AutoSavePath(const QString &folder, const QDateTime &opened, Engine engine);
// The same in the program folder.
QString AutoSavePath(const QDateTime &opened, Engine engine);

// A search window's auto-save file: its connection, path and the number of
// records written since the window opened.
class AutoSaveList {
public:
    AutoSaveList() = default;
    ~AutoSaveList(); // close()
    AutoSaveList(const AutoSaveList &) = delete;
    AutoSaveList &operator=(const AutoSaveList &) = delete;

    // Closes a file held before. On failure the object stays usable: appends
    // then fail and close() deletes nothing.
    SqlResult open(const QString &path);
    // Counts the record when it was committed.
    SqlResult append(const QString &url, const QString &title, const QString &type, const QString &folder);
    // Drops the connection; a file that received no record is deleted.
    void close();

    bool isOpen() const { return m_db.isOpen(); }
    QString path() const { return m_path; }
    qint64 written() const { return m_written; }

private:
    bool deletable();

    SqliteDb m_db;
    QString m_path;
    QString m_key; // identity of the file among the open auto-save lists
    qint64 m_written = 0;
};

enum class ListFileError {
    Ok,
    NotFound,       // no file at the path
    NotDatabase,    // not an SQLite database, or a damaged one
    NoTable,        // no table "导出表"
    MissingColumns, // the table lacks one of L0..L4
    ReadFailed,     // the file could not be opened or read (rights, locks, I/O)
    TooLarge,       // more records than a list can hold (a view without end, say)
    TooManyBytes,   // a field over MaxListFieldBytes, or more text than MaxListTextBytes
    Cancelled,      // stopped by the caller
};

// More records than any search gives: beyond this a file is refused rather
// than read into memory without bound.
inline constexpr qsizetype MaxListRecords = 1000000;
// Nor does a field of a search result hold more than this, nor a whole list.
inline constexpr qsizetype MaxListFieldBytes = 64 * 1024;
inline constexpr qint64 MaxListTextBytes = qint64(512) * 1024 * 1024;

struct ListFileStatus {
    ListFileError error = ListFileError::Ok;
    QString message; // the engine's text, or the missing columns
    bool ok() const { return error == ListFileError::Ok; }
    explicit operator bool() const { return ok(); }
};

// Reads a list file in table order; never creates or changes one. The file
// is read-locked from the first read() until the last record or close(), and
// a writer meanwhile waits and may fail: read every record before handing
// control to the event loop (100 000 records take a fraction of a second).
// A reader may run on a thread of its own; `cancel` (set from any thread)
// stops a query that runs, however long.
class ListFileReader {
public:
    // Checks the file.
    ListFileStatus open(const QString &path, const std::atomic<bool> *cancel = nullptr);
    // Counts the records (a query of its own).
    qint64 recordCount();
    // Appends up to `max` further records (all when max < 0) to `out`.
    // At the end the file is released and atEnd() is true.
    ListFileStatus read(QList<ListRecord> &out, qsizetype max = -1);
    bool atEnd() const { return m_atEnd; }
    void close();
    // Text the reader takes in all before it refuses the file.
    void setMaxTextBytes(qint64 bytes) { m_maxTextBytes = bytes; }

private:
    ListFileStatus fail(const ListFileStatus &status);
    QString text(int field);

    struct Repeat {
        QByteArray bytes;
        QString text;
        bool null = false;
        bool valid = false;
    };

    ListFileStatus stepFailure();

    SqliteDb m_db;
    SqliteStatement m_select;
    int m_column[5] = {-1, -1, -1, -1, -1};
    bool m_atEnd = true;
    qint64 m_textBytes = 0; // text read so far
    qint64 m_maxTextBytes = MaxListTextBytes;
    const std::atomic<bool> *m_cancel = nullptr;
    Repeat m_last[3]; // type, state, folder of the previous row
};

// Opens and reads every record of the file, then releases it. On a failure
// (more than `maxRecords` records or `maxTextBytes` of text among them)
// `records` is left as it was.
ListFileStatus ReadListFile(const QString &path, QList<ListRecord> &records,
                            const std::atomic<bool> *cancel = nullptr, qsizetype maxRecords = MaxListRecords,
                            qint64 maxTextBytes = MaxListTextBytes);

} // namespace dh
