#pragma once
// Transfer method one: one item over HTTP(S) with the optional proxy and a
// Referer; type, name and path are settled from the reply headers, the body
// is streamed into the file while its progress is reported. Driven by the
// reply's signals: it gives up after 30 s without headers or 120 s without
// progress, and the stop command ends it at once.
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
    void Inet下载文件();
    void onHeaders(const ReplyHeaders &headers);
    void onProgress(qint64 written, qint64 total);
    void onDone(FileTransfer::Result result);
    void end(TransferOutcome outcome);
    void releasePath();

    TransferJob m_job;
    FileTransfer *m_transfer = nullptr;
    QString m_path;
    bool m_oneCall = false; // neither a length nor "200 OK": the one-call rules
    bool m_ended = false;
    QElapsedTimer m_shown; // progress is reported ten times a second
};

} // namespace dh
