#include "download/TransferOne.h"

#include "download/TypeDetection.h"
#include "util/Clock.h"
#include "util/FileHelpers.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>

namespace dh {

namespace {
constexpr qint64 kColumnUpdateMs = 100;

} // namespace

QString ConnectionStageText(int stage, int code, const QString &text) {
    static const char *const kTexts[] = {
        "0 无状态可报告。",
        "1 正在查询所指定的主机的 IP 地址...",
        "2 已成功地找到所指定的主机的 IP 地址。",
        "3 正在与主机连接...",
        "4 已与主机连接成功。",
        "5 正在向主机发送请求...",
        "6 发送请求已成功。",
        "7 正在接收主机的响应...",
        "8 已成功地接收到主机的响应。",
        "9 正在解除与主机的连接...",
        "10 已成功地与主机解除了连接。",
        "11 与主机通讯时出现了错误:",
        "12 该请求已经完成，并且所有数据均已接收到。",
    };
    const QString codeText = QString::number(code) + QLatin1Char(':') + text;
    if (stage == 11)
        return QString::fromUtf8(kTexts[11]) + codeText;
    if (stage >= 0 && stage <= 12)
        return QString::fromUtf8(kTexts[stage]);
    return codeText;
}

TransferOne::TransferOne(TransferJob job, QObject *parent) : ItemTransfer(parent), m_job(std::move(job)) {}

TransferOne::~TransferOne() {
    releasePath();
} // the file transfer, a child, discards what it wrote

void TransferOne::Inet下载文件() {
    emit Activity(QStringLiteral("正在下载:") + m_job.item.name);
    QNetworkAccessManager *nam = m_job.manager;
    const QNetworkProxy proxy = m_job.proxyEnabled ? QNetworkProxy(QNetworkProxy::HttpProxy, m_job.proxyHost,
                                                                   quint16(m_job.proxyPort.toUInt()))
                                                   : QNetworkProxy(QNetworkProxy::DefaultProxy);
    // Setting it anew would drop the manager's open connections.
    if (nam && nam->proxy() != proxy)
        nam->setProxy(proxy);
    FileTransferOptions options;
    options.manager = nam;
    options.address = m_job.address;
    const QString &referrer = m_job.item.referrer;
    options.referer = (referrer.isEmpty() ? SiteRoot(m_job.address) : referrer).toUtf8();
    options.headerTimeoutMs = Durations::HeaderTimeout;
    options.stallTimeoutMs = Durations::StallTimeout;
    options.sizeLimit = m_job.sizeLimit;
    options.partialPath = m_job.partialPath;
    options.resume = m_job.item.partial;
    m_transfer = new FileTransfer(options, this);
    connect(m_transfer, &FileTransfer::HeadersArrived, this, &TransferOne::onHeaders);
    connect(m_transfer, &FileTransfer::Progress, this, &TransferOne::onProgress);
    connect(m_transfer, &FileTransfer::Done, this, &TransferOne::onDone);
    emit Stage(ConnectionStageText(3));
    m_transfer->Start();
    emit Stage(ConnectionStageText(5));
}

void TransferOne::Stop() {
    if (m_ended)
        return;
    if (m_transfer)
        m_transfer->Cancel();
    TransferOutcome outcome =
        m_transfer ? OutcomeOf(FileTransfer::Result::Cancelled, *m_transfer) : TransferOutcome();
    outcome.kind = OutcomeKind::Cancelled;
    end(outcome);
}

void TransferOne::onHeaders(const ReplyHeaders &headers) {
    emit Stage(ConnectionStageText(8));
    DownloadItem &it = m_job.item;
    const SettleResult settled =
        SettleItemPath(it, headers.contentType, headers.block, m_job.rule,
                       m_job.reservations ? m_job.reservations->Test() : ReservedPath());
    const QString statusLine = headers.block.section(QStringLiteral("\r\n"), 0, 0);
    const bool statusOk = statusLine.contains(QLatin1String("200")) &&
                          statusLine.contains(QLatin1String("OK"), Qt::CaseInsensitive);
    m_oneCall = std::max<qint64>(0, headers.announced) == 0 && !statusOk;
    TransferStart start;
    start.name = it.name;
    start.type = it.type;
    start.folder = it.folder;
    start.total = headers.total;
    start.resumedFrom = headers.resumedFrom;
    start.oneCall = m_oneCall;
    start.resumable = headers.resumable;
    start.partial = headers.partial;
    emit Settled(start);
    if (!settled.ok || settled.skipped) {
        TransferOutcome outcome = OutcomeOf(FileTransfer::Result::WriteFailed, *m_transfer);
        outcome.kind = settled.skipped ? OutcomeKind::ExistsSkipped : OutcomeKind::PathRefused;
        outcome.path = settled.path;
        m_transfer->Cancel();
        outcome.partialKept = m_transfer->PartialKept();
        return end(outcome);
    }
    m_path = settled.path;
    if (m_job.reservations)
        m_job.reservations->Reserve(m_path);
    if (m_oneCall)
        m_transfer->SetMinimumBytes(2); // the one-call rules keep only a body of two bytes or more
    m_transfer->SetTarget(m_path);      // a failure ends the transfer and reports it
}

void TransferOne::onProgress(qint64 written, qint64 total) {
    if (m_oneCall)
        return; // the one-call fetch shows its figures at the end
    if (m_shown.isValid() && m_shown.elapsed() < kColumnUpdateMs)
        return;
    m_shown.start();
    emit Progress(written, total);
}

void TransferOne::onDone(FileTransfer::Result result) {
    using R = FileTransfer::Result;
    if (result == R::Finished)
        emit Stage(ConnectionStageText(12));
    else if (result == R::HttpError)
        emit Stage(ConnectionStageText(11, m_transfer->Headers().status,
                                       QString::fromLatin1(m_transfer->Headers().reason)));
    else if (result == R::NetworkError)
        emit Stage(ConnectionStageText(11, 0, m_transfer->ErrorText()));
    TransferOutcome outcome = OutcomeOf(result, *m_transfer);
    outcome.oneCall = m_oneCall;
    if (outcome.path.isEmpty())
        outcome.path = m_path;
    end(outcome);
}

void TransferOne::end(TransferOutcome outcome) {
    if (m_ended)
        return;
    m_ended = true;
    releasePath();
    emit Ended(outcome, true);
}

void TransferOne::releasePath() {
    if (m_job.reservations && !m_path.isEmpty())
        m_job.reservations->Release(m_path);
    m_path.clear();
}

} // namespace dh
