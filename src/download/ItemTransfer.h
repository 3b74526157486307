#pragma once
// What the scheduler knows of one running download: it starts it, may stop
// it at any moment, and hears once that it ended. The transfer finds its
// item by key (rows move when the list is edited) and writes the item's
// columns and final state itself, by the rules of its method.
#include "download/DownloadListModel.h"
#include "download/SaveNaming.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class QNetworkAccessManager;

namespace dh {

// Paths that running transfers will write, held in memory so that two
// transfers never write the same name.
class PathReservations {
public:
    bool Holds(const QString &path) const { return m_paths.contains(Normal(path)); }
    void Reserve(const QString &path) { m_paths.insert(Normal(path)); }
    void Release(const QString &path) { m_paths.remove(Normal(path)); }
    ReservedPath Test() const {
        return [this](const QString &path) { return Holds(path); };
    }
    bool IsEmpty() const { return m_paths.isEmpty(); }

private:
    static QString Normal(const QString &path);
    QSet<QString> m_paths;
};

struct TransferJob {
    QPointer<DownloadListModel> model;
    QString key;     // the item's key
    QString address; // 选择url of the key
    QString path;    // method two: the settled target
    int slot = 0;    // method two: 1..6
    QNetworkAccessManager *manager = nullptr;
    PathReservations *reservations = nullptr;
    SameNameRule rule = SameNameRule::Rename;
    qint64 sizeLimit = -1;     // bytes
    bool proxyEnabled = false; // method one
    QString proxyHost;
    QString proxyPort;
};

class ItemTransfer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void Start() = 0;
    // Ends the download now (the request cancelled, what it wrote removed).
    // Method one then ends its item "下载取消" and reports Ended; method two
    // reports nothing (the stop marks its item failed).
    virtual void Stop() = 0;

signals:
    // The item has its final state and columns; emitted once. `announce`:
    // the closing steps (activity text, sounds, login) follow.
    void Ended(bool announce);
    void Activity(const QString &text); // status panel 2
    void Stage(const QString &text);    // status panel 3
};

// Makes the transfers of the two methods; tests give the scheduler their own.
class TransferFactory {
public:
    virtual ~TransferFactory() = default;
    // method 1 or 2; the manager of the job is filled in by the factory.
    virtual ItemTransfer *Create(int method, TransferJob job, QObject *parent) = 0;
};

} // namespace dh
