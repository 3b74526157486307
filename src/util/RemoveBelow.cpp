#include "util/RemoveBelow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dh {
namespace {

QString Cleaned(const QString &path) {
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

#ifndef Q_OS_WIN
// A folder handle good for the *at calls, and for nothing else.
#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset(int fd) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};
#endif

} // namespace

bool IsWrittenBelow(const QString &path, const QString &root) {
    if (path.isEmpty() || root.isEmpty())
        return false;
    const QString p = Cleaned(path), r = Cleaned(root);
    const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
#ifdef Q_OS_WIN
    return p.size() > prefix.size() && p.startsWith(prefix, Qt::CaseInsensitive);
#else
    return p.size() > prefix.size() && p.startsWith(prefix);
#endif
}

bool RemoveBelow(const QString &root, const QString &path, RemoveWhat what) {
    if (!QDir::isAbsolutePath(root) || !IsWrittenBelow(path, root))
        return false;
    const QString cleaned = Cleaned(path);
#ifdef Q_OS_WIN
    const QFileInfo info(cleaned);
    if (what == RemoveWhat::EmptyFolder)
        return info.isDir() && !info.isSymLink() && QDir().rmdir(cleaned);
    if (info.isDir() && !info.isSymLink())
        return false;
    // Read-only files refuse deletion there.
    if (!info.isSymLink())
        QFile::setPermissions(cleaned, info.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return QFile::remove(cleaned);
#else
    const QByteArray bytes = QFile::encodeName(cleaned);
    const QList<QByteArray> parts = bytes.split('/');
    Fd folder(::open("/", kFolderFlags));
    // Every part but the last is a folder reached without a link.
    for (qsizetype i = 0; i + 1 < parts.size() && folder.get() >= 0; ++i) {
        const QByteArray &part = parts[i];
        if (part.isEmpty())
            continue;
        if (part == "." || part == "..")
            return false;
        folder.reset(::openat(folder.get(), part.constData(), kFolderFlags));
    }
    const QByteArray &name = parts.last();
    if (folder.get() < 0 || name.isEmpty() || name == "." || name == "..")
        return false;
    if (what == RemoveWhat::EmptyFolder)
        return ::unlinkat(folder.get(), name.constData(), AT_REMOVEDIR) == 0;
    struct stat st {};
    if (::fstatat(folder.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlinkat(folder.get(), name.constData(), 0) == 0;
#endif
}

} // namespace dh
