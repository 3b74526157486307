#pragma once
// What the scheduler knows of one running download: it starts it, may stop
// it at any moment, and hears what the answer settled, how far it has come
// and, once, how it ended. The transfer works on its own copy of the item
// and never writes the list: the scheduler does, from these reports.
#include "download/DownloadItem.h"
#include "download/SaveNaming.h"
#include "download/TransferOutcome.h"

#include <QObject>
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
    DownloadItem item; // as it was when the transfer started
    QString address;   // 选择url of the key
    QString path;      // method two: the settled target
    QString partialPath; // the hidden file the body goes to while it comes
    int slot = 0;      // method two: 1..6
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
    // Ends the download now (the request cancelled, what it wrote removed
    // but a resumable partial file). Method one then reports Ended
    // (cancelled); method two reports nothing (the stop marks its item failed).
    virtual void Stop() = 0;

signals:
    void Settled(const dh::TransferStart &start);
    // Bytes of the document so far and its whole length (-1 unknown).
    void Progress(qint64 received, qint64 total);
    // Emitted once. `announce`: the closing steps (activity text, sounds,
    // login) follow.
    void Ended(const dh::TransferOutcome &outcome, bool announce);
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
