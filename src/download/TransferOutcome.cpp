#include "download/TransferOutcome.h"

#include "download/SaveNaming.h"
#include "download/SitePolicy.h"
#include "util/Clock.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace dh {

namespace {

bool isNumber(const QString &text) {
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

QString percentOf(qint64 bytes, qint64 size) {
    return QString::number(qint64(double(bytes) / double(size) * 100.0)) + QLatin1Char('%');
}

// Method one: received, and the percent when the size is a number.
void showReceived(DownloadItem &item, qint64 bytes) {
    item.received = QString::number(bytes);
    if (isNumber(item.size) && item.size.toLongLong() > 0)
        item.percent = percentOf(bytes, item.size.toLongLong());
}

// Method two writes all three only when the total is known and not passed.
bool showThree(DownloadItem &item, qint64 received, qint64 total) {
    if (total <= 0 || total < received)
        return false;
    item.size = QString::number(total);
    item.received = QString::number(received);
    item.percent = percentOf(received, total);
    return true;
}

void methodOneOutcome(DownloadItem &item, const TransferOutcome &o) {
    using K = OutcomeKind;
    item.state = ItemState::Failed;
    switch (o.kind) {
    case K::Finished:
        if (o.oneCall) {
            item.size = QString::number(o.received);
            item.received = item.size;
            item.percent = ResultText::Complete;
        } else {
            showReceived(item, o.received);
            if (item.size == ResultText::Unknown) {
                item.size = QString::number(o.received);
                item.percent = ResultText::Complete;
            }
        }
        item.state = ItemState::Done;
        return;
    case K::TooLarge:
        item.percent = ResultText::BigFileSkipped;
        item.state = ItemState::Done;
        return;
    case K::ExistsSkipped:
        item.size = QString::number(QFileInfo(o.path).size());
        item.received = item.size;
        item.percent = ResultText::ExistsSkipped;
        item.state = ItemState::Done;
        return;
    case K::HttpStatus:
        item.size = ResultText::DownloadFailed + QLatin1Char(' ') + QString::number(o.status);
        return;
    case K::Empty:
        if (o.oneCall) {
            item.size.clear();
            item.received.clear();
            item.percent.clear();
        } else {
            item.size = ResultText::DownloadFailed;
        }
        return;
    case K::CannotReplace:
        MarkCannotReplace(item, o.path);
        return;
    case K::Cancelled:
        item.size = ResultText::DownloadCancelled;
        return;
    case K::NoAnswer:
    case K::RefusedAddress:
    case K::ConnectFailed:
        return; // no answer: the columns stay as they were
    case K::ConnectionLost:
    case K::Stalled:
    case K::WriteFailed:
    case K::PathRefused:
        item.size = ResultText::DownloadFailed;
        return;
    }
}

void methodTwoOutcome(DownloadItem &item, const TransferOutcome &o) {
    item.state = ItemState::Failed;
    if (o.kind == OutcomeKind::TooLarge) {
        showThree(item, o.received, o.total);
        item.percent = ResultText::BigFileSkipped;
        item.state = ItemState::Done;
    } else if (o.kind == OutcomeKind::Finished) {
        showThree(item, o.received, o.total);
        if (item.percent == ResultText::Complete)
            item.state = ItemState::Done;
    }
    // Any other end leaves the columns as the last progress left them.
}

} // namespace

TransferOutcome OutcomeOf(FileTransfer::Result result, const FileTransfer &transfer) {
    return OutcomeOf(result, transfer.Headers(), transfer.Written(), transfer.PartialKept(),
                     transfer.Target(), transfer.ErrorText());
}

TransferOutcome OutcomeOf(FileTransfer::Result result, const ReplyHeaders &h, qint64 written,
                          bool partialKept, const QString &path, const QString &detail) {
    using R = FileTransfer::Result;
    using K = OutcomeKind;
    TransferOutcome o;
    o.status = h.status;
    o.received = written;
    o.total = h.total;
    o.resumed = h.resumed;
    o.partialKept = partialKept;
    o.retryAfterMs = RetryAfterMs(h.retryAfter, Clock::WallTime());
    o.path = path;
    o.detail = detail;
    switch (result) {
    case R::Finished:
        o.kind = K::Finished;
        break;
    case R::TooLarge:
        o.kind = K::TooLarge;
        break;
    case R::HttpError:
        o.kind = K::HttpStatus;
        break;
    case R::Empty:
        o.kind = K::Empty;
        break;
    case R::Truncated:
        o.kind = K::ConnectionLost;
        break;
    case R::Stalled:
        o.kind = K::Stalled;
        break;
    case R::NoHeaders:
        o.kind = K::NoAnswer;
        break;
    case R::NetworkError:
        o.kind = h.status == 0 ? K::ConnectFailed : K::ConnectionLost;
        break;
    case R::WriteFailed:
        o.kind = K::WriteFailed;
        break;
    case R::CannotReplace:
        o.kind = K::CannotReplace;
        break;
    case R::NotAllowed:
        o.kind = K::RefusedAddress;
        break;
    case R::Cancelled:
        o.kind = K::Cancelled;
        break;
    }
    return o;
}

QString OutcomeText(const TransferOutcome &o) {
    using K = OutcomeKind;
    switch (o.kind) {
    case K::Finished:
        return o.resumed ? QStringLiteral("已续传") : QStringLiteral("完成");
    case K::TooLarge:
        return ResultText::BigFileSkipped;
    case K::ExistsSkipped:
        return ResultText::ExistsSkipped;
    case K::HttpStatus:
        return QStringLiteral("HTTP %1").arg(o.status);
    case K::NoAnswer:
    case K::Stalled:
        return QStringLiteral("超时");
    case K::ConnectionLost:
        return QStringLiteral("连接中断");
    case K::ConnectFailed:
        return QStringLiteral("无法连接");
    case K::Cancelled:
        return ResultText::Cancelled;
    case K::CannotReplace:
        return ResultText::CannotReplace;
    case K::RefusedAddress:
        return QStringLiteral("地址无效");
    case K::WriteFailed:
        return QStringLiteral("写入失败");
    case K::PathRefused:
        return ResultText::PathRefused;
    case K::Empty:
        return QStringLiteral("空文件");
    }
    return {};
}

QString SpeedText(double bytesPerSecond) {
    const double rate = std::max(0.0, bytesPerSecond);
    if (rate < 1024.0 * 1024.0)
        return QString::number(rate / 1024.0, 'f', 1) + QStringLiteral(" KB/s");
    return QString::number(rate / (1024.0 * 1024.0), 'f', 2) + QStringLiteral(" MB/s");
}

QString TimeLeftText(qint64 bytesLeft, double bytesPerSecond) {
    if (bytesLeft < 0 || !(bytesPerSecond > 0))
        return {};
    const double seconds = std::ceil(double(bytesLeft) / bytesPerSecond);
    if (seconds > 100.0 * 3600.0)
        return QStringLiteral("99:59:59");
    const qint64 s = qint64(seconds);
    const QString mmss = QStringLiteral("%1:%2")
                             .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s < 3600 ? mmss : QString::number(s / 3600) + QLatin1Char(':') + mmss;
}

void ShowStart(DownloadItem &item, int method, const TransferStart &start) {
    if (method != 1)
        return; // method two settled its path before the start and shows progress only
    item.name = start.name;
    item.type = start.type;
    item.folder = start.folder;
    if (start.oneCall) {
        item.size = ResultText::Unknown;
        return;
    }
    item.size = start.total > 0 ? QString::number(start.total) : ResultText::Unknown;
    item.received = QString::number(start.resumedFrom);
    if (start.resumedFrom > 0)
        showReceived(item, start.resumedFrom);
}

void ShowProgress(DownloadItem &item, int method, qint64 received, qint64 total) {
    if (method == 1)
        showReceived(item, received);
    else
        showThree(item, received, total);
}

void ShowOutcome(DownloadItem &item, int method, const TransferOutcome &outcome) {
    if (method == 1)
        methodOneOutcome(item, outcome);
    else
        methodTwoOutcome(item, outcome);
    // A complete answer that fell short of its length is not "完成".
    if (outcome.kind == OutcomeKind::Finished && item.state != ItemState::Done)
        item.result = QStringLiteral("不完整");
    else
        item.result = OutcomeText(outcome);
}

} // namespace dh
