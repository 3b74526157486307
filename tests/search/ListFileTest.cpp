#include "search/ListFile.h"

#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace dh {
inline void PrintTo(const ListRecord &r, std::ostream *os) {
    *os << '{' << r.url.toStdString() << " | " << r.title.toStdString() << " | " << r.type.toStdString()
        << " | " << r.state.toStdString() << " | " << r.folder.toStdString() << '}';
}
} // namespace dh

using namespace dh;

namespace {

QString Url(int i) {
    return QStringLiteral("https://example.org/doc/%1.pdf").arg(i);
}

// One text value of the first row of a query on a file of its own.
QString QueryText(const QString &path, const QString &sql) {
    SqliteDb db;
    if (!db.open(path, SqliteDb::Open::Existing))
        return QStringLiteral("<no database>");
    SqliteStatement stmt;
    if (!db.prepare(sql, stmt) || stmt.step() != SqliteStatement::Step::Row)
        return QStringLiteral("<no row>");
    return stmt.columnText(0);
}

QString MakeDatabase(const QString &path, const QString &schema) {
    SqliteDb db;
    EXPECT_TRUE(db.open(path, SqliteDb::Open::CreateIfMissing));
    EXPECT_TRUE(db.exec(schema));
    return path;
}

class ListFileTest : public ::testing::Test {
protected:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ListFileTest, NewFileHasExactlyTheCreateStatement) {
    const QString path = file(QStringLiteral("a.hvls"));
    {
        SqliteDb db;
        ASSERT_TRUE(OpenListFile(db, path));
    }
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QueryText(path, QStringLiteral("SELECT sql FROM sqlite_master WHERE name='导出表'")),
              QStringLiteral("CREATE TABLE 导出表(id INTEGER PRIMARY KEY AUTOINCREMENT, L0 "
                             "nvarchar(500),L1 nvarchar(300) ,L2 nvarchar(10) ,L3 nvarchar(15) "
                             ",L4 nvarchar(300) )"));
}

TEST_F(ListFileTest, AppendCutsToStoredLengthsAndKeepsPairsWhole) {
    const QString path = file(QStringLiteral("a.hvls"));
    SqliteDb db;
    ASSERT_TRUE(OpenListFile(db, path));
    const QString title(400, QLatin1Char('t'));
    ASSERT_TRUE(AppendListRecord(db, QString(600, QLatin1Char('u')), title, QStringLiteral("PDFPDFPDFPDF"),
                                 QString(350, QLatin1Char('f'))));
    // A pair whose high half is character 300 is left out as a whole.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    ASSERT_TRUE(AppendListRecord(db, Url(2), QString(299, QLatin1Char('a')) + emoji + QLatin1Char('b'),
                                 QStringLiteral("doc"), QString()));
    ASSERT_TRUE(AppendListRecord(db, Url(3), QStringLiteral("a") + emoji, QString(), QString()));

    QList<ListRecord> rows;
    ASSERT_TRUE(ReadListFile(path, rows));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].url, QString(500, QLatin1Char('u')));
    EXPECT_EQ(rows[0].title, title.left(300));
    EXPECT_EQ(rows[0].type, QStringLiteral("PDFPDFPDFP"));
    EXPECT_EQ(rows[0].folder, QString(300, QLatin1Char('f')));
    EXPECT_EQ(rows[1].title, QString(299, QLatin1Char('a')));
    EXPECT_EQ(rows[2].title, QStringLiteral("a") + emoji);
    // L3 and an empty folder are the empty text, not NULL.
    EXPECT_EQ(QueryText(path, QStringLiteral("SELECT typeof(L3)||typeof(L4) FROM 导出表 WHERE id=2")),
              QStringLiteral("texttext"));
    EXPECT_TRUE(rows[1].state.isEmpty());
}

TEST_F(ListFileTest, ReopenedFileIsAppendedTo) {
    const QString path = file(QStringLiteral("a.hvls"));
    for (int i = 0; i < 2; ++i) {
        SqliteDb db;
        ASSERT_TRUE(OpenListFile(db, path));
        ASSERT_TRUE(AppendListRecord(db, Url(i), QStringLiteral("t"), QString(), QString()));
    }
    QList<ListRecord> rows;
    ASSERT_TRUE(ReadListFile(path, rows));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].url, Url(1));

    // An empty database left by a cut-short creation becomes a list file.
    const QString empty = file(QStringLiteral("empty.hvls"));
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    SqliteDb db;
    ASSERT_TRUE(OpenListFile(db, empty));
    EXPECT_TRUE(AppendListRecord(db, Url(0), QString(), QString(), QString()));
}

TEST_F(ListFileTest, AutoSavePathFromOpeningTime) {
    const QDateTime opened(QDate(2024, 3, 5), QTime(23, 8, 9));
    const QString folder = m_dir.path();
    EXPECT_EQ(AutoSavePath(folder, opened, Engine::Web),
              folder + QDir::separator() + QStringLiteral("20240305230809_1.hvls"));
    EXPECT_EQ(AutoSavePath(folder + QDir::separator(), opened, Engine::Scholar),
              folder + QDir::separator() + QStringLiteral("20240305230809_2.hvls"));
    EXPECT_TRUE(AutoSavePath(QString(), opened, Engine::Web).isEmpty());
}

TEST_F(ListFileTest, CloseDeletesOnlyAnAutoSaveFileWithoutRecords) {
    const QString unused = file(QStringLiteral("1_1.hvls"));
    {
        AutoSaveList list; // a window opened and closed without rows
        ASSERT_TRUE(list.open(unused));
        EXPECT_TRUE(QFile::exists(unused));
    }
    EXPECT_FALSE(QFile::exists(unused));

    const QString used = file(QStringLiteral("2_1.hvls"));
    AutoSaveList list;
    ASSERT_TRUE(list.open(used));
    ASSERT_TRUE(list.append(Url(1), QStringLiteral("t"), QStringLiteral("PDF"), QString()));
    EXPECT_EQ(list.written(), 1);
    list.close();
    EXPECT_TRUE(QFile::exists(used));
    EXPECT_EQ(QueryText(used, QStringLiteral("SELECT L0 FROM 导出表")), Url(1));

    // Reopened by a window that writes nothing: rows written before stay.
    ASSERT_TRUE(list.open(used));
    list.close();
    EXPECT_TRUE(QFile::exists(used));
}

TEST_F(ListFileTest, EmptyCloseKeepsAFileAnotherListStillWrites) {
    // Two windows of one kind opened in the same second share the path.
    const QString path = file(QStringLiteral("3_1.hvls"));
    AutoSaveList first;
    auto second = std::make_unique<AutoSaveList>();
    ASSERT_TRUE(first.open(path));
    ASSERT_TRUE(second->open(path));
    second.reset();
    ASSERT_TRUE(QFile::exists(path));
    ASSERT_TRUE(first.append(Url(1), QString(), QString(), QString()));
    first.close();
    EXPECT_EQ(QueryText(path, QStringLiteral("SELECT count(*) FROM 导出表")), QStringLiteral("1"));
}

TEST_F(ListFileTest, ReaderReturnsRowsInOrderAndReleasesTheFile) {
    const QString path = file(QStringLiteral("a.hvls"));
    SqliteDb writer;
    ASSERT_TRUE(OpenListFile(writer, path));
    ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN")));
    // Types and folders repeat in runs and change between them.
    const auto type = [](int i) { return i % 7 < 4 ? QStringLiteral("PDF") : QStringLiteral("doc"); };
    const auto folder = [](int i) { return QStringLiteral("/d%1").arg(i / 100); };
    for (int i = 0; i < 2500; ++i)
        ASSERT_TRUE(AppendListRecord(writer, Url(i), QStringLiteral("标题%1").arg(i), type(i), folder(i)));
    ASSERT_TRUE(writer.exec(QStringLiteral("COMMIT")));
    // Rows of other programs may hold NULLs and a state.
    ASSERT_TRUE(writer.exec(
        QStringLiteral("INSERT INTO 导出表(L0,L1,L2,L3,L4) VALUES('https://x/y',NULL,NULL,'成功',NULL)")));

    ListFileReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.recordCount(), 2501);
    QList<ListRecord> rows;
    int batches = 0;
    while (!reader.atEnd()) {
        ASSERT_TRUE(reader.read(rows, 1000));
        ++batches;
    }
    EXPECT_EQ(batches, 3);
    ASSERT_EQ(rows.size(), 2501);
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(rows[i],
                  (ListRecord{Url(i), QStringLiteral("标题%1").arg(i), type(i), QString(), folder(i)}));
    EXPECT_EQ(rows.last(), (ListRecord{QStringLiteral("https://x/y"), QString(), QString(),
                                       QStringLiteral("成功"), QString()}));
    // At the end the reader, still alive, leaves the writer free.
    EXPECT_TRUE(AppendListRecord(writer, Url(9999), QString(), QString(), QString()));

    // The whole-file read appends to what the caller holds.
    QList<ListRecord> all{ListRecord{}};
    ASSERT_TRUE(ReadListFile(path, all));
    ASSERT_EQ(all.size(), 2503);
    EXPECT_EQ(all[1].url, Url(0));
    EXPECT_EQ(all.last().url, Url(9999));
}

TEST_F(ListFileTest, ImportOfUnusableFilesFailsClearlyAndChangesNothing) {
    ListFileReader reader;
    const QString missing = file(QStringLiteral("missing.hvls"));
    EXPECT_EQ(reader.open(missing).error, ListFileError::NotFound);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(reader.open(m_dir.path()).error, ListFileError::NotDatabase); // a folder is no list file

    const QString junk = file(QStringLiteral("junk.hvls"));
    QByteArray bytes;
    for (int i = 0; i < 8192; ++i)
        bytes.append(char((i * 7919 + 13) % 251));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const ListFileStatus notDb = reader.open(junk);
    EXPECT_EQ(notDb.error, ListFileError::NotDatabase);
    EXPECT_FALSE(notDb.message.isEmpty());
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), bytes);
    }

    const QString other = MakeDatabase(file(QStringLiteral("other.hvls")),
                                       QStringLiteral("CREATE TABLE other(L0,L1,L2,L3,L4)"));
    EXPECT_EQ(reader.open(other).error, ListFileError::NoTable);
    EXPECT_EQ(QueryText(other, QStringLiteral("SELECT count(*) FROM sqlite_master")), QStringLiteral("1"));
    // An empty file reads as an empty database.
    const QString empty = file(QStringLiteral("empty.hvls"));
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(reader.open(empty).error, ListFileError::NoTable);
    EXPECT_EQ(QFileInfo(empty).size(), 0);

    const QString noL3 =
        MakeDatabase(file(QStringLiteral("nol3.hvls")),
                     QStringLiteral("CREATE TABLE 导出表(id INTEGER PRIMARY KEY, L0 text, L1, L2, L4)"));
    const ListFileStatus columns = reader.open(noL3);
    EXPECT_EQ(columns.error, ListFileError::MissingColumns);
    EXPECT_TRUE(columns.message.contains(QStringLiteral("L3"))) << columns.message.toStdString();

    QList<ListRecord> rows;
    EXPECT_EQ(ReadListFile(junk, rows).error, ListFileError::NotDatabase);
    EXPECT_TRUE(reader.read(rows)); // nothing open: nothing read
    EXPECT_TRUE(rows.isEmpty());

    // A table that never ends (a recursive view) is cut at the record limit,
    // and a set cancel flag ends even its first query.
    const QString endless = MakeDatabase(
        file(QStringLiteral("endless.hvls")),
        QStringLiteral(
            "CREATE VIEW 导出表 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
            "SELECT i AS id, 'http://x/' || i AS L0, 't' AS L1, 'PDF' AS L2, '' AS L3, '' AS L4 FROM n"));
    QList<ListRecord> kept{ListRecord{QStringLiteral("k"), {}, {}, {}, {}}};
    EXPECT_EQ(ReadListFile(endless, kept, nullptr, 5000).error, ListFileError::TooLarge);
    EXPECT_EQ(kept.size(), 1);
    std::atomic<bool> cancel{true};
    EXPECT_EQ(ReadListFile(endless, kept, &cancel).error, ListFileError::Cancelled);
    EXPECT_EQ(kept.size(), 1);
}

// Child side of the kill test: appends until killed, reporting each row
// once its append has returned.
TEST(ListFileChild, DISABLED_AppendUntilKilled) {
    const QString path = qEnvironmentVariable("DH_LISTFILE_CHILD");
    if (path.isEmpty())
        GTEST_SKIP() << "run by ListFileTest.RowsSurviveAKill";
    SqliteDb db;
    if (!OpenListFile(db, path))
        std::_Exit(3);
    for (int i = 0; i < 1000000; ++i) {
        if (!AppendListRecord(db, Url(i), QStringLiteral("t"), QString(), QString()))
            std::_Exit(4);
        std::printf("appended %d\n", i);
        std::fflush(stdout);
    }
}

TEST_F(ListFileTest, RowsSurviveAKill) {
    const QString path = file(QStringLiteral("kill.hvls"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DH_LISTFILE_CHILD"), path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ListFileChild.DISABLED_AppendUntilKilled"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    ASSERT_TRUE(child.waitForStarted(10000));

    const QRegularExpression marker(QStringLiteral("^appended (\\d+)$"), QRegularExpression::MultilineOption);
    QByteArray output;
    int reported = -1;
    while (reported < 50 && child.state() == QProcess::Running) {
        child.waitForReadyRead(10000);
        output += child.readAllStandardOutput();
        auto it = marker.globalMatch(QString::fromUtf8(output));
        while (it.hasNext())
            reported = it.next().captured(1).toInt();
    }
    child.kill();
    child.waitForFinished(10000);
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << output.toStdString();
    output += child.readAllStandardOutput();
    auto it = marker.globalMatch(QString::fromUtf8(output));
    while (it.hasNext())
        reported = it.next().captured(1).toInt();
    ASSERT_GE(reported, 50);

    QList<ListRecord> rows;
    ASSERT_TRUE(ReadListFile(path, rows));
    // Every reported row is there; one more may have been committed unreported.
    ASSERT_GE(rows.size(), reported + 1);
    EXPECT_LE(rows.size(), reported + 2);
    for (int i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].url, Url(i)) << i;
}

namespace {

QByteArray FileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList Beside(const QString &path) {
    QStringList found;
    for (const char *suffix : {"-wal", "-shm", "-journal"}) {
        if (QFile::exists(path + QLatin1String(suffix)))
            found << QLatin1String(suffix);
    }
    return found;
}

} // namespace

// A field or a list larger than any search gives refuses the file before the
// text is made, and the caller's records stay as they were.
TEST_F(ListFileTest, ImportCapsTheBytesOfAFieldAndOfTheWholeList) {
    const QString wide = file(QStringLiteral("wide.hvls"));
    SqliteDb writer;
    ASSERT_TRUE(OpenListFile(writer, wide));
    ASSERT_TRUE(AppendListRecord(writer, Url(1), QStringLiteral("fine"), QStringLiteral("PDF"), QString()));
    ASSERT_TRUE(writer.exec(QStringLiteral(
        "INSERT INTO 导出表(L0,L1,L2,L3,L4) VALUES('https://x/y', hex(zeroblob(35000)), 'PDF', '', '')")));
    writer.close();
    QList<ListRecord> kept{ListRecord{QStringLiteral("k"), {}, {}, {}, {}}};
    EXPECT_EQ(ReadListFile(wide, kept).error, ListFileError::TooManyBytes);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].url, QStringLiteral("k"));

    // A view without end, each row a kilobyte: the text cap stops it long
    // before the record cap would.
    const QString endless = MakeDatabase(
        file(QStringLiteral("endless.hvls")),
        QStringLiteral(
            "CREATE VIEW 导出表 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
            "SELECT i AS id, 'http://x/' || i AS L0, hex(zeroblob(500)) AS L1, 'PDF' AS L2, "
            "'' AS L3, '' AS L4 FROM n"));
    EXPECT_EQ(ReadListFile(endless, kept, nullptr, MaxListRecords, 1024 * 1024).error,
              ListFileError::TooManyBytes);
    EXPECT_EQ(kept.size(), 1);
    // Under the cap the same rows read.
    const QString some = MakeDatabase(
        file(QStringLiteral("some.hvls")),
        QStringLiteral("CREATE VIEW 导出表 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 500) SELECT i AS id, 'http://x/' || i AS L0, hex(zeroblob(500)) AS L1, "
                       "'PDF' AS L2, '' AS L3, '' AS L4 FROM n"));
    EXPECT_TRUE(ReadListFile(some, kept, nullptr, MaxListRecords, 1024 * 1024));
    EXPECT_EQ(kept.size(), 501);
}

// An imported file is only read: a file in write-ahead mode and one with an
// interrupted transaction beside it stay byte for byte what they were, and
// nothing new appears beside them.
TEST_F(ListFileTest, ImportLeavesTheUsersFileAsItWas) {
    // Characters a URI would read as its own stay part of the name.
    const QString wal = file(QStringLiteral("wal #?%20 列表.hvls"));
    {
        SqliteDb writer;
        ASSERT_TRUE(OpenListFile(writer, wal));
        ASSERT_TRUE(writer.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(AppendListRecord(writer, Url(i), QString(), QStringLiteral("PDF"), QString()));
    }
    ASSERT_EQ(Beside(wal), QStringList());
    const QByteArray walBytes = FileBytes(wal);
    QList<ListRecord> rows;
    ASSERT_TRUE(ReadListFile(wal, rows));
    EXPECT_EQ(rows.size(), 20);
    EXPECT_EQ(FileBytes(wal), walBytes);
    EXPECT_EQ(Beside(wal), QStringList());

    // A copy taken while a transaction had spilled into the file carries a
    // hot journal: reading it must neither roll it back nor read half a change.
    const QString live = file(QStringLiteral("live.hvls"));
    const QString hot = file(QStringLiteral("hot.hvls"));
    SqliteDb writer;
    ASSERT_TRUE(OpenListFile(writer, live));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(AppendListRecord(writer, Url(i), QString(), QStringLiteral("PDF"), QString()));
    ASSERT_TRUE(writer.exec(QStringLiteral("PRAGMA cache_size=1; BEGIN")));
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(AppendListRecord(writer, Url(i), QStringLiteral("标题%1").arg(i), QStringLiteral("PDF"),
                                     QString()));
    ASSERT_TRUE(QFile::copy(live, hot));
    ASSERT_TRUE(QFile::copy(live + QStringLiteral("-journal"), hot + QStringLiteral("-journal")));
    writer.exec(QStringLiteral("ROLLBACK"));
    writer.close();
    const QByteArray hotBytes = FileBytes(hot);
    const QByteArray journalBytes = FileBytes(hot + QStringLiteral("-journal"));
    rows.clear();
    const ListFileStatus status = ReadListFile(hot, rows);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.error, ListFileError::ReadFailed) << status.message.toStdString();
    EXPECT_TRUE(rows.isEmpty());
    EXPECT_EQ(FileBytes(hot), hotBytes);
    EXPECT_EQ(FileBytes(hot + QStringLiteral("-journal")), journalBytes);
    EXPECT_EQ(Beside(hot), QStringList{QStringLiteral("-journal")});
}
