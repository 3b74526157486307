#include "download/TransferTwo.h"

#include "net/Downloader.h"

#include <QVariant>

namespace dh {

TransferTwo::TransferTwo(TransferJob job, QObject *parent) : ItemTransfer(parent), m_job(std::move(job)) {}

TransferTwo::~TransferTwo() {
    removeInstance();
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
    m_instance->SetPartial(m_job.partialPath, m_job.item.partial);
    connect(m_instance, &Downloader::DownloadHeaders, this, &TransferTwo::onHeaders);
    connect(m_instance, &Downloader::DownloadProgress, this,
            [this](qint64 read, qint64 total, const QString &) { emit Progress(read, total); });
    connect(m_instance, &Downloader::DownloadComplete, this, [this](qint64 read, qint64 total, const QString &) {
        TransferOutcome outcome = lastOutcome();
        outcome.received = read;
        outcome.total = total;
        end(outcome, true);
    });
    connect(m_instance, &Downloader::DownloadError, this,
            [this](const QString &, const QString &) { end(lastOutcome(), false); });
    connect(m_instance, &Downloader::DownloadTooLarge, this, [this](qint64 read, qint64 total, const QString &) {
        TransferOutcome outcome = lastOutcome();
        outcome.kind = OutcomeKind::TooLarge;
        outcome.received = read;
        outcome.total = total;
        end(outcome, false);
    });
    m_instance->BeginDownload(m_job.address, m_job.path, m_job.item.referrer);
}

void TransferTwo::onHeaders(const ReplyHeaders &headers) {
    TransferStart start;
    start.total = headers.total;
    start.resumedFrom = headers.resumedFrom;
    start.resumable = headers.resumable;
    start.partial = headers.partial;
    emit Settled(start);
}

TransferOutcome TransferTwo::lastOutcome() const {
    const Downloader *d = m_instance;
    return OutcomeOf(d->LastResult(), d->LastHeaders(), d->LastWritten(), d->PartialKept(), m_job.path,
                     d->LastErrorText());
}

void TransferTwo::Stop() {
    m_ended = true;
    removeInstance();
}

void TransferTwo::end(TransferOutcome outcome, bool announce) {
    if (m_ended)
        return;
    m_ended = true;
    removeInstance();
    emit Ended(outcome, announce);
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
