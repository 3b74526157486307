#pragma once
// The download list kept on disk, so that a closed or killed program comes
// back with it: an SQLite file in the data folder that follows the list
// model. Changes are collected and written together (WAL, one transaction)
// at most once a second, so a killed process loses at most the last second
// and a hand-off of many items costs one write. One running program holds
// the file (a lock file beside it); another keeps its list in memory only.
// A file that cannot be read is set aside under a new name, never deleted.
#include "download/DownloadItem.h"
#include "util/SqliteDb.h"

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <memory>
#include <vector>

class QTimer;

namespace dh {

class DownloadListModel;

class KeptList : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Ready,    // the file is ours to read and write
        Locked,   // another running program keeps it: nothing is written
        SetAside, // it could not be read and was renamed; a new one is kept
        Failed,   // no file can be kept here (the folder is not writable)
    };
    static constexpr int SchemaVersion = 1;

    // The kept list in `folder` (the data folder).
    explicit KeptList(const QString &folder, QObject *parent = nullptr);
    ~KeptList() override; // writes what is pending and lets the file go

    Status Open();
    Status State() const { return m_status; }
    QString FilePath() const;
    QString SetAsidePath() const { return m_setAside; }

    // The kept items in list order, as they were written.
    std::vector<DownloadItem> Load();
    // Empties the kept list and deletes the partial files of `items`.
    void Discard(std::vector<DownloadItem> &items);

    // Follows the model from now on: every change is written within a second.
    void Attach(DownloadListModel *model);
    // Writes what is pending now. The items of `asWaiting` (running
    // transfers the window's end cut short) are written as waiting.
    void Flush(const QSet<quint64> &asWaiting = {});
    // Transactions written so far.
    int Writes() const { return m_writes; }

private:
    bool openFile();
    bool usable();
    void setAside();
    void markRows(int first, int last);
    void markAll();
    bool writeRow(SqliteStatement *insert, int row, const QSet<quint64> &asWaiting);

    QString m_folder;
    QLockFile m_lock;
    SqliteDb m_db;
    Status m_status = Status::Failed;
    QString m_setAside;
    QPointer<DownloadListModel> m_model;
    QTimer *m_timer = nullptr;
    QSet<quint64> m_dirty;
    bool m_all = false; // rewrite every row (a reset, a sort, a removal)
    int m_writes = 0;
};

// Items as a restored list shows them: a transfer that was running waits
// again; its partial file counts only when it is there and fits.
void PrepareRestored(std::vector<DownloadItem> &items);
// Items that are not done.
int UnfinishedCount(const std::vector<DownloadItem> &items);

} // namespace dh
