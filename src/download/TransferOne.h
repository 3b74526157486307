#pragma once
// Transfer method one: one item over HTTP(S) with the optional proxy and a
// Referer; type, name and path are settled from the reply headers, the body
// is streamed into the file while the columns follow. Driven by the reply's
// signals: it gives up after 30 s without headers or 120 s without progress,
// and the stop command ends it at once.
#include "download/ItemTransfer.h"
#include "net/FileTransfer.h"

#include <QElapsedTimer>
#include <QString>

namespace dh {

// The numbered connection text of a stage (0..12); any other number gives
// "<code>:<text>".
QString ConnectionStageText(int stage, int code = 0, const QString &text = {});

class TransferOne : public ItemTransfer {
    Q_OBJECT
public:
    TransferOne(TransferJob job, QObject *parent = nullptr);
    ~TransferOne() override;

    void Start() override { Inet下载文件(); }
    void Stop() override;

private:
    // The item ends Done (downloaded, or skipped as too big) or Failed.
    void Inet下载文件();
    void onHeaders(const ReplyHeaders &headers);
    void onProgress(qint64 written, qint64 announced);
    void onDone(FileTransfer::Result result);
    void end(ItemState state);
    int row() const;
    DownloadItem item() const;
    void set(DownloadListModel::Column column, const QString &text);
    void setState(ItemState state);
    void showReceived(qint64 bytes);
    void releasePath();

    TransferJob m_job;
    FileTransfer *m_transfer = nullptr;
    QString m_path;
    bool m_fallback = false; // neither a length nor "200 OK": the one-call rules
    bool m_ended = false;
    QElapsedTimer m_shown; // the columns follow a stream ten times a second
};

} // namespace dh
