#include "tools/FolderHistory.h"

#include "util/FileHelpers.h"
#include "util/TextCoding.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSet>

namespace dh {
namespace {
QString decodeLine(const QByteArray &bytes) {
#ifdef Q_OS_WIN
    return FromCp936(bytes);
#else
    return QString::fromUtf8(bytes);
#endif
}

QByteArray encodeLine(const QString &text) {
#ifdef Q_OS_WIN
    return ToCp936(text);
#else
    return text.toUtf8();
#endif
}
} // namespace

QString FolderHistoryPath() {
    return QDir(ProgramFolder()).filePath(QStringLiteral("SaveList.dat"));
}

std::optional<QStringList> ReadFolderHistory(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList folders;
    QSet<QString> seen; // case-folded entries
    int nonEmpty = 0;
    bool first = true;
    // Line by line, so that a huge file is never read whole. CR and LF never
    // occur inside a multi-byte character of either code page.
    while (nonEmpty < kFolderHistoryMaxLines && !file.atEnd()) {
        QByteArray bytes = file.readLine();
        if (first && bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        first = false;
        const QString folder = decodeLine(bytes).trimmed();
        if (folder.isEmpty())
            continue;
        ++nonEmpty;
        const QString folded = folder.toCaseFolded();
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        folders.append(folder);
    }
    return folders;
}

bool WriteFolderHistory(const QStringList &folders, const QString &path) {
    QByteArray bytes;
    for (const QString &folder : folders)
        bytes += encodeLine(folder) + "\r\n";
    if (folders.isEmpty())
        bytes = "\r\n";
    return WriteWholeFile(path, bytes).isEmpty();
}

void LoadFolderHistory(QComboBox *combo, const QString &path) {
    if (!combo)
        return;
    const std::optional<QStringList> folders = ReadFolderHistory(path);
    if (!folders)
        return;
    combo->clear();
    combo->addItems(*folders);
}

bool SaveFolderHistory(const QComboBox *combo, const QString &path) {
    if (!combo)
        return false;
    QStringList folders;
    for (int i = 0; i < combo->count(); ++i)
        folders.append(combo->itemText(i));
    return WriteFolderHistory(folders, path);
}

} // namespace dh
