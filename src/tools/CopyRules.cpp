#include "tools/CopyRules.h"

#include "util/FileHelpers.h"
#include "util/Wait.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <atomic>
#ifdef Q_OS_LINUX
#include <unistd.h>
#endif
#include <filesystem>
#include <memory>
#include <thread>

namespace dh {
namespace {
constexpr int kExtensionLimit = 7;
constexpr qint64 kCopyChunk = 4 * 1024 * 1024;
// Smaller files are copied at once; bigger ones on a worker so the window stays responsive.
constexpr qint64 kInlineCopyLimit = 4 * 1024 * 1024;
// Far beyond any real folder; only ends a search that could not succeed.
constexpr int kMaxCounter = 1000000;

bool isSeparator(QChar c) {
    return c == QLatin1Char('/') || c == QDir::separator();
}

bool occupied(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

std::filesystem::path fsPath(const QString &path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}
// Whole contents of `in` to `out`; the kernel copies when it can (as cp does).
bool copyContents(QFile &in, QFileDevice &out, qint64 size) {
    qint64 done = 0;
#ifdef Q_OS_LINUX
    if (!out.flush())
        return false;
    while (done < size) {
        const ssize_t n =
            copy_file_range(in.handle(), nullptr, out.handle(), nullptr, size_t(size - done), 0);
        if (n <= 0)
            break; // not supported here, or the file shrank: the loop below decides
        done += n;
    }
    if (done > 0 && (!in.seek(done) || !out.seek(done)))
        return false;
#endif
    QByteArray buffer;
    for (;;) {
        buffer = in.read(kCopyChunk);
        if (buffer.isEmpty())
            break;
        if (out.write(buffer) != buffer.size())
            return false;
        done += buffer.size();
    }
    return in.error() == QFileDevice::NoError && out.flush() && done == size;
}
} // namespace

CopyRule CopyRuleFromIndex(int index) {
    return index >= 1 && index <= 5 ? CopyRule(index) : CopyRule::SizeAndTimeOverwrite;
}

CopyNameParts SplitCopyName(const QString &path) {
    const QString text = path.trimmed();
    qsizetype cut = text.size() - 1;
    while (cut >= 0 && !isSeparator(text.at(cut)))
        --cut;
    CopyNameParts parts;
    parts.folder = text.left(cut + 1);
    const QString name = text.mid(cut + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && name.size() - dot - 1 < kExtensionLimit) {
        parts.base = name.left(dot).trimmed();
        parts.extension = name.mid(dot + 1).trimmed();
    } else {
        parts.base = name.trimmed();
    }
    if (parts.base.isEmpty()) {
        parts.base = name;
        parts.extension.clear();
    }
    return parts;
}

CounterParts StripCounter(const QString &base) {
    CounterParts parts{base, {}};
    if (!base.endsWith(QLatin1Char(']')))
        return parts;
    const qsizetype open = base.lastIndexOf(QLatin1Char('['), base.size() - 2);
    if (open < 0)
        return parts;
    const QString number = base.mid(open + 1, base.size() - open - 2).trimmed();
    const QString stripped = base.left(open);
    if (!IsDecimalDigits(number) || stripped.isEmpty())
        return parts;
    return {stripped, number};
}

QString CounterName(const QString &base, int n, const QString &extension) {
    QString name =
        base + QLatin1Char('[') + QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')) + QLatin1Char(']');
    if (!extension.isEmpty())
        name += QLatin1Char('.') + extension;
    return name;
}

QString FreeCounterTarget(const QString &source, const QString &folder) {
    const CopyNameParts parts = SplitCopyName(source);
    const QString base = StripCounter(parts.base).base;
    const QDir dir(folder);
    QString candidate =
        dir.filePath(parts.extension.isEmpty() ? base : base + QLatin1Char('.') + parts.extension);
    for (int n = 1; occupied(candidate); ++n) {
        if (n > kMaxCounter)
            return {};
        candidate = dir.filePath(CounterName(base, n, parts.extension));
    }
    return QDir::toNativeSeparators(candidate);
}

CopyAction DecideCopy(CopyRule rule, const QString &source, const QString &target) {
    if (!occupied(target))
        return CopyAction::Copy;
    const QFileInfo from(source);
    const QFileInfo to(target);
    const bool sameSize = from.size() == to.size();
    // Whole seconds: file systems keep times at different precisions.
    const bool sameTime = from.lastModified().toSecsSinceEpoch() == to.lastModified().toSecsSinceEpoch();
    switch (rule) {
    case CopyRule::Skip:
        return CopyAction::Skip;
    case CopyRule::Overwrite:
        return CopyAction::Overwrite;
    case CopyRule::Rename:
        return CopyAction::Rename;
    case CopyRule::SizeAndTimeOverwrite:
        return sameSize && sameTime ? CopyAction::Overwrite : CopyAction::Rename;
    case CopyRule::SizeOverwrite:
        return sameSize ? CopyAction::Overwrite : CopyAction::Rename;
    }
    return CopyAction::Skip;
}

bool CopyFileSafely(const QString &source, const QString &target, bool replace) {
    const QFileInfo from(source);
    QFile in(source);
    if (!from.isFile() || !in.open(QIODevice::ReadOnly))
        return false;
    if (!replace && occupied(target))
        return false;
    // A short fixed name: the target's own name may already be at the length limit.
    QTemporaryFile out(QFileInfo(target).absoluteDir().filePath(QStringLiteral(".dhcopy.XXXXXX")));
    if (!out.open())
        return false;
    bool ok = copyContents(in, out, from.size());
    if (ok) {
        out.setPermissions(from.permissions());
        out.setFileTime(from.lastModified(), QFileDevice::FileModificationTime);
    }
    const QString temp = out.fileName();
    out.close();
    if (!ok)
        return false; // the temporary file goes with `out`
    out.setAutoRemove(false);
    if (replace) {
        std::error_code error;
        std::filesystem::rename(fsPath(temp), fsPath(target), error);
        ok = !error;
    } else {
        ok = QFile::rename(temp, target); // refuses an existing target
    }
    if (!ok)
        QFile::remove(temp);
    return ok;
}

bool CopyFileResponsive(const QString &source, const QString &target, bool replace) {
    if (QFileInfo(source).size() <= kInlineCopyLimit)
        return CopyFileSafely(source, target, replace);
    auto result = std::make_shared<std::atomic<int>>(-1);
    QObject *app = QCoreApplication::instance();
    std::thread worker([=] {
        result->store(CopyFileSafely(source, target, replace) ? 1 : 0);
        // Wakes the waiting event loop at once.
        if (app)
            QMetaObject::invokeMethod(
                app, [] {}, Qt::QueuedConnection);
    });
    WaitUntil([&] { return result->load() >= 0; }, -1);
    worker.join();
    return result->load() == 1;
}

bool 复制相同文件自动重命名(const QString &source, const QString &folder) {
    if (!QFileInfo(source).isFile())
        return false;
    const QString target = FreeCounterTarget(source, folder);
    return !target.isEmpty() && CopyFileResponsive(source, target, false);
}

} // namespace dh
