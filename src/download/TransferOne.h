#pragma once
// Transfer method one: one item at a time, streamed into its file in small
// chunks while the event loop keeps running, so the stop button and the
// supervisor stay responsive during a transfer.
#include "download/DownloadListModel.h"
#include "download/SaveNaming.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace dh
{

struct TransferOneContext {
    bool *busyFlag = nullptr;        // cleared from outside: the user stopped the downloads
    qint64 *lastFinishTime = nullptr; // program time of the last ended transfer
    SameNameRule rule = SameNameRule::Rename;
    double sizeLimitMb = 10;
    bool soundOn = false;
    std::function<void(const QString &)> activity;   // status panel 2
    std::function<void(const QString &)> connection; // status panel 3
};

// Panel text for a numbered request stage; 11 and unknown stages add the code and text.
QString ConnectionStateText(int state, int code = 0, const QString &text = {});
// "HTTP/1.1 <code> <reason>" then every raw header pair, each line ended by CR LF.
QString ReplyHeaderBlock(const QNetworkReply *reply);
// Only web addresses are fetched; other schemes never reach the network.
bool IsTransferableAddress(const QString &address);

class TransferOne : public QObject
{
    Q_OBJECT
public:
    explicit TransferOne(QObject *parent = nullptr);
    ~TransferOne() override;

    bool IsExecuting() const { return !m_reply.isNull(); }
    void Cancel();
    // Takes the proxy values in effect (shared values) for the next requests.
    void ApplyProxy(bool enabled, const QString &host, const QString &port);

    void Inet下载当前文件(DownloadListModel &model, int row, TransferOneContext &ctx);
    void Inet下载文件(DownloadListModel &model, int row, TransferOneContext &ctx);

private:
    QNetworkReply *Get(const QString &address, const QString &referrer);
    void Closing(DownloadListModel &model, int row, TransferOneContext &ctx);
    void Fallback(DownloadListModel &model, int row, const QString &address, const QString &referrer,
                  const QString &path, TransferOneContext &ctx);

    QNetworkAccessManager *m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
};

} // namespace dh
