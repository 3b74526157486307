#include "tools/CacheViewerRules.h"

#include "util/DesktopHelpers.h"
#include "util/RemoveBelow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace dh {
namespace {
// A listing stops growing here: a hostile folder tree must not eat the memory.
constexpr qsizetype kMaxListed = 500000;

bool isRoot(const QString &folder) {
#ifdef Q_OS_WIN
    return folder.size() == 3 && folder.at(1) == QLatin1Char(':');
#else
    return folder == QLatin1String("/");
#endif
}

enum class Want { Folders, Files };

void listEntries(const QString &start, QStringList *out, bool recursive, Want want) {
    if (start.isEmpty() || !QDir::isAbsolutePath(start))
        return;
    QStringList pending{start};
    while (!pending.isEmpty() && out->size() < kMaxListed) {
        QString folder = pending.takeLast();
        if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
            folder += QDir::separator();
        const QDir dir(folder);
        if (!dir.exists())
            continue; // unreadable or gone: this folder ends here, silently
        QStringList subfolders;
        const QFileInfoList entries = dir.entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (name.compare(QLatin1String("pagefile.sys"), Qt::CaseInsensitive) == 0)
                continue;
            if (isRoot(folder) && name.compare(QLatin1String("RECYCLER"), Qt::CaseInsensitive) == 0)
                continue;
            const QString path = QDir::toNativeSeparators(folder + name);
            // A link is never followed: it could lead anywhere on the machine.
            if (entry.isDir() && !entry.isSymLink()) {
                if (want == Want::Folders)
                    out->append(path);
                subfolders.append(path);
            } else if (want == Want::Files) {
                out->append(path);
            }
        }
        if (recursive) {
            // Depth first, in the order found: push in reverse.
            for (auto it = subfolders.crbegin(); it != subfolders.crend(); ++it)
                pending.append(*it);
        }
    }
}

QString canonicalOrClean(const QString &path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir::fromNativeSeparators(path)) : canonical;
}
} // namespace

QString CacheTypeOf(const QString &text) {
    QString s = text;
    const QString scheme = QStringLiteral("://");
    qsizetype at = s.indexOf(scheme);
    if (at >= 0) {
        s = s.mid(at + scheme.size());
        at = s.indexOf(scheme);
        if (at >= 0)
            s = s.left(at);
    }
    s.replace(QLatin1Char('/'), QLatin1Char('\\'));
    s = s.mid(s.lastIndexOf(QLatin1Char('\\')) + 1);
    static const QString cuts = QStringLiteral("#\b\t\n\r:*<>|\"'");
    for (QChar c : cuts) {
        at = s.indexOf(c);
        if (at >= 0)
            s.truncate(at);
    }
    for (QChar c : {QLatin1Char('='), QLatin1Char('?')}) {
        at = s.indexOf(c);
        if (at >= 0)
            s.truncate(at);
    }
    at = s.lastIndexOf(QLatin1Char('.'));
    if (at < 0)
        return {};
    const QString type = s.mid(at + 1);
    return type.size() < 7 ? type.trimmed() : QString();
}

void ListFolders(const QString &folder, QStringList *out, bool recursive) {
    listEntries(folder, out, recursive, Want::Folders);
}

void ListFiles(const QString &folder, QStringList *out, bool recursive) {
    listEntries(folder, out, recursive, Want::Files);
}

bool ForceDeleteFile(const QStringList &roots, const QString &path) {
    for (const QString &root : roots) {
        if (IsWrittenBelow(path, root))
            return RemoveBelow(root, path, RemoveWhat::File);
    }
    return false;
}

void RemoveEmptyFolders(const QStringList &folders, const QString &keep, const QStringList &roots) {
    for (auto it = folders.crbegin(); it != folders.crend(); ++it) {
        if (it->isEmpty())
            continue;
        if (!keep.isEmpty() && (IsInsideFolder(*it, keep) || canonicalOrClean(*it) == canonicalOrClean(keep)))
            continue;
        for (const QString &root : roots) {
            if (IsWrittenBelow(*it, root)) {
                RemoveBelow(root, *it, RemoveWhat::EmptyFolder); // refuses a folder that is not empty
                break;
            }
        }
    }
}

bool IsInsideFolder(const QString &path, const QString &folder) {
    if (path.isEmpty() || folder.isEmpty())
        return false;
    // The parent is resolved, the name itself is not: a link is judged by where it lies.
    const QFileInfo info(path);
    const QString parent = canonicalOrClean(info.absolutePath());
    const QString name = info.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    const QString full = QDir::cleanPath(parent + QLatin1Char('/') + name);
    QString root = canonicalOrClean(folder);
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
#ifdef Q_OS_WIN
    return full.startsWith(root, Qt::CaseInsensitive);
#else
    return full.startsWith(root);
#endif
}

QList<UserHome> SystemUserHomes() {
    QList<UserHome> homes;
    QSet<QString> seen;
    auto add = [&](const QString &name, const QString &home) {
        const QString key = canonicalOrClean(home);
        if (name.isEmpty() || home.isEmpty() || seen.contains(key) || !QFileInfo(home).isDir())
            return;
        seen.insert(key);
        homes.append({name, QDir::toNativeSeparators(home)});
    };
#ifdef Q_OS_WIN
    const QString own = QDir::homePath();
    add(QDir(own).dirName(), own);
    QDir root(own);
    if (root.cdUp()) {
        for (const QFileInfo &user :
             root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
            add(user.fileName(), user.filePath());
    }
#else
    const passwd *self = getpwuid(geteuid());
    add(self ? QString::fromLocal8Bit(self->pw_name) : QDir(QDir::homePath()).dirName(), QDir::homePath());
    setpwent();
    while (const passwd *user = getpwent()) {
        if (user->pw_dir && user->pw_dir[0] == '/')
            add(QString::fromLocal8Bit(user->pw_name), QString::fromLocal8Bit(user->pw_dir));
    }
    endpwent();
#endif
    return homes;
}

QStringList ProgramCacheSubPaths() {
    const QString home = QDir::cleanPath(QDir::homePath());
    const QString cache = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    QStringList subPaths;
    if (cache.startsWith(home + QLatin1Char('/')))
        subPaths.append(cache.mid(home.size() + 1));
    else
        subPaths.append(QStringLiteral(".cache/") + QCoreApplication::organizationName() + QLatin1Char('/') +
                        QCoreApplication::applicationName());
#ifdef Q_OS_WIN
    // The desktop browser's own cache folders of the two Windows layouts.
    const QString os = OsDescription();
    const bool newer = os.contains(QLatin1String("windows 8"), Qt::CaseInsensitive) ||
                       os.contains(QLatin1String("windows 7"), Qt::CaseInsensitive) ||
                       os.contains(QLatin1String("Windows 10"), Qt::CaseInsensitive);
    if (newer) {
        subPaths.append(QStringLiteral("AppData/Local/Microsoft/Windows/Temporary Internet Files"));
        subPaths.append(QStringLiteral("AppData/Local/Microsoft/Windows/Inetcache"));
    } else {
        subPaths.append(QStringLiteral("Local Settings/Temporary Internet Files"));
    }
#endif
    return subPaths;
}

QList<UserCacheFolder> FindUserCacheFolders(const QList<UserHome> &homes, const QStringList &subPaths) {
    QList<UserCacheFolder> found;
    for (const UserHome &user : homes) {
        const QString home = QFileInfo(user.home).canonicalFilePath();
        if (home.isEmpty())
            continue;
        for (const QString &sub : subPaths) {
            const QString folder = QDir::cleanPath(home + QLatin1Char('/') + sub);
            const QFileInfo info(folder);
            // A link anywhere below the home could point the deletions elsewhere.
            if (!info.isDir() || !info.isReadable() || info.canonicalFilePath() != folder)
                continue;
            found.append({user.name, QDir::toNativeSeparators(folder)});
        }
    }
    return found;
}

} // namespace dh
