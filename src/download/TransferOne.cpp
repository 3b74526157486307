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

bool isNumber(const QString &text) {
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

QString percentOf(qint64 bytes, qint64 size) {
    return QString::number(qint64(double(bytes) / double(size) * 100.0)) + QLatin1Char('%');
}
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

int TransferOne::row() const {
    return m_job.model ? m_job.model->RowOfKey(m_job.key) : -1;
}

DownloadItem TransferOne::item() const {
    const int r = row();
    return r >= 0 ? m_job.model->Item(r) : DownloadItem();
}

void TransferOne::set(DownloadListModel::Column column, const QString &text) {
    const int r = row();
    if (r >= 0)
        m_job.model->SetText(r, column, text);
}

void TransferOne::setState(ItemState state) {
    const int r = row();
    if (r >= 0)
        m_job.model->SetState(r, state);
}

void TransferOne::Inet下载文件() {
    emit Activity(QStringLiteral("正在下载:") + item().name);
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
    const QString referrer = item().referrer;
    options.referer = (referrer.isEmpty() ? SiteRoot(m_job.address) : referrer).toUtf8();
    options.headerTimeoutMs = Durations::HeaderTimeout;
    options.stallTimeoutMs = Durations::StallTimeout;
    options.sizeLimit = m_job.sizeLimit;
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
    set(DownloadListModel::SizeColumn, ResultText::DownloadCancelled);
    end(ItemState::Failed);
}

void TransferOne::onHeaders(const ReplyHeaders &headers) {
    emit Stage(ConnectionStageText(8));
    const int r = row();
    if (r < 0)
        return m_transfer->Fail(FileTransfer::Result::Cancelled); // the item left the list
    DownloadItem it = m_job.model->Item(r);
    const SettleResult settled =
        SettleItemPath(it, headers.contentType, headers.block, m_job.rule,
                       m_job.reservations ? m_job.reservations->Test() : ReservedPath());
    m_job.model->SetItem(r, it);
    if (!settled.ok)
        return m_transfer->Fail(FileTransfer::Result::WriteFailed);
    m_path = settled.path;
    if (m_job.reservations)
        m_job.reservations->Reserve(m_path);

    const QString statusLine = headers.block.section(QStringLiteral("\r\n"), 0, 0);
    const bool statusOk = statusLine.contains(QLatin1String("200")) &&
                          statusLine.contains(QLatin1String("OK"), Qt::CaseInsensitive);
    const qint64 announced = std::max<qint64>(0, headers.announced);
    m_fallback = announced == 0 && !statusOk;
    if (m_fallback) {
        // The one-call rules keep only a body of two bytes or more.
        m_transfer->SetMinimumBytes(2);
        set(DownloadListModel::SizeColumn, ResultText::Unknown);
    } else {
        set(DownloadListModel::SizeColumn, announced > 0 ? QString::number(announced) : ResultText::Unknown);
        set(DownloadListModel::ReceivedColumn, QStringLiteral("0"));
    }
    m_transfer->SetTarget(m_path); // a failure ends the transfer and reports it
}

void TransferOne::showReceived(qint64 bytes) {
    set(DownloadListModel::ReceivedColumn, QString::number(bytes));
    const QString size = item().size;
    if (isNumber(size) && size.toLongLong() > 0)
        set(DownloadListModel::PercentColumn, percentOf(bytes, size.toLongLong()));
}

void TransferOne::onProgress(qint64 written, qint64) {
    if (m_fallback)
        return; // the one-call fetch shows its figures at the end
    if (m_shown.isValid() && m_shown.elapsed() < kColumnUpdateMs)
        return;
    m_shown.start();
    showReceived(written);
}

void TransferOne::onDone(FileTransfer::Result result) {
    using R = FileTransfer::Result;
    const qint64 written = m_transfer ? m_transfer->Written() : 0;
    switch (result) {
    case R::Finished: {
        emit Stage(ConnectionStageText(12));
        if (m_fallback) {
            set(DownloadListModel::SizeColumn, QString::number(QFileInfo(m_path).size()));
            set(DownloadListModel::ReceivedColumn, QString::number(written));
            set(DownloadListModel::PercentColumn, ResultText::Complete);
        } else {
            showReceived(written);
            if (item().size == ResultText::Unknown) {
                set(DownloadListModel::SizeColumn, QString::number(written));
                set(DownloadListModel::PercentColumn, ResultText::Complete);
            }
        }
        setState(ItemState::Done);
        const int r = row();
        if (r >= 0) {
            DownloadItem it = m_job.model->Item(r);
            if (CorrectItemType(it, m_job.reservations ? m_job.reservations->Test() : ReservedPath()))
                m_job.model->SetItem(r, it);
        }
        return end(ItemState::Done);
    }
    case R::TooLarge:
        set(DownloadListModel::PercentColumn, ResultText::BigFileSkipped);
        return end(ItemState::Done);
    case R::HttpError:
        emit Stage(ConnectionStageText(11, m_transfer->Headers().status,
                                       QString::fromLatin1(m_transfer->Headers().reason)));
        set(DownloadListModel::SizeColumn,
            ResultText::DownloadFailed + QLatin1Char(' ') + m_transfer->ErrorText());
        return end(ItemState::Failed);
    case R::Empty:
        if (m_fallback) {
            set(DownloadListModel::SizeColumn, QString());
            set(DownloadListModel::ReceivedColumn, QString());
            set(DownloadListModel::PercentColumn, QString());
        } else {
            set(DownloadListModel::SizeColumn, ResultText::DownloadFailed);
        }
        return end(ItemState::Failed);
    case R::CannotReplace: {
        const int r = row();
        if (r >= 0) {
            DownloadItem it = m_job.model->Item(r);
            MarkCannotReplace(it, m_path);
            m_job.model->SetItem(r, it);
        }
        return end(ItemState::Failed);
    }
    case R::NoHeaders:
    case R::NotAllowed:
        return end(ItemState::Failed); // no answer: the columns stay as they were
    case R::NetworkError:
        emit Stage(ConnectionStageText(11, 0, m_transfer->ErrorText()));
        if (m_transfer->Headers().status == 0)
            return end(ItemState::Failed);
        set(DownloadListModel::SizeColumn, ResultText::DownloadFailed);
        return end(ItemState::Failed);
    case R::Cancelled:
        return end(ItemState::Failed);
    case R::Truncated:
    case R::Stalled:
    case R::WriteFailed:
        set(DownloadListModel::SizeColumn, ResultText::DownloadFailed);
        return end(ItemState::Failed);
    }
}

void TransferOne::end(ItemState state) {
    if (m_ended)
        return;
    m_ended = true;
    setState(state);
    releasePath();
    emit Ended(true);
}

void TransferOne::releasePath() {
    if (m_job.reservations && !m_path.isEmpty())
        m_job.reservations->Release(m_path);
    m_path.clear();
}

} // namespace dh
