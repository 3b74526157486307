#include "util/FileHelpers.h"

#include "util/Messages.h"
#include "util/TextCoding.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace dh {
namespace {

constexpr int CleanedNameBytes = 200;
constexpr int BaseNameChars = 100;
constexpr int ExtensionLimit = 7;

const QString &BadFolderNameText() {
    static const QString text = QStringLiteral("文件夹名称有误！不能创建文件夹！");
    return text;
}

// Qt warns about and refuses names with an embedded NUL; answer quietly instead.
bool Usable(const QString &path) {
    return !path.isEmpty() && !path.contains(QChar(0));
}

// The character count that keeps a surrogate pair whole at a cut after n units.
qsizetype PairSafeCut(const QString &text, qsizetype n) {
    if (n <= 0)
        return 0;
    if (n >= text.size())
        return text.size();
    if (text.at(n - 1).isHighSurrogate() && text.at(n).isLowSurrogate())
        return n - 1;
    return n;
}

// UTF-8 length of one code point starting at i; a lone surrogate is written
// as a three-byte replacement.
int Utf8Width(const QString &text, qsizetype i, qsizetype *units) {
    const char16_t c = text.at(i).unicode();
    *units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        *units = 2;
        return 4;
    }
    return 3;
}

#ifndef Q_OS_WIN
// Segments of a name read from an address use "/", file paths here too, and
// "\" is what the Windows form of the same text would hold.
qsizetype LastSeparator(const QString &text) {
    return qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
}
#endif

} // namespace

// File names here are limited in bytes of their UTF-8 form.
QString LeftUtf8Bytes(const QString &text, int n) {
    qsizetype i = 0;
    int bytes = 0;
    while (i < text.size()) {
        qsizetype units = 1;
        const int width = Utf8Width(text, i, &units);
        if (bytes + width > n)
            break;
        bytes += width;
        i += units;
    }
    return text.left(i);
}

QString LocalFilePath(const QString &path) {
    QString p = path.trimmed();
    if (p.left(8).compare(QLatin1String("file:///"), Qt::CaseInsensitive) == 0) {
#ifdef Q_OS_WIN
        p.remove(0, 8);
#else
        p.remove(0, 7); // keep the root slash
#endif
    }
#ifdef Q_OS_WIN
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
#endif
    return p;
}

QChar PathSeparator() {
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

bool FileExists(const QString &path) {
    const QString p = LocalFilePath(path);
    if (!Usable(p))
        return false;
    return QFileInfo(p).isFile();
}

bool FolderExists(const QString &path) {
#ifdef Q_OS_WIN
    // Never touch the floppy drive.
    if (path.toUpper() == QLatin1String("A:\\"))
        return true;
#endif
    if (path.trimmed().isEmpty() || !Usable(path))
        return false;
    return QFileInfo(path).isDir();
}

bool IsDecimalDigits(QStringView text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString MakeSafeFileName(const QString &text) {
    static const QString removed = QStringLiteral("\\/:*?\"<>|\r\n") + QChar(0);
    QString name;
    name.reserve(text.size());
    for (QChar c : text) {
        if (!removed.contains(c))
            name.append(c);
    }

    qsizetype start = 0;
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    qsizetype end = name.size();
    while (end > start && name.at(end - 1) == QLatin1Char('.'))
        --end;
    name = name.mid(start, end - start);

    const QString twoSpaces = QStringLiteral("  ");
    while (name.contains(twoSpaces))
        name.replace(twoSpaces, QStringLiteral(" "));

    // Every character takes at least one byte in the code page, so nothing
    // past the first 200 characters can survive the cut; keep the call cheap
    // for very long input.
    name.truncate(PairSafeCut(name, 2 * CleanedNameBytes + 2));
    name = LeftAnsiBytes(name, CleanedNameBytes);
#ifndef Q_OS_WIN
    name = LeftUtf8Bytes(name, CleanedNameBytes);
#endif
    return name;
}

QString CreateFolderPath(const QString &path) {
    const QChar sep = PathSeparator();
    const QStringList parts = path.split(sep);
    QString current;
    qsizetype first = 1;
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1String("\\\\"))) {
        const QString server = parts.value(2);
        if (server.isEmpty()) {
            Messages::Show(nullptr, BadFolderNameText(), MsgIcon::Error);
            return {};
        }
        current = QStringLiteral("\\\\") + server;
        first = 3;
    } else {
        current = parts.value(0);
    }
#else
    current = parts.value(0); // empty for an absolute path: the walk starts at "/"
#endif

    for (qsizetype i = first; i < parts.size(); ++i) {
        if (parts.at(i).isEmpty())
            break;
        const QString &raw = parts.at(i);
        // A folder that exists is taken as it is: cleaning would lead elsewhere
        // (a POSIX ".local" would become a new "local").
        const bool existing =
            raw != QLatin1String(".") && raw != QLatin1String("..") && FolderExists(current + sep + raw);
        const QString level = existing ? raw : MakeSafeFileName(raw);
        if (level.isEmpty()) {
            Messages::Show(nullptr, BadFolderNameText(), MsgIcon::Error);
            break;
        }
        current += sep + level;
        if (!FolderExists(current) && Usable(current))
            QDir().mkdir(current); // a failure shows in the final test
    }

#ifndef Q_OS_WIN
    // An absolute path that names no level is the root itself.
    if (current.isEmpty() && path.startsWith(sep))
        return QString(sep);
#endif
    if (current.isEmpty() || !FolderExists(current))
        return {};
    return current;
}

QString UniqueFilePath(const QString &path) {
    if (!FileExists(path))
        return path;
    const qsizetype cut = path.lastIndexOf(PathSeparator());
    if (cut < 0)
        return path;
    const QString folder = path.left(cut + 1);
    const QString name = path.mid(cut + 1);

    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    QString base = dot < 0 ? name : name.left(dot);
    if (base.size() > BaseNameChars)
        base.truncate(PairSafeCut(base, BaseNameChars));

    // A name that already carries a counter gets a new one, not a second one.
    if (base.endsWith(QLatin1Char(']'))) {
        const qsizetype open = base.lastIndexOf(QLatin1Char('['));
        if (open >= 0 && IsDecimalDigits(QStringView(base).mid(open + 1, base.size() - open - 2)))
            base.truncate(open);
    }

    const QString suffix = extension.isEmpty() ? QString() : QLatin1Char('.') + extension;
    QString candidate = folder + base + suffix;
    for (qint64 counter = 1; FileExists(candidate); ++counter) {
        candidate = folder + base + QLatin1Char('[') +
                    QStringLiteral("%1").arg(counter, 4, 10, QLatin1Char('0')) + QLatin1Char(']') + suffix;
    }
    return candidate;
}

SplitName SplitFileName(const QString &path) {
    QString name = path.trimmed();
    name = name.mid(name.lastIndexOf(PathSeparator()) + 1);
    SplitName result{name, {}};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && name.size() - dot - 1 < ExtensionLimit) {
        result.base = name.left(dot);
        result.extension = name.mid(dot + 1);
    }
    result.base = result.base.trimmed();
    result.extension = result.extension.trimmed();
    return result;
}

QString FileNameFromPath(const QString &path) {
    QString text = path;
#ifdef Q_OS_WIN
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const qsizetype cut = text.lastIndexOf(QLatin1Char('\\'));
#else
    const qsizetype cut = LastSeparator(text);
#endif
    if (cut >= 0)
        text = text.mid(cut + 1).trimmed();
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        text = text.left(dot).trimmed();
    return text;
}

QString SiteRoot(const QString &address) {
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const qsizetype hostStart = scheme + 3;
        const qsizetype slash = address.indexOf(QLatin1Char('/'), hostStart);
        return slash > hostStart ? address.left(slash) : address;
    }
    const qsizetype slash = address.indexOf(QLatin1Char('/'));
    return slash >= 3 ? address.left(slash) : address;
}

QString RemoveLineBreaks(const QString &text) {
    QString result = text;
    result.remove(QLatin1Char('\r'));
    result.remove(QLatin1Char('\n'));
    result.remove(QChar(0));
    return result;
}

QString WithTrailingSeparator(const QString &folder) {
    return folder.endsWith(PathSeparator()) ? folder : folder + PathSeparator();
}

QString ProgramFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        return {};
    QDir().mkpath(folder);
    return QDir::toNativeSeparators(folder);
}

QString DefaultDownloadFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\12345\\");
#else
    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty())
        downloads = QDir::homePath();
    return WithTrailingSeparator(downloads) + QStringLiteral("12345/");
#endif
}

QString InternetCacheFolder() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return {};
    return QDir::toNativeSeparators(cache + QStringLiteral("/webengine"));
}

QString SystemFolder() {
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length > MAX_PATH)
        return {};
    return QString::fromWCharArray(buffer, int(length));
#else
    return {};
#endif
}

} // namespace dh

namespace dh {

QString WriteWholeFile(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    // Unbuffered: a short write shows at the write; the commit would not tell.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit(); // discards the unfinished copy
        return why.isEmpty() ? QStringLiteral("write failed") : why;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

bool IsFolderWithin(const QString &folder, const QStringList &roots) {
    const QString local = LocalFilePath(folder.trimmed());
    if (local.isEmpty() || !QDir::isAbsolutePath(local))
        return false;
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    const QString path = QDir::cleanPath(local) + QLatin1Char('/');
    for (const QString &root : roots) {
        const QString r = LocalFilePath(root.trimmed());
        if (r.isEmpty() || !QDir::isAbsolutePath(r))
            continue;
        const QString base = QDir::cleanPath(r);
        if (path.startsWith(base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/'), cs))
            return true;
    }
    return false;
}

} // namespace dh
