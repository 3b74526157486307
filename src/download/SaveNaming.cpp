#include "download/SaveNaming.h"

#include "download/TypeDetection.h"
#include "util/FileHelpers.h"
#include "util/TextCoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

namespace dh {
namespace {

// A file system takes 255 bytes a name. A finished name leaves room for the
// temporary names made beside it: ".<13 digits>.part" while a body is moved
// into place, ".XXXXXX" for a whole-file write.
constexpr int MaxNameBytes = 255 - 20;
constexpr int MaxTypeBytes = 32;

int Utf8Bytes(const QString &text) {
    return int(text.toUtf8().size());
}

// The start of `stem` that fits beside `reserved` bytes of counter and type.
QString FitStem(const QString &stem, int reserved) {
    QString cut = LeftUtf8Bytes(stem, MaxNameBytes - reserved);
    if (cut.size() < stem.size()) {
        while (cut.endsWith(QLatin1Char(' ')) || cut.endsWith(QLatin1Char('.')))
            cut.chop(1);
    }
    return cut;
}

int TypeBytes(const QString &type) {
    return type.isEmpty() ? 0 : 1 + Utf8Bytes(type);
}

QString Counter(qint64 n) {
    return QString::number(n).rightJustified(3, QLatin1Char('0'));
}

QString ExistingLength(const QString &path) {
    return QString::number(QFileInfo(LocalFilePath(path)).size());
}

// The path an item's file gets under a rule that does not count: the plain
// path, unless a running transfer holds it.
SavePath PlainOrFree(const DownloadItem &item, SameNameRule rule, const ReservedPath &reserved) {
    if (rule == SameNameRule::Rename ||
        (reserved && reserved(JoinFilePath(item.folder, item.name, item.type))))
        return 重命名保存路径(item.folder, item.name, item.type, SameNameRule::Rename, reserved);
    return {JoinFilePath(item.folder, item.name, item.type), item.name};
}

// Name, type and folder settled; false (the item Failed) when the folder
// cannot be made: its files would land outside the folder chosen for them.
bool SettleFolder(DownloadItem &item) {
    PrepareItemNames(item);
    const QString folder = CreateFolderPath(item.folder);
    if (folder.isEmpty()) {
        item.state = ItemState::Failed;
        item.result = ResultText::PathRefused;
        return false;
    }
    item.folder = WithTrailingSeparator(folder);
    return true;
}

} // namespace

bool IsLauncherType(const QString &type) {
    static const QSet<QString> launchers = {
        QStringLiteral("desktop"),  QStringLiteral("exe"),     QStringLiteral("sh"),  QStringLiteral("bash"),
        QStringLiteral("bat"),      QStringLiteral("cmd"),     QStringLiteral("com"), QStringLiteral("scr"),
        QStringLiteral("lnk"),      QStringLiteral("js"),      QStringLiteral("jse"), QStringLiteral("vbs"),
        QStringLiteral("vbe"),      QStringLiteral("wsf"),     QStringLiteral("wsh"), QStringLiteral("ps1"),
        QStringLiteral("psm1"),     QStringLiteral("msi"),     QStringLiteral("msp"), QStringLiteral("jar"),
        QStringLiteral("appimage"), QStringLiteral("run"),     QStringLiteral("pif"), QStringLiteral("cpl"),
        QStringLiteral("hta"),      QStringLiteral("reg"),     QStringLiteral("url"), QStringLiteral("inf"),
        QStringLiteral("app"),      QStringLiteral("command"), QStringLiteral("dll"), QStringLiteral("py"),
        QStringLiteral("pl"),       QStringLiteral("deb"),     QStringLiteral("rpm"), QStringLiteral("apk")};
    return launchers.contains(type.trimmed().toLower());
}

bool IsKnownDocumentType(const QString &type) {
    static const QSet<QString> known = {
        QStringLiteral("pdf"),  QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("ppt"),
        QStringLiteral("pptx"), QStringLiteral("pps"), QStringLiteral("ppsx"), QStringLiteral("xls"),
        QStringLiteral("xlsx"), QStringLiteral("rtf"), QStringLiteral("htm"),  QStringLiteral("html"),
        QStringLiteral("mht"),  QStringLiteral("xml"), QStringLiteral("txt"),  QStringLiteral("caj"),
        QStringLiteral("caa"),  QStringLiteral("kdh"), QStringLiteral("nh"),   QStringLiteral("wps"),
        QStringLiteral("odt"),  QStringLiteral("ods"), QStringLiteral("odp"),  QStringLiteral("epub"),
        QStringLiteral("djvu"), QStringLiteral("ps"),  QStringLiteral("csv"),  QStringLiteral("zip"),
        QStringLiteral("rar"),  QStringLiteral("xxx")};
    return known.contains(type.trimmed().toLower());
}

QString CleanNamePart(const QString &text) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && c.category() != QChar::Other_Control)
            kept.append(c);
    }
    return MakeSafeFileName(kept);
}

QString CleanType(const QString &type) {
    return CleanNamePart(type).toLower();
}

void PrepareItemNames(DownloadItem &item) {
    item.type = LeftUtf8Bytes(CleanType(item.type), MaxTypeBytes);
    item.name = FitStem(CleanNamePart(item.name), TypeBytes(item.type));
    item.folder = WithTrailingSeparator(item.folder);
}

bool PathInsideFolder(const QString &path, const QString &folder) {
    const QFileInfo file(LocalFilePath(path));
    const QString name = file.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return QDir::cleanPath(file.absolutePath()) ==
           QDir::cleanPath(QDir(LocalFilePath(folder)).absolutePath());
}

void MarkCannotReplace(DownloadItem &item, const QString &path) {
    item.state = ItemState::Failed;
    item.size = ExistingLength(path);
    item.received = item.size;
    item.percent = ResultText::CannotReplace;
}

QString SameNameRuleCaption(SameNameRule rule) {
    switch (rule) {
    case SameNameRule::Skip:
        return QStringLiteral("跳过");
    case SameNameRule::Overwrite:
        return QStringLiteral("覆盖");
    case SameNameRule::Rename:
        break;
    }
    return QStringLiteral("重命名");
}

SameNameRule SameNameRuleFromCaption(const QString &caption) {
    const QString text = caption.trimmed();
    if (text == SameNameRuleCaption(SameNameRule::Skip))
        return SameNameRule::Skip;
    if (text == SameNameRuleCaption(SameNameRule::Overwrite))
        return SameNameRule::Overwrite;
    return SameNameRule::Rename;
}

QString JoinFilePath(const QString &folder, const QString &name, const QString &type) {
    QString path = WithTrailingSeparator(folder) + name;
    if (!type.isEmpty())
        path += QLatin1Char('.') + type;
    return path;
}

bool 确定是需要下载(DownloadItem &item, SameNameRule rule) {
    const QString path = JoinFilePath(item.folder, item.name, item.type);
    if (!FileExists(path))
        return true;
    if (rule != SameNameRule::Skip)
        return true;
    item.state = ItemState::Done;
    item.size = ExistingLength(path);
    item.received = item.size;
    item.percent = ResultText::ExistsSkipped;
    item.result = ResultText::ExistsSkipped;
    return false;
}

SavePath 重命名保存路径(const QString &folder, const QString &name, const QString &type, SameNameRule rule,
                        const ReservedPath &reserved) {
    const auto held = [&](const QString &path) { return reserved && reserved(path); };
    const auto taken = [&](const QString &path) { return FileExists(path) || held(path); };
    const QString base = WithTrailingSeparator(folder);
    SavePath result{JoinFilePath(base, name, type), name};
    if (rule == SameNameRule::Overwrite ? !held(result.path) : !taken(result.path))
        return result;

    // A name that already ends in a counter continues from it.
    QString stem = name;
    qint64 n = 0;
    const qsizetype open = stem.lastIndexOf(QLatin1Char('['));
    const qsizetype close = stem.lastIndexOf(QLatin1Char(']'));
    if (open >= 0 && close > open) {
        const QString inside = stem.mid(open + 1, close - open - 1).trimmed();
        bool ok = false;
        const qint64 value = inside.toLongLong(&ok);
        if (IsDecimalDigits(inside) && ok) {
            n = value;
            stem.truncate(open);
        }
    }
    // Brackets left in the name would read as a counter next time.
    stem.replace(QLatin1Char('['), QStringLiteral("『"));
    stem.replace(QLatin1Char(']'), QStringLiteral("』"));

    const auto candidate = [&](qint64 k) {
        if (k == 0)
            return SavePath{JoinFilePath(base, stem, type), stem};
        const QString counter = QLatin1Char('[') + Counter(k) + QLatin1Char(']');
        const QString newName = FitStem(stem, Utf8Bytes(counter) + TypeBytes(type)) + counter;
        return SavePath{JoinFilePath(base, newName, type), newName};
    };
    result = candidate(n);
    while (taken(result.path))
        result = candidate(++n);
    return result;
}

QString 从网络文件Header获取ContentDisposition(const QString &headerBlock) {
    static const QString field = QStringLiteral("content-disposition:");
    // Lines end in CR LF; splitting at LF and trimming reads the same lines.
    const QStringList lines = headerBlock.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.left(field.size()).toLower() == field)
            return line.mid(field.size()).trimmed();
    }
    return {};
}

SuggestedName 从下载头信息ContentDisposition获取文件名(const QString &value) {
    static const QString key = QStringLiteral("filename=");
    const QString text = value.trimmed();
    const qsizetype at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};

    QString file = text.mid(at + key.size()).trimmed();
    const qsizetype semicolon = file.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        file = file.left(semicolon).trimmed();
    file.remove(QLatin1Char('"'));
    file.remove(QLatin1Char('\''));
    file = StripLineBreaks(file);

    QString base = file;
    QString extension;
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const QString raw = file.mid(dot + 1).trimmed();
        base = file.left(dot).trimmed();
        qsizetype n = 0;
        while (n < raw.size() && ((raw.at(n) >= QLatin1Char('a') && raw.at(n) <= QLatin1Char('z')) ||
                                  (raw.at(n) >= QLatin1Char('A') && raw.at(n) <= QLatin1Char('Z'))))
            ++n;
        if (n <= 5)
            extension = raw.left(n);
    }

    const bool utf8 = value.contains(QLatin1String("utf-8"), Qt::CaseInsensitive);
    const QString name = (utf8 ? UrlDecodeAuto(base) : UrlDecodeUtf8(base)).trimmed();
    return {name, extension};
}

SettleResult SettleItemPath(DownloadItem &item, const QString &contentType, const QString &headerBlock,
                            SameNameRule rule, const ReservedPath &reserved) {
    const QStringList parts = contentType.split(QLatin1Char(';'));
    QString type = ExtensionFromContentType(parts.at(0).trimmed());
    if (type.isEmpty())
        type = 从下载头信息ContentDisposition获取文件名(从网络文件Header获取ContentDisposition(headerBlock))
                   .extension;
    if (type.isEmpty() && parts.size() > 1 &&
        parts.at(1).trimmed().startsWith(QLatin1String("charset="), Qt::CaseInsensitive))
        type = QStringLiteral("htm");
    // A server does not get to name a program type: only the file's bytes may.
    if (!type.isEmpty() && !IsLauncherType(type))
        item.type = type;

    if (!SettleFolder(item))
        return {};
    // The headers may name another type than the list did: skip looks again.
    if (!确定是需要下载(item, rule))
        return {true, JoinFilePath(item.folder, item.name, item.type), true};
    const SavePath path = PlainOrFree(item, rule, reserved);
    item.name = path.newName;
    if (!PathInsideFolder(path.path, item.folder)) {
        item.state = ItemState::Failed;
        item.result = ResultText::PathRefused;
        return {};
    }
    return {true, path.path};
}

SettleResult SettleItemPathMethodTwo(DownloadItem &item, SameNameRule rule, const ReservedPath &reserved) {
    if (!SettleFolder(item) || !确定是需要下载(item, rule))
        return {};
    const SavePath free = 重命名保存路径(item.folder, item.name, item.type, rule, reserved);
    item.name = free.newName;
    if (!PathInsideFolder(free.path, item.folder)) {
        item.state = ItemState::Failed;
        item.result = ResultText::PathRefused;
        return {};
    }
    return {true, free.path};
}

} // namespace dh
