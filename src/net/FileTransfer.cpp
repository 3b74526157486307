#include "net/FileTransfer.h"

#include "net/HttpHeaders.h"
#include "util/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>

namespace dh {

namespace {
// Less than this within the stall window counts as no progress (a trickle).
constexpr qint64 kProgressBytes = 1024;
// What the reply may hold before we read it; the network thread waits beyond it.
constexpr qint64 kReplyBuffer = 1024 * 1024;

QString statusBlock(QNetworkReply *reply, int status, const QByteArray &reason) {
    return QStringLiteral("HTTP/1.1 %1 %2\r\n").arg(status).arg(QString::fromLatin1(reason)) +
           HeaderLines(reply->rawHeaderPairs());
}

// "bytes first-last/total"; false for anything else ("*" totals included).
bool parseContentRange(const QByteArray &value, qint64 &first, qint64 &last, qint64 &total) {
    static const QRegularExpression shape(QStringLiteral("^\\s*bytes\\s+(\\d+)-(\\d+)/(\\d+)\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = shape.match(QString::fromLatin1(value));
    if (!m.hasMatch())
        return false;
    bool a = false, b = false, c = false;
    first = m.captured(1).toLongLong(&a);
    last = m.captured(2).toLongLong(&b);
    total = m.captured(3).toLongLong(&c);
    return a && b && c && first <= last && last < total;
}

const QFileDevice::Permissions kDocumentPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                      QFileDevice::ReadGroup | QFileDevice::ReadOther;
} // namespace

bool IsTransferableAddress(const QString &address) {
    const QUrl url(address.trimmed());
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

FileTransfer::FileTransfer(FileTransferOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)) {}

FileTransfer::~FileTransfer() {
    if (!m_ended)
        release(true);
}

bool FileTransfer::SetTarget(const QString &path) {
    if (m_ended)
        return false;
    m_target = path;
    const QFileInfo target(path);
    // A file that may not be written is not replaced; better to know before the body comes.
    const bool locked = target.exists() && !target.isWritable();
    if (partialMode()) {
        // The partial file opens once the answer says whether it goes on.
        if (!locked && (!m_headersSeen || m_file || openPartial()))
            return true;
    } else {
        // On Linux the temporary file has no name at all until it is finished.
        auto temporary = std::make_unique<QTemporaryFile>(target.absolutePath() +
                                                          QStringLiteral("/.docharvest-XXXXXX.part"));
        if (!locked && temporary->open()) {
            m_file = std::move(temporary);
            return true;
        }
    }
    m_file.reset();
    if (m_started)
        end(locked ? Result::CannotReplace : Result::WriteFailed);
    return false;
}

// Moves the finished body onto the target name in one step, replacing a
// file of that name. Not synced to disk: that would hold the window up for
// as long as the disk takes, and download tools do not do it either.
FileTransfer::Result FileTransfer::moveIntoPlace() {
    if (partialMode())
        return movePartialIntoPlace();
    auto *temporary = static_cast<QTemporaryFile *>(m_file.get());
    if (!temporary->flush())
        return Result::WriteFailed;
    // The temporary file is private to us; the document gets the permissions
    // of the file it replaces, or those of an ordinary new file.
    const QFileInfo old(m_target);
    temporary->setPermissions(old.exists() ? old.permissions() : kDocumentPermissions);
    QString named;
    for (int attempt = 0; attempt < 8 && named.isEmpty(); ++attempt) {
        const QString candidate =
            m_target + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate64(), 0, 36);
        if (temporary->rename(candidate)) // never replaces a file
            named = candidate;
    }
    if (named.isEmpty())
        return Result::WriteFailed;
    temporary->setAutoRemove(false);
    m_file.reset();
    std::error_code error;
    std::filesystem::rename(QFileInfo(named).filesystemFilePath(), QFileInfo(m_target).filesystemFilePath(),
                            error);
    if (!error)
        return Result::Finished;
    QFile::remove(named);
    return QFile::exists(m_target) ? Result::CannotReplace : Result::WriteFailed;
}

FileTransfer::Result FileTransfer::movePartialIntoPlace() {
    if (!m_file->flush())
        return Result::WriteFailed;
    const QFileInfo old(m_target);
    m_file->setPermissions(old.exists() ? old.permissions() : kDocumentPermissions);
    m_file->close();
    m_file.reset();
    std::error_code error;
    std::filesystem::rename(QFileInfo(m_options.partialPath).filesystemFilePath(),
                            QFileInfo(m_target).filesystemFilePath(), error);
    if (!error)
        return Result::Finished;
    QFile::remove(m_options.partialPath);
    return QFile::exists(m_target) ? Result::CannotReplace : Result::WriteFailed;
}

void FileTransfer::Start() {
    if (m_started)
        return;
    m_started = true;
    m_startTime = m_markTime = Clock::Now();
    if (!IsTransferableAddress(m_options.address) || !m_options.manager) {
        // Reported from the event loop, as every other outcome is.
        QTimer::singleShot(0, this, [this] { end(Result::NotAllowed); });
        return;
    }
    if (partialMode()) {
        // Only the rest of a partial file of this very address is asked for.
        const QFileInfo partial(m_options.partialPath);
        const PartialInfo &was = m_options.resume;
        const bool fits = partial.isFile() && !partial.isSymLink() && was.Usable() &&
                          was.address == m_options.address.trimmed() && partial.size() > 0 &&
                          partial.size() < was.total;
        m_offset = m_startOffset = fits ? partial.size() : 0;
    }
    request();
    m_watch = new QTimer(this);
    m_watch->setInterval(Clock::RealInterval(Durations::Second));
    connect(m_watch, &QTimer::timeout, this, &FileTransfer::onWatch);
    m_watch->start();
}

void FileTransfer::request() {
    QNetworkRequest request{QUrl(m_options.address.trimmed())};
    if (!m_options.referer.isEmpty())
        request.setRawHeader("Referer", m_options.referer);
    m_rangeAsked = m_offset > 0;
    if (m_rangeAsked) {
        const PartialInfo &was = m_options.resume;
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
        request.setRawHeader("If-Range", was.etag.isEmpty() ? was.lastModified : was.etag);
        // The bytes must be those of the file, not of a compressed stream.
        request.setRawHeader("Accept-Encoding", "identity");
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The size limit is checked on every write; the library's own ratio check
    // would turn an oversized compressed body into a plain failure.
    request.setDecompressedSafetyCheckThreshold(-1);
    m_reply = m_options.manager->get(request);
    m_reply->setReadBufferSize(kReplyBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &FileTransfer::onMetaData);
    connect(m_reply, &QIODevice::readyRead, this, &FileTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &FileTransfer::onFinished);
}

void FileTransfer::Cancel() {
    if (m_ended)
        return;
    m_ended = true;
    release(true);
}

void FileTransfer::Fail(Result result) {
    end(result);
}

void FileTransfer::readValidators() {
    PartialInfo &p = m_headers.partial;
    p.address = m_options.address.trimmed();
    p.etag = m_reply->rawHeader("ETag").trimmed();
    p.lastModified = m_reply->rawHeader("Last-Modified").trimmed();
    p.total = m_headers.total;
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    // A weak validator may not be used in If-Range.
    if (p.etag.startsWith("W/"))
        p.etag.clear();
    m_headers.resumable = partialMode() && p.Usable() && (encoding.isEmpty() || encoding == "identity");
}

bool FileTransfer::takeRangeAnswer() {
    // Once: a server that keeps answering ranges wrongly gets a plain request.
    const auto startOver = [this](Result otherwise) {
        if (m_restarted) {
            end(otherwise);
            return false;
        }
        dropReply();
        m_restarted = true;
        m_offset = m_startOffset = 0; // what the partial file holds is no use
        m_headersSeen = false;
        request();
        return false;
    };
    if (m_headers.status == 206) {
        qint64 first = 0, last = 0, total = 0;
        const bool parsed = parseContentRange(m_reply->rawHeader("Content-Range"), first, last, total);
        const QByteArray etag = m_reply->rawHeader("ETag").trimmed();
        const PartialInfo &was = m_options.resume;
        const bool sameEtag = etag.isEmpty() || was.etag.isEmpty() || etag == was.etag;
        if (!parsed || first != m_offset || total != was.total || !sameEtag)
            return startOver(Result::NetworkError);
        m_headers.total = total;
        m_headers.announced = total - m_offset;
        m_headers.resumed = true;
        m_headers.resumedFrom = m_offset;
        readValidators();
        // The answer may omit validators the first one sent.
        if (m_headers.partial.etag.isEmpty())
            m_headers.partial.etag = was.etag;
        if (m_headers.partial.lastModified.isEmpty())
            m_headers.partial.lastModified = was.lastModified;
        m_headers.resumable = m_headers.partial.Usable();
        return true;
    }
    if (m_headers.status == 416)
        return startOver(Result::HttpError);
    return true; // a whole answer (a 200 starts over) or an error
}

void FileTransfer::onMetaData() {
    if (m_headersSeen || m_ended || !m_reply)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isNull())
        return; // a redirect on the way
    m_headersSeen = true;
    m_headers = ReplyHeaders();
    m_headers.status = status.toInt();
    m_headers.reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_headers.block = statusBlock(m_reply, m_headers.status, m_headers.reason);
    m_headers.contentType = QString::fromLatin1(m_reply->rawHeader("Content-Type"));
    m_headers.retryAfter = m_reply->rawHeader("Retry-After");
    bool ok = false;
    const qint64 length = QString::fromLatin1(m_reply->rawHeader("Content-Length")).trimmed().toLongLong(&ok);
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    // A compressed body is written inflated: its announced length says nothing about the file.
    m_headers.announced = ok && length >= 0 && (encoding.isEmpty() || encoding == "identity") ? length : -1;
    m_headers.total = m_headers.announced;
    if (m_rangeAsked && !takeRangeAnswer())
        return;
    if (!m_headers.resumed)
        readValidators();
    m_written = m_headers.resumedFrom;
    m_markBytes = m_written;

    if (m_headers.status >= 400) {
        m_errorText = QString::number(m_headers.status);
        return end(Result::HttpError);
    }
    if (m_options.sizeLimit >= 0 && m_headers.total > m_options.sizeLimit)
        return end(Result::TooLarge);
    QPointer<FileTransfer> self(this);
    emit HeadersArrived(m_headers);
    if (!self || m_ended)
        return;
    if (!m_file && !(partialMode() && !m_target.isEmpty() && openPartial()))
        return end(Result::WriteFailed);
}

// Opens the partial file: appended to when the answer goes on from it,
// otherwise emptied or made anew. Only a plain file of that name is used.
bool FileTransfer::openPartial() {
    const QString &path = m_options.partialPath;
    if (QFileInfo(path).isSymLink())
        QFile::remove(path); // the link only, never what it points to
    auto file = std::make_unique<QFile>(path);
    bool opened = false;
    if (m_headers.resumed) {
        opened =
            file->open(QIODevice::WriteOnly | QIODevice::Append) && file->size() == m_headers.resumedFrom;
    } else if (QFileInfo(path).isFile()) {
        opened = file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    } else {
        opened = file->open(QIODevice::WriteOnly | QIODevice::NewOnly);
        if (opened)
            file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    if (!opened)
        return false;
    m_file = std::move(file);
    m_touched = true;
    return true;
}

void FileTransfer::onReadyRead() {
    if (m_ended || !m_headersSeen)
        return;
    if (drain())
        emit Progress(m_written, m_headers.total);
}

// Writes what the reply holds; false when the transfer ended.
bool FileTransfer::drain() {
    if (!m_file) {
        end(Result::WriteFailed);
        return false;
    }
    while (m_reply && m_reply->bytesAvailable() > 0) {
        // readAll hands over the reply's buffered chunks without copying them.
        const QByteArray chunk = m_reply->readAll();
        if (chunk.isEmpty())
            break;
        if (m_options.sizeLimit >= 0 && m_written + chunk.size() > m_options.sizeLimit) {
            end(Result::TooLarge);
            return false;
        }
        if (m_file->write(chunk) != chunk.size()) {
            end(Result::WriteFailed);
            return false;
        }
        m_written += chunk.size();
    }
    return true;
}

void FileTransfer::onFinished() {
    if (m_ended || !m_reply)
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    if (!m_headersSeen) {
        const QNetworkReply *answered = m_reply;
        onMetaData();
        if (m_ended || m_reply != answered)
            return; // ended, or started over with a plain request
    }
    if (error != QNetworkReply::NoError && !m_headersSeen) {
        m_errorText = m_reply->errorString();
        return end(Result::NetworkError);
    }
    if (!drain())
        return;
    if (m_headers.total > 0 && m_written < m_headers.total)
        return end(Result::Truncated);
    if (error != QNetworkReply::NoError) {
        m_errorText = m_reply->errorString();
        return end(Result::NetworkError);
    }
    if (m_written < std::max<qint64>(1, m_options.minimumBytes))
        return end(Result::Empty);
    end(moveIntoPlace());
}

void FileTransfer::onWatch() {
    if (m_ended)
        return;
    const qint64 now = Clock::Now();
    if (m_written - m_markBytes >= kProgressBytes) {
        m_markBytes = m_written;
        m_markTime = now;
    }
    if (!m_headersSeen && m_options.headerTimeoutMs > 0 && now - m_startTime >= m_options.headerTimeoutMs)
        return end(Result::NoHeaders);
    if (m_options.stallTimeoutMs > 0 && now - m_markTime >= m_options.stallTimeoutMs)
        end(Result::Stalled);
}

void FileTransfer::end(Result result) {
    if (m_ended)
        return;
    m_ended = true;
    // The bytes that came stay for the next attempt when the answer was cut
    // short; a refused, oversized or finished body does not.
    const bool interrupted = result == Result::Truncated || result == Result::Stalled ||
                             result == Result::NetworkError || result == Result::NoHeaders ||
                             result == Result::HttpError || result == Result::Cancelled;
    release(interrupted);
    emit Done(result);
}

void FileTransfer::dropReply() {
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    if (!reply->isFinished())
        reply->abort();
    reply->deleteLater();
}

// Stops the request and the watch. An unfinished temporary file removes
// itself; a partial file stays when it can be resumed and the transfer was
// interrupted, and goes otherwise.
void FileTransfer::release(bool interrupted) {
    if (m_watch)
        m_watch->stop();
    dropReply();
    if (!partialMode()) {
        m_file.reset();
        return;
    }
    if (m_file)
        m_file->close();
    m_file.reset();
    // Left as it was: what an earlier attempt kept, when this one never wrote.
    const bool untouched = !m_touched && m_startOffset > 0;
    m_partialKept = interrupted && ((m_touched && m_headers.resumable) || untouched);
    if (!m_partialKept && QFileInfo(m_options.partialPath).isFile())
        QFile::remove(m_options.partialPath);
}

} // namespace dh
