#pragma once
// What a transfer tells the scheduler, and the rules that turn it into the
// list's columns: one vocabulary from the network to the 结果 column. The
// transfers report; the scheduler alone writes the list, through these.
#include "download/DownloadItem.h"
#include "net/FileTransfer.h"

namespace dh {

// The answer's headers are in: what the transfer will write.
struct TransferStart {
    QString name; // method one settles name, type and folder from the headers
    QString type;
    QString folder;
    qint64 total = -1;      // whole length, -1 unknown
    qint64 resumedFrom = 0; // bytes an earlier attempt left, when the answer goes on from them
    bool oneCall = false;   // method one: neither a length nor "200 OK" (the one-call rules)
    bool resumable = false; // an interruption keeps the partial file, with `partial`
    PartialInfo partial;
};

enum class OutcomeKind {
    Finished,       // the document is in place
    ExistsSkipped,  // the skip rule found the file the headers named; nothing written
    TooLarge,       // over the size limit; nothing kept
    HttpStatus,     // a 4xx or 5xx answer
    NoAnswer,       // no headers in time
    Stalled,        // no progress in time
    ConnectionLost, // the answer broke off
    ConnectFailed,  // no connection (refused, name unknown, TLS)
    Cancelled,      // stopped by the user or the program
    CannotReplace,  // an existing file may not be replaced
    RefusedAddress, // not an http or https address
    WriteFailed,    // the file could not be written
    PathRefused,    // the folder cannot be made or the path would leave it
    Empty,          // a success answer without a body
};

struct TransferOutcome {
    OutcomeKind kind = OutcomeKind::Cancelled;
    int status = 0;           // HTTP status of the answer, 0 without one
    qint64 received = 0;      // bytes of the document in the file
    qint64 total = -1;        // its whole length, -1 unknown
    bool oneCall = false;     // method one's one-call rules applied
    bool resumed = false;     // went on from what an earlier attempt left
    bool partialKept = false; // the partial file stays for the next attempt
    qint64 retryAfterMs = -1; // the answer's Retry-After, -1 without one
    QString path;             // the target file
    QString detail;           // the network library's description
};

// From the network layer's result and the transfer's state.
TransferOutcome OutcomeOf(FileTransfer::Result result, const FileTransfer &transfer);
TransferOutcome OutcomeOf(FileTransfer::Result result, const ReplyHeaders &headers, qint64 written,
                          bool partialKept, const QString &path, const QString &detail);

// 结果: "完成", "已续传", "HTTP 503", "超时", "连接中断" ...
QString OutcomeText(const TransferOutcome &outcome);

// "850.3 KB/s", "2.41 MB/s".
QString SpeedText(double bytesPerSecond);
// The time the rest takes at this speed: "mm:ss", or "h:mm:ss" from an
// hour on; empty when the rest or the speed is unknown.
QString TimeLeftText(qint64 bytesLeft, double bytesPerSecond);

// The columns of a running or ended item, by the rules of method 1 or 2.
void ShowStart(DownloadItem &item, int method, const TransferStart &start);
void ShowProgress(DownloadItem &item, int method, qint64 received, qint64 total);
// The final state, the size, received and percent texts of the method, and 结果.
void ShowOutcome(DownloadItem &item, int method, const TransferOutcome &outcome);

} // namespace dh
