#pragma once
// One HTTP GET written into one file, driven by the reply's signals (no
// waiting loop). The body goes to a temporary file beside the target and is
// moved onto the target name only when the transfer ends as a finished
// document, so an existing file of that name survives every failure. The
// size limit holds on the bytes written (after any decompression), a stall is
// less than 1 KiB of new data within the stall window, and an error status
// never leaves its body behind. Cancel() and the destructor end it at any
// moment; Done is reported exactly once (never after Cancel or destruction).
//
// With a partial file the body goes to that named, hidden file instead, and
// an interrupted transfer (dropped, stalled, cancelled, destroyed, killed)
// leaves it there when the server sent validators, so that the next attempt
// asks only for the rest: "Range: bytes=N-" with If-Range. A 206 whose
// Content-Range starts at N with the same total is appended; a 200 starts
// over; a 416 or a range that does not match starts over once.
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;
class QTimer;

namespace dh {

// What a partial file holds: the bytes of one representation of `address`,
// as its validators name it.
struct PartialInfo {
    QString address;
    QByteArray etag;
    QByteArray lastModified;
    qint64 total = -1; // the whole length it was sent with
    bool Usable() const { return total > 0 && (!etag.isEmpty() || !lastModified.isEmpty()); }
};

struct FileTransferOptions {
    QNetworkAccessManager *manager = nullptr;
    QString address;
    QByteArray referer;         // empty: no Referer header
    qint64 headerTimeoutMs = 0; // program time until the headers must be in; 0: no wait of its own
    qint64 stallTimeoutMs = 0;  // program time without 1 KiB of progress; 0: never
    qint64 sizeLimit = -1;      // most bytes to write; -1: none
    qint64 minimumBytes = 1;    // a shorter body of a success status ends Empty
    QString partialPath;        // named hidden file for the body, kept to resume; empty: an unnamed one
    PartialInfo resume;         // what the partial file holds from an earlier attempt
};

// What the server said before the body.
struct ReplyHeaders {
    int status = 0;
    QByteArray reason;
    QString block;         // status line and headers, CR LF separated
    qint64 announced = -1; // body length as written to disk, -1 unknown (also for an encoded body)
    QString contentType;   // raw value
    QByteArray retryAfter; // raw value, empty without one
    // The whole document: its length (the announced one, or a 206's total)
    // and whether this answer goes on from the bytes an earlier one left.
    qint64 total = -1;
    bool resumed = false;
    qint64 resumedFrom = 0;
    // The partial file is kept when the transfer is interrupted, with these.
    bool resumable = false;
    PartialInfo partial;
};

class FileTransfer : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Finished,      // the target holds the body
        TooLarge,      // over the size limit (announced or written); nothing kept
        HttpError,     // a 4xx or 5xx status; its body is not kept
        Empty,         // a success status with less than the minimum body
        Truncated,     // fewer bytes than announced
        Stalled,       // no progress within the stall window
        NoHeaders,     // no answer within the header wait
        NetworkError,  // the connection failed
        WriteFailed,   // the temporary file could not be created or written
        CannotReplace, // the finished body could not be moved onto an existing file
        NotAllowed,    // not an http or https address; no request was made
        Cancelled,
    };

    explicit FileTransfer(FileTransferOptions options, QObject *parent = nullptr);
    ~FileTransfer() override;

    // Where the body goes. Set before Start(), or at the latest from a slot of
    // HeadersArrived; a transfer without a target when the body starts fails
    // with WriteFailed. False (and the transfer ends) when the temporary file
    // cannot be created there; CannotReplace when the reason is an existing
    // file that may not be replaced.
    bool SetTarget(const QString &path);
    QString Target() const { return m_target; }
    // Changes the option of that name (from a slot of HeadersArrived).
    void SetMinimumBytes(qint64 bytes) { m_options.minimumBytes = bytes; }

    void Start();
    // Ends the transfer now and discards what it wrote (a resumable partial
    // file stays); no Done follows.
    void Cancel();
    // Ends the transfer now with this result (for an owner that refuses the
    // headers); Done follows at once.
    void Fail(Result result);

    bool IsRunning() const { return m_started && !m_ended; }
    // Bytes of the document in the file: what an earlier attempt left and
    // what this one wrote.
    qint64 Written() const { return m_written; }
    // True once the transfer ended or was cancelled leaving its partial file.
    bool PartialKept() const { return m_partialKept; }
    const ReplyHeaders &Headers() const { return m_headers; }
    // Set after an HttpError or NetworkError.
    QString ErrorText() const { return m_errorText; }

signals:
    void HeadersArrived(const dh::ReplyHeaders &headers);
    // Bytes of the whole document so far and its length (-1 unknown).
    void Progress(qint64 written, qint64 total);
    void Done(dh::FileTransfer::Result result);

private:
    void request();
    void onMetaData();
    // A 206, 416 or 200 answer to a range request; false when the transfer
    // started over or ended.
    bool takeRangeAnswer();
    void readValidators();
    bool openPartial();
    void onReadyRead();
    void onFinished();
    void onWatch();
    bool drain();
    Result moveIntoPlace();
    Result movePartialIntoPlace();
    void end(Result result);
    void release(bool interrupted);
    void dropReply();
    bool partialMode() const { return !m_options.partialPath.isEmpty(); }

    FileTransferOptions m_options;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_file;
    QTimer *m_watch = nullptr;
    QString m_target;
    ReplyHeaders m_headers;
    QString m_errorText;
    bool m_started = false;
    bool m_headersSeen = false;
    bool m_ended = false;
    bool m_rangeAsked = false; // the running request asks for the rest only
    bool m_restarted = false;  // started over once after a range that did not fit
    bool m_partialKept = false;
    bool m_touched = false;   // this transfer opened the partial file for writing
    qint64 m_startOffset = 0; // bytes an earlier attempt left that fit this address
    qint64 m_offset = 0;      // bytes of the partial file the range request goes on from
    qint64 m_written = 0;
    qint64 m_startTime = 0;
    qint64 m_markBytes = 0; // bytes at the last counted progress
    qint64 m_markTime = 0;
};

// Only http and https addresses are fetched.
bool IsTransferableAddress(const QString &address);

} // namespace dh
