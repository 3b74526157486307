#include "net/Downloader.h"

#include "net/WebSession.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>

namespace dh {

namespace {
// Progress reports reach the list at most this often (real milliseconds);
// six slots reporting every network read would cost more than the copy.
constexpr qint64 kReportMs = 100;
} // namespace

Downloader::Downloader(QObject *parent) : QObject(parent) {}

Downloader::~Downloader() = default; // the transfer, a child, cancels itself

QNetworkAccessManager *Downloader::SharedManager() {
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        WebSession::Instance().AttachTo(manager);
    }
    return manager;
}

void Downloader::BeginDownload(const QString &address, const QString &targetFilePath, const QString &) {
    CancelAsyncRead();
    m_target = targetFilePath;
    QString cleaned = address;
    cleaned.replace(QStringLiteral("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive);
    m_address = cleaned.trimmed();
    m_total = m_read = 0;
    m_fallback = false;
    startRead(false);
}

bool Downloader::CancelAsyncRead() {
    if (m_transfer) {
        m_transfer->Cancel();
        m_transfer->deleteLater();
        m_transfer = nullptr;
    }
    return false;
}

void Downloader::startRead(bool fallback) {
    m_fallback = fallback;
    FileTransferOptions options;
    options.manager = m_manager ? m_manager : SharedManager();
    options.address = m_address;
    options.stallTimeoutMs = Durations::AsyncStallTimeout;
    options.sizeLimit = m_sizeLimit;
    // The whole-body fetch keeps only a body of at least two bytes.
    options.minimumBytes = fallback ? 2 : 1;
    options.partialPath = m_partialPath;
    options.resume = fallback ? PartialInfo() : m_resume;
    m_transfer = new FileTransfer(options, this);
    connect(m_transfer, &FileTransfer::HeadersArrived, this, &Downloader::DownloadHeaders);
    connect(m_transfer, &FileTransfer::Progress, this, &Downloader::onProgress);
    connect(m_transfer, &FileTransfer::Done, this, &Downloader::onDone);
    m_lastReport = -1;
    m_transfer->SetTarget(m_target); // a failure shows when the body arrives
    m_transfer->Start();
}

void Downloader::onProgress(qint64 written, qint64 announced) {
    if (announced < 1)
        return; // no known total: nothing to report
    m_total = announced;
    m_read = written;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_lastReport >= 0 && now - m_lastReport < kReportMs && written < announced)
        return;
    m_lastReport = now;
    emit DownloadProgress(m_read, m_total, m_target);
}

void Downloader::onDone(FileTransfer::Result result) {
    FileTransfer *transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->deleteLater();
    const qint64 written = transfer ? transfer->Written() : 0;
    const qint64 announced = transfer ? transfer->Headers().total : -1;
    m_result = result;
    if (transfer) {
        m_headers = transfer->Headers();
        m_written = written;
        m_partialKept = transfer->PartialKept();
        m_errorText = transfer->ErrorText();
    }
    using R = FileTransfer::Result;
    switch (result) {
    case R::Finished:
        if (m_fallback || announced < 1) {
            // Without a known total the file's length stands for both.
            const qint64 length = QFileInfo(m_target).size();
            m_total = m_read = length;
        } else {
            m_total = announced;
            m_read = written;
        }
        emit DownloadComplete(m_read, m_total, m_target);
        return;
    case R::Empty:
        if (!m_fallback)
            return startRead(true);
        emit DownloadError(CannotDownload, m_target);
        return;
    case R::TooLarge:
        if (announced > 0)
            m_total = announced;
        m_read = written;
        emit DownloadTooLarge(m_read, m_total, m_target);
        return;
    case R::Stalled:
    case R::NoHeaders:
        emit DownloadError(TimedOut, m_target);
        return;
    case R::Cancelled:
        return;
    default:
        emit DownloadError(CannotDownload, m_target);
        return;
    }
}

} // namespace dh
