// Fuzzes the name rules of the file helpers. The first byte picks the routine
// and how the rest is read (UTF-8, or raw UTF-16 units so that NUL and lone
// surrogates come through); a broken promise aborts.
#include "util/FileHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok)
        abort();
}

QString Text(const uint8_t *data, size_t size, bool utf16)
{
    if (utf16)
        return QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Files that the unique-name rule has to step over, created once.
const QString &Folder()
{
    static QTemporaryDir dir;
    static const bool filled = [] {
        const char *names[] = {"a.pdf", "a[0001].pdf", "a[0002].pdf", "b", "b[0001]", "[0001].x",
                               "c.tar.gz", "d[x].doc", "e[0009].txt", ".hidden", "f.", "g h.pdf"};
        for (const char *name : names) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            Check(file.open(QIODevice::WriteOnly));
        }
        return QDir().mkdir(dir.filePath(QStringLiteral("c[0001].tar.gz"))); // a folder takes no name
    }();
    Check(dir.isValid() && filled);
    static const QString path = QDir::toNativeSeparators(dir.path()) + dh::PathSeparator();
    return path;
}

void SafeName(const QString &text)
{
    const QString name = dh::MakeSafeFileName(text);
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|\r\n") + QChar(0);
    for (QChar c : name)
        Check(!forbidden.contains(c));
    Check(!name.startsWith(QLatin1Char('.')));
    Check(!name.contains(QLatin1String("  ")));
    Check(name.size() <= 200);
#ifndef Q_OS_WIN
    Check(name.toUtf8().size() <= 200);
#endif
}

void Split(const QString &text)
{
    const dh::SplitName split = dh::SplitFileName(text);
    Check(split.base == split.base.trimmed());
    Check(split.extension == split.extension.trimmed());
    Check(split.extension.size() < 7);
    Check(!split.extension.contains(QLatin1Char('.')));
    Check(!split.base.contains(dh::PathSeparator()));
    Check(!split.extension.contains(dh::PathSeparator()));
}

void Root(const QString &text)
{
    const QString root = dh::SiteRoot(text);
    Check(text.startsWith(root));
    Check(root == text || text.at(root.size()) == QLatin1Char('/'));
}

void Unique(const QString &text)
{
    QString name = text;
    name.remove(dh::PathSeparator()); // stay inside the folder
    const QString path = Folder() + name;
    const QString unique = dh::UniqueFilePath(path);
    if (!dh::FileExists(path)) {
        Check(unique == path);
        return;
    }
    Check(!dh::FileExists(unique));
    Check(unique.startsWith(Folder()));
    const QString rest = unique.mid(Folder().size());
    Check(!rest.contains(dh::PathSeparator()));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && dot + 1 < name.size())
        Check(rest.endsWith(name.mid(dot)));
}

void LastSegment(const QString &text)
{
    const QString name = dh::FileNameFromPath(text);
    Check(name.size() <= text.size());
    const QString clean = dh::RemoveLineBreaks(text);
    for (QChar c : {QChar(u'\r'), QChar(u'\n'), QChar(0)})
        Check(!clean.contains(c));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t selector = data[0];
    const QString text = Text(data + 1, size - 1, selector & 0x10);
    switch (selector % 5) {
    case 0: SafeName(text); break;
    case 1: Split(text); break;
    case 2: Root(text); break;
    case 3: Unique(text); break;
    default: LastSegment(text); break;
    }
    return 0;
}
