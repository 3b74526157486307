#include "download/TransferTwo.h"

#include "download/TypeDetection.h"
#include "net/Downloader.h"

namespace dh {

TransferTwo::TransferTwo(TransferJob job, QObject *parent) : ItemTransfer(parent), m_job(std::move(job)) {}

TransferTwo::~TransferTwo() {
    removeInstance();
}

int TransferTwo::row() const {
    return m_job.model ? m_job.model->RowOfKey(m_job.key) : -1;
}

void TransferTwo::Start() {
    多线程下载();
}

void TransferTwo::多线程下载() {
    m_instance = new Downloader(this);
    m_instance->setObjectName(QStringLiteral("Downloader1"));
    m_instance->setProperty("index", m_job.slot);
    m_instance->SetManager(m_job.manager);
    m_instance->SetSizeLimit(m_job.sizeLimit);
    connect(m_instance, &Downloader::DownloadProgress, this,
            [this](qint64 read, qint64 total, const QString &) { onProgress(read, total); });
    connect(m_instance, &Downloader::DownloadComplete, this,
            [this](qint64 read, qint64 total, const QString &) { onComplete(read, total); });
    connect(m_instance, &Downloader::DownloadError, this,
            [this](const QString &, const QString &) { onError(); });
    connect(m_instance, &Downloader::DownloadTooLarge, this,
            [this](qint64 read, qint64 total, const QString &) { onTooLarge(read, total); });
    const int r = row();
    m_instance->BeginDownload(m_job.address, m_job.path, r >= 0 ? m_job.model->Item(r).referrer : QString());
}

void TransferTwo::Stop() {
    m_ended = true;
    removeInstance();
}

bool TransferTwo::writeColumns(qint64 bytesRead, qint64 totalBytes) {
    const int r = row();
    if (r < 0 || totalBytes <= 0 || totalBytes < bytesRead)
        return false;
    DownloadItem it = m_job.model->Item(r);
    it.size = QString::number(totalBytes);
    it.received = QString::number(bytesRead);
    it.percent = QString::number(qint64(double(bytesRead) / double(totalBytes) * 100.0)) + QLatin1Char('%');
    m_job.model->SetItem(r, it);
    return true;
}

void TransferTwo::onProgress(qint64 bytesRead, qint64 totalBytes) {
    writeColumns(bytesRead, totalBytes);
}

void TransferTwo::onTooLarge(qint64 bytesRead, qint64 totalBytes) {
    writeColumns(bytesRead, totalBytes);
    const int r = row();
    if (r >= 0)
        m_job.model->SetText(r, DownloadListModel::PercentColumn, ResultText::BigFileSkipped);
    end(ItemState::Done, false);
}

void TransferTwo::onComplete(qint64 bytesRead, qint64 totalBytes) {
    writeColumns(bytesRead, totalBytes);
    const int r = row();
    const bool whole = r >= 0 && m_job.model->Item(r).percent == ResultText::Complete;
    removeInstance();
    if (r >= 0) {
        m_job.model->SetState(r, whole ? ItemState::Done : ItemState::Failed);
        DownloadItem it = m_job.model->Item(r);
        if (CorrectItemType(it, m_job.reservations ? m_job.reservations->Test() : ReservedPath()))
            m_job.model->SetItem(r, it);
    }
    end(whole ? ItemState::Done : ItemState::Failed, true);
}

void TransferTwo::onError() {
    end(ItemState::Failed, false);
}

void TransferTwo::end(ItemState state, bool announce) {
    if (m_ended)
        return;
    m_ended = true;
    removeInstance();
    const int r = row();
    if (r >= 0)
        m_job.model->SetState(r, state);
    emit Ended(announce);
}

void TransferTwo::removeInstance() {
    if (!m_instance)
        return;
    Downloader *instance = m_instance;
    m_instance = nullptr;
    disconnect(instance, nullptr, this, nullptr);
    instance->CancelAsyncRead();
    instance->deleteLater();
}

} // namespace dh
