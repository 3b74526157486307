#include "download/TransferOne.h"

#include "download/TypeDetection.h"
#include "util/Clock.h"
#include "util/FileHelpers.h"
#include "util/Wait.h"

#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

namespace dh {

namespace {
constexpr qint64 kReadChunk = 1024 * 1024;
// The columns follow the stream this often; per chunk would cost more than the copy.
constexpr qint64 kColumnUpdateMs = 100;

bool isNumber(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

// The response headers as one CR LF text, the status line first.
QString headerBlock(QNetworkReply *reply)
{
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    QString block = QStringLiteral("HTTP/1.1 %1 %2\r\n").arg(code).arg(reason);
    for (const auto &pair : reply->rawHeaderPairs())
        block += QString::fromLatin1(pair.first) + QStringLiteral(": ") + QString::fromLatin1(pair.second)
                 + QStringLiteral("\r\n");
    return block;
}

class Transfer {
public:
    Transfer(DownloadListModel &model, int row, const TransferOneContext &context)
        : m_model(model), m_key(model.Item(row).key), m_row(row), m_ctx(context)
    {
    }

    void Run();

private:
    // The row may move while the loop yields; find it again by its key.
    bool locate()
    {
        if (m_row >= 0 && m_row < m_model.Count() && m_model.Item(m_row).key == m_key)
            return true;
        m_row = m_model.RowOfKey(m_key);
        return m_row >= 0;
    }
    DownloadItem item() { return locate() ? m_model.Item(m_row) : DownloadItem(); }
    void set(DownloadListModel::Column column, const QString &text)
    {
        if (locate())
            m_model.SetText(m_row, column, text);
    }
    void state(ItemState s)
    {
        if (locate())
            m_model.SetState(m_row, s);
    }
    bool busy() const { return !m_ctx.busy || *m_ctx.busy; }
    void stage(int n) const
    {
        if (m_ctx.stage)
            m_ctx.stage(ConnectionStageText(n));
    }
    void cancel()
    {
        if (m_reply) {
            m_reply->abort();
            m_reply->deleteLater();
            m_reply = nullptr;
        }
    }
    void stream(qint64 announced);
    // Sleeps in the event loop until data arrives (woken at once by the reply),
    // the transfer ends, or a short while passes so the stop flag is seen.
    void waitForData()
    {
        YieldEvents();
        if (!m_reply || m_reply->bytesAvailable() > 0 || m_reply->isFinished() || !busy())
            return;
        QEventLoop loop;
        QObject::connect(m_reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(m_reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
    }
    void fallback();
    void correctType()
    {
        if (!locate())
            return;
        DownloadItem it = m_model.Item(m_row);
        if (CorrectItemType(it))
            m_model.SetItem(m_row, it);
    }

    DownloadListModel &m_model;
    QString m_key;
    int m_row;
    const TransferOneContext &m_ctx;
    QPointer<QNetworkReply> m_reply;
    QString m_path;
};

void Transfer::Run()
{
    const QString address = 选择url(m_key);
    if (!IsTransferableAddress(address)) {
        state(ItemState::Failed);
        return;
    }
    if (m_ctx.activity)
        m_ctx.activity(QStringLiteral("正在下载:") + item().name);

    QNetworkAccessManager *nam = m_ctx.manager;
    if (m_ctx.proxyEnabled)
        nam->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, m_ctx.proxyHost, quint16(m_ctx.proxyPort.toUInt())));
    else
        nam->setProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));

    QNetworkRequest request{QUrl(address)};
    const QString referrer = item().referrer;
    request.setRawHeader("Referer", (referrer.isEmpty() ? SiteRoot(address) : referrer).toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    stage(3);
    m_reply = nam->get(request);
    stage(5);
    bool headers = false;
    QObject::connect(m_reply, &QNetworkReply::metaDataChanged, m_reply, [&] {
        if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()
            && m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isNull())
            headers = true;
    });
    WaitUntil([&] { return headers || !m_reply || m_reply->isFinished() || !busy(); }, Durations::HeaderTimeout);
    if (m_reply && m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        headers = true;
    if (!headers || !m_reply || !busy()) {
        if (m_reply && m_reply->error() != QNetworkReply::NoError && m_ctx.stage)
            m_ctx.stage(ConnectionStageText(11, int(m_reply->error()), m_reply->errorString()));
        cancel();
        state(ItemState::Failed);
        if (!busy())
            set(DownloadListModel::SizeColumn, ResultText::DownloadCancelled);
        return;
    }
    stage(8);
    const QString block = headerBlock(m_reply);
    bool ok = false;
    qint64 announced = QString::fromLatin1(m_reply->rawHeader("Content-Length")).trimmed().toLongLong(&ok);
    if (!ok || announced < 0)
        announced = 0;
    if (double(announced) / 1024.0 / 1024.0 > m_ctx.sizeLimitMb) {
        cancel();
        state(ItemState::Done);
        set(DownloadListModel::PercentColumn, ResultText::BigFileSkipped);
        return;
    }
    if (!locate())
        return cancel();
    DownloadItem it = m_model.Item(m_row);
    const SettleResult settled =
        SettleItemPath(it, QString::fromLatin1(m_reply->rawHeader("Content-Type")), block, m_ctx.rule);
    m_model.SetItem(m_row, it);
    if (!settled.ok) {
        cancel();
        return;
    }
    m_path = settled.path;
    const QString statusLine = block.section(QStringLiteral("\r\n"), 0, 0);
    const bool statusOk = statusLine.contains(QLatin1String("200")) && statusLine.contains(QLatin1String("OK"), Qt::CaseInsensitive);
    if (announced > 0 || statusOk) {
        set(DownloadListModel::SizeColumn, announced > 0 ? QString::number(announced) : ResultText::Unknown);
        stream(announced);
    } else {
        fallback();
    }
    cancel();
}

void Transfer::stream(qint64 announced)
{
    set(DownloadListModel::ReceivedColumn, QStringLiteral("0"));
    YieldEvents();
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        set(DownloadListModel::SizeColumn, ResultText::DownloadFailed);
        state(ItemState::Failed);
        return;
    }
    qint64 written = 0;
    qint64 highest = -1;
    qint64 lastProgress = Clock::Now();
    qint64 lastShown = -kColumnUpdateMs;
    auto showProgress = [&](qint64 bytes) {
        set(DownloadListModel::ReceivedColumn, QString::number(bytes));
        const QString size = item().size;
        if (isNumber(size) && size.toLongLong() > 0)
            set(DownloadListModel::PercentColumn,
                QString::number(qint64(double(bytes) / double(size.toLongLong()) * 100.0)) + QLatin1Char('%'));
    };
    auto fail = [&](const QString &sizeText) {
        cancel();
        file.close();
        QFile::remove(m_path);
        set(DownloadListModel::SizeColumn, sizeText);
        state(ItemState::Failed);
    };
    for (;;) {
        waitForData();
        if (!busy())
            return fail(ResultText::DownloadCancelled);
        if (!m_reply)
            return fail(ResultText::DownloadFailed);
        while (m_reply->bytesAvailable() > 0) {
            const QByteArray chunk = m_reply->read(kReadChunk);
            if (file.write(chunk) != chunk.size())
                return fail(ResultText::DownloadFailed);
            written += chunk.size();
        }
        if (written > highest) {
            highest = written;
            lastProgress = Clock::Now();
            const bool last = (announced > 0 && written >= announced) || m_reply->isFinished();
            if (last || lastProgress - lastShown >= kColumnUpdateMs) {
                lastShown = lastProgress;
                showProgress(written);
            }
        }
        if (announced > 0) {
            if (written >= announced)
                break;
        } else {
            if (double(written) / 1024.0 / 1024.0 > m_ctx.sizeLimitMb) {
                cancel();
                file.close();
                state(ItemState::Done);
                set(DownloadListModel::PercentColumn, ResultText::BigFileSkipped);
                return;
            }
        }
        if (m_reply->isFinished() && m_reply->bytesAvailable() == 0) {
            // The server closed early: waiting for the stall would only delay the failure.
            if (announced > 0 || m_reply->error() != QNetworkReply::NoError)
                return fail(ResultText::DownloadFailed);
            break;
        }
        if (Clock::Now() - lastProgress > Durations::StallTimeout)
            return fail(ResultText::DownloadFailed);
    }
    file.close();
    showProgress(written);
    stage(12);
    state(ItemState::Done);
    const DownloadItem it = item();
    if (isNumber(it.received) && it.size == ResultText::Unknown) {
        set(DownloadListModel::SizeColumn, it.received);
        set(DownloadListModel::PercentColumn, ResultText::Complete);
    }
    correctType();
}

void Transfer::fallback()
{
    set(DownloadListModel::SizeColumn, ResultText::Unknown);
    const qint64 start = Clock::Now();
    qint64 lastSize = -1;
    qint64 lastProgress = start;
    WaitUntil(
        [&] {
            if (!m_reply || m_reply->isFinished() || !busy())
                return true;
            if (m_reply->bytesAvailable() != lastSize) {
                lastSize = m_reply->bytesAvailable();
                lastProgress = Clock::Now();
            }
            return Clock::Now() - lastProgress > Durations::StallTimeout;
        },
        -1);
    const QByteArray body = (m_reply && busy()) ? m_reply->readAll() : QByteArray();
    if (body.size() >= 2) {
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(body) == body.size()) {
            file.close();
            set(DownloadListModel::SizeColumn, QString::number(QFileInfo(m_path).size()));
            set(DownloadListModel::ReceivedColumn, QString::number(body.size()));
            set(DownloadListModel::PercentColumn, ResultText::Complete);
            state(ItemState::Done);
            correctType();
            return;
        }
    }
    set(DownloadListModel::SizeColumn, QString());
    set(DownloadListModel::ReceivedColumn, QString());
    set(DownloadListModel::PercentColumn, QString());
    state(ItemState::Failed);
}
} // namespace

QString ConnectionStageText(int stage, int code, const QString &text)
{
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

bool IsTransferableAddress(const QString &address)
{
    const QUrl url(address.trimmed());
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void Inet下载文件(DownloadListModel &model, int row, const TransferOneContext &context)
{
    Transfer(model, row, context).Run();
}

} // namespace dh
