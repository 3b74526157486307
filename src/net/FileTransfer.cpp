#include "net/FileTransfer.h"

#include "util/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
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
    QString block = QStringLiteral("HTTP/1.1 %1 %2\r\n").arg(status).arg(QString::fromLatin1(reason));
    for (const auto &pair : reply->rawHeaderPairs())
        block += QString::fromLatin1(pair.first) + QStringLiteral(": ") + QString::fromLatin1(pair.second) +
                 QStringLiteral("\r\n");
    return block;
}
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
    release();
}

bool FileTransfer::SetTarget(const QString &path) {
    if (m_ended)
        return false;
    m_target = path;
    const QFileInfo target(path);
    // A file that may not be written is not replaced; better to know before the body comes.
    const bool locked = target.exists() && !target.isWritable();
    // On Linux the temporary file has no name at all until it is finished.
    m_file =
        std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.docharvest-XXXXXX.part"));
    if (!locked && m_file->open())
        return true;
    m_file.reset();
    if (m_started)
        end(locked ? Result::CannotReplace : Result::WriteFailed);
    return false;
}

// Moves the finished body onto the target name in one step, replacing a
// file of that name. Not synced to disk: that would hold the window up for
// as long as the disk takes, and download tools do not do it either.
FileTransfer::Result FileTransfer::moveIntoPlace() {
    if (!m_file->flush())
        return Result::WriteFailed;
    // The temporary file is private to us; the document gets the permissions
    // of the file it replaces, or those of an ordinary new file.
    const QFileInfo old(m_target);
    m_file->setPermissions(old.exists() ? old.permissions()
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QString named;
    for (int attempt = 0; attempt < 8 && named.isEmpty(); ++attempt) {
        const QString candidate =
            m_target + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate64(), 0, 36);
        if (m_file->rename(candidate)) // never replaces a file
            named = candidate;
    }
    if (named.isEmpty())
        return Result::WriteFailed;
    m_file->setAutoRemove(false);
    m_file.reset();
    std::error_code error;
    std::filesystem::rename(QFileInfo(named).filesystemFilePath(), QFileInfo(m_target).filesystemFilePath(),
                            error);
    if (!error)
        return Result::Finished;
    QFile::remove(named);
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
    QNetworkRequest request{QUrl(m_options.address.trimmed())};
    if (!m_options.referer.isEmpty())
        request.setRawHeader("Referer", m_options.referer);
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

    m_watch = new QTimer(this);
    m_watch->setInterval(Clock::RealInterval(Durations::Second));
    connect(m_watch, &QTimer::timeout, this, &FileTransfer::onWatch);
    m_watch->start();
}

void FileTransfer::Cancel() {
    m_ended = true;
    release();
}

void FileTransfer::Fail(Result result) {
    end(result);
}

void FileTransfer::onMetaData() {
    if (m_headersSeen || m_ended || !m_reply)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isNull())
        return; // a redirect on the way
    m_headersSeen = true;
    m_headers.status = status.toInt();
    m_headers.reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_headers.block = statusBlock(m_reply, m_headers.status, m_headers.reason);
    m_headers.contentType = QString::fromLatin1(m_reply->rawHeader("Content-Type"));
    bool ok = false;
    const qint64 length = QString::fromLatin1(m_reply->rawHeader("Content-Length")).trimmed().toLongLong(&ok);
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    // A compressed body is written inflated: its announced length says nothing about the file.
    m_headers.announced = ok && length >= 0 && (encoding.isEmpty() || encoding == "identity") ? length : -1;

    if (m_headers.status >= 400) {
        m_errorText = QString::number(m_headers.status);
        return end(Result::HttpError);
    }
    if (m_options.sizeLimit >= 0 && m_headers.announced > m_options.sizeLimit)
        return end(Result::TooLarge);
    QPointer<FileTransfer> self(this);
    emit HeadersArrived(m_headers);
    if (!self || m_ended)
        return;
    if (!m_file)
        return end(Result::WriteFailed);
}

void FileTransfer::onReadyRead() {
    if (m_ended || !m_headersSeen)
        return;
    if (drain())
        emit Progress(m_written, m_headers.announced);
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
        onMetaData();
        if (m_ended)
            return;
    }
    if (error != QNetworkReply::NoError && !m_headersSeen) {
        m_errorText = m_reply->errorString();
        return end(Result::NetworkError);
    }
    if (!drain())
        return;
    if (m_headers.announced > 0 && m_written < m_headers.announced)
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
    release();
    emit Done(result);
}

// Stops the request and the watch and discards an uncommitted file.
void FileTransfer::release() {
    if (m_watch)
        m_watch->stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        if (!reply->isFinished())
            reply->abort();
        reply->deleteLater();
    }
    m_file.reset(); // an unfinished temporary file removes itself
}

} // namespace dh
