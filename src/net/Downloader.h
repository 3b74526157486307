#pragma once
// The asynchronous download component: one address into one file in the
// background, reported through events. Method two keeps one instance per
// busy slot and removes it after its end event.
//
// The body goes to a temporary file beside the target and replaces the target
// only when complete; no placeholder is written at the target name. The size
// limit holds on the bytes written; passing it ends the download with
// DownloadTooLarge and keeps nothing.
#include "net/FileTransfer.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;

namespace dh {

class Downloader : public QObject {
    Q_OBJECT
public:
    static inline const QString TimedOut = QStringLiteral("超时");
    static inline const QString CannotDownload = QStringLiteral("无法下载");

    explicit Downloader(QObject *parent = nullptr);
    ~Downloader() override; // the watch stops and the request is cancelled

    // The manager the requests go through; without one, a shared manager
    // that sends the browser session's cookies.
    void SetManager(QNetworkAccessManager *manager) { m_manager = manager; }
    // Most bytes to write; -1: no limit.
    void SetSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }
    // The hidden file the body goes to, kept to resume when the read is
    // interrupted, and what an earlier read left in it.
    void SetPartial(const QString &path, const PartialInfo &earlier) {
        m_partialPath = path;
        m_resume = earlier;
    }

    // The referrer is accepted and not sent.
    void BeginDownload(const QString &address, const QString &targetFilePath, const QString &referrer);
    // Cancels the running read; no event follows. Always false.
    bool CancelAsyncRead();

    QString Address() const { return m_address; }
    QString TargetFilePath() const { return m_target; }
    qint64 TotalBytes() const { return m_total; }
    qint64 BytesRead() const { return m_read; }

    static QNetworkAccessManager *SharedManager();

    // How the last read ended, for an owner that needs more than the event.
    FileTransfer::Result LastResult() const { return m_result; }
    const ReplyHeaders &LastHeaders() const { return m_headers; }
    qint64 LastWritten() const { return m_written; }
    bool PartialKept() const { return m_partialKept; }
    QString LastErrorText() const { return m_errorText; }

signals:
    // The answer's headers are in (also those of the whole-body fetch).
    void DownloadHeaders(const dh::ReplyHeaders &headers);
    void DownloadProgress(qint64 bytesRead, qint64 totalBytes, const QString &path);
    void DownloadComplete(qint64 bytesRead, qint64 totalBytes, const QString &path);
    void DownloadError(const QString &message, const QString &path);
    void DownloadTooLarge(qint64 bytesRead, qint64 totalBytes, const QString &path);

private:
    void startRead(bool fallback);
    void onProgress(qint64 written, qint64 announced);
    void onDone(FileTransfer::Result result);

    QNetworkAccessManager *m_manager = nullptr;
    FileTransfer *m_transfer = nullptr;
    qint64 m_sizeLimit = -1;
    QString m_address;
    QString m_target;
    qint64 m_total = 0;
    qint64 m_read = 0;
    qint64 m_lastReport = -1;
    bool m_fallback = false;
    QString m_partialPath;
    PartialInfo m_resume;
    FileTransfer::Result m_result = FileTransfer::Result::Cancelled;
    ReplyHeaders m_headers;
    qint64 m_written = 0;
    bool m_partialKept = false;
    QString m_errorText;
};

} // namespace dh
