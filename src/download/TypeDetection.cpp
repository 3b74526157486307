#include "download/TypeDetection.h"

#include "util/FileHelpers.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <array>
#include <initializer_list>
#include <vector>

namespace dh
{
namespace
{

// Sub-type -> extension for one main type; the first matching row wins.
struct SubTypeRow {
    std::initializer_list<const char *> subTypes;
    const char *extension; // nullptr: the sub-type itself
};

QString Lookup(const QString &sub, std::initializer_list<SubTypeRow> rows)
{
    for (const SubTypeRow &row : rows) {
        for (const char *s : row.subTypes) {
            if (sub == QLatin1String(s))
                return row.extension ? QString::fromLatin1(row.extension) : sub;
        }
    }
    // "other": the sub-type, but a wildcard names no extension
    return sub == QLatin1String("*") ? QString() : sub;
}

QString Candidate(const QString &main, const QString &sub)
{
    if (main == QLatin1String("application")) {
        return Lookup(sub,
                      {
                          {{"octet-stream"}, ""},
                          {{"x-shockwave-flash"}, "swf"},
                          {{"x-javascript"}, "js"},
                          {{"vnd.rn-realmedia"}, "rm"},
                          {{"vnd.ms-wpl"}, "wpl"},
                          {{"kdh"}, "kdh"},
                          {{"caj"}, "caj"},
                          {{"pdf"}, "pdf"},
                          {{"caa"}, "caa"},
                          {{"nh"}, "nh"},
                          {{"vnd.ms-works"}, "wps"},
                          {{"ppt", "vnd.ms-powerpoint"}, "ppt"},
                          {{"doc", "msword"}, "doc"},
                          {{"docx", "vnd.openxmlformats-officedocument.wordprocessingml.document"}, "docx"},
                          {{"rtf"}, "rtf"},
                          {{"xls", "vnd.ms-excel", "x-excel"}, "xls"},
                          {{"xlsx", "vnd.openxmlformats-officedocument.spreadsheetml.sheet"}, "xlsx"},
                          {{"pptx", "vnd.openxmlformats-officedocument.presentationml.presentation"}, "pptx"},
                          {{"pps"}, "pps"},
                          {{"ppsx", "vnd.openxmlformats-officedocument.presentationml.slideshow"}, "ppsx"},
                          {{"dll", "x-msdownload"}, "dll"},
                          {{"tar", "x-tar"}, "tar"},
                          {{"tgz", "x-compressed"}, "tgz"},
                          {{"zip", "x-zip-compressed"}, "zip"},
                          {{"z", "x-compress"}, "z"},
                      });
    }
    if (main == QLatin1String("text"))
        return Lookup(sub, {{{"html", "txt", "htm", "xml", "css"}, nullptr}, {{"plain"}, "txt"}});
    if (main == QLatin1String("image")) {
        return Lookup(sub,
                      {
                          {{"jpg", "jpeg", "gif", "png", "bmp", "ief", "tif", "pjpeg", "g3fax"}, nullptr},
                          {{"tiff"}, "tif"},
                          {{"x-png"}, "png"},
                          {{"x-ms-bmp"}, "bmp"},
                          {{"x-icon"}, "ico"},
                      });
    }
    if (main == QLatin1String("video")) {
        return Lookup(sub, {
                               {{"mpeg"}, nullptr},
                               {{"mpeg4"}, "mp4"},
                               {{"x-msvideo"}, "avi"},
                               {{"x-ms-asf"}, "asf"},
                               {{"x-ms-wmv"}, "wmv"},
                               {{"quicktime"}, "mov"},
                           });
    }
    if (main == QLatin1String("audio")) {
        return Lookup(sub, {
                               {{"amr"}, nullptr},
                               {{"x-ms-wma"}, "wma"},
                               {{"x-wav"}, "wav"},
                               {{"x-pn-realaudio"}, "ram"},
                               {{"midi"}, "mid"},
                               {{"x-mpegurl"}, "mpeg"},
                           });
    }
    if (main == QLatin1String("message"))
        return Lookup(sub, {{{"rfc822"}, "mht"}});
    return sub;
}

bool IsAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A letter, then letters or digits (so video/mpeg4 keeps its "mp4"); a run of
// more than five is no extension.
QString LetterFilter(const QString &candidate)
{
    qsizetype n = 0;
    if (!candidate.isEmpty() && IsAsciiLetter(candidate.at(0))) {
        n = 1;
        while (n < candidate.size() && (IsAsciiLetter(candidate.at(n)) || IsAsciiDigit(candidate.at(n))))
            ++n;
    }
    return n > 5 ? QString() : candidate.left(n);
}

constexpr qint64 HeadLimit = 10240;
constexpr qint64 TailSize = 128;
constexpr qint64 HtmlSizeLimit = 200 * 1024;
constexpr qint64 TicketSizeLimit = 3 * 1024;

struct Signature {
    qsizetype offset;
    QByteArray bytes;
};

struct LeadingRow {
    std::vector<Signature> parts;
    const char *tag;
};

enum class Match { Yes, No, TooShort };

Match Matches(const QByteArray &head, const std::vector<Signature> &parts)
{
    // A test reaching past the head buffer ends the detection, whether or not
    // its first bytes would have matched.
    for (const Signature &s : parts) {
        if (s.offset + s.bytes.size() > head.size())
            return Match::TooShort;
    }
    for (const Signature &s : parts) {
        if (head.mid(s.offset, s.bytes.size()) != s.bytes)
            return Match::No;
    }
    return Match::Yes;
}

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

// The leading-byte tests; an empty tag is a compound document, told apart by
// the rows that follow in CompoundTag.
const std::vector<LeadingRow> &LeadingRows()
{
    static const std::vector<LeadingRow> rows = [] {
        std::vector<LeadingRow> r;
        r.push_back({{{0, Hex("25504446")}}, "pdf"});
        r.push_back({{{0, Hex("C8000000")}}, "caj"});
        r.push_back({{{0, Hex("43414A00")}}, "kdh"});
        r.push_back({{{0, Hex("4B444820")}}, "kdh"});
        r.push_back({{{0, Hex("484E0000")}}, "nh"});
        r.push_back({{{0, Hex("49492A00")}}, "tif"});
        r.push_back({{{0, Hex("7B5C727466")}}, "rtf"});
        r.push_back({{{0, Hex("4D5A")}}, "exe"});
        r.push_back({{{0, Hex("52617221")}}, "rar"});
        r.push_back({{{0, Hex("504B03041400000008")}}, "zip"});
        r.push_back({{{0, Hex("504B0304140006000800")}}, "docx"});
        r.push_back({{{0, Hex("43575306")}}, "swf"});
        r.push_back({{{0, Hex("2E524D46")}}, "rm"});
        r.push_back({{{0, Hex("3026B2758E")}}, "wma"});
        r.push_back({{{0, Hex("49443303")}}, "mp3"});
        r.push_back({{{0, Hex("89504E470D0A1A0A")}}, "png"});
        r.push_back({{{0, QByteArray("GIF89a")}}, "gif"});
        r.push_back({{{0, QByteArray("GIF87a")}}, "gif"});
        r.push_back({{{0, Hex("FFD8FFE1")}, {6, QByteArray("Exif")}, {12, Hex("4D4D002A")}}, "jpg"});
        r.push_back({{{0, Hex("FFD8FFE000104A464946")}}, "jpg"});
        r.push_back({{{0, Hex("D0CF11E0A1B11AE1")}}, ""});
        return r;
    }();
    return rows;
}

// Compound document: the first stream's start at 512 tells the program.
Match CompoundTag(const QByteArray &head, QString *tag)
{
    static const std::array<std::pair<Signature, const char *>, 3> rows{{
        {{512, Hex("ECA5C100")}, "doc"},
        {{512, Hex("09081000")}, "xls"},
        {{515, Hex("F0")}, "ppt"},
    }};
    for (const auto &[signature, name] : rows) {
        const Match m = Matches(head, {signature});
        if (m == Match::TooShort)
            return m;
        if (m == Match::Yes) {
            *tag = QString::fromLatin1(name);
            return m;
        }
    }
    return Match::No;
}

// Latin-1 keeps every ASCII byte as it is, which is all the markers need.
QString AsText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

bool LooksLikeWebPage(const QByteArray &head)
{
    const QString text = AsText(head);
    const auto has = [&text](const char *marker) {
        return text.contains(QLatin1String(marker), Qt::CaseInsensitive);
    };
    return (has("<html ") || has("html>")) && (has("<title>") || has("<head>") || has("<body>"));
}

bool LooksLikeTicket(const QByteArray &content)
{
    const QString text = AsText(content);
    for (const char *marker :
         {"A1=", "[TARGET]", "A2=", "B1=", "B2=", "C1=", "C2=", "D1=", "D2=", "DOCTYPE="}) {
        if (!text.contains(QLatin1String(marker), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

QString DetectFromFile(QFile &file)
{
    const qint64 size = file.size();
    // The buffer is one byte longer than what is read; that byte, and any
    // past the end of a short file, reads as 0.
    QByteArray head = file.read(qMin(size, HeadLimit));
    head.append(QByteArray(qMin(size, HeadLimit) + 1 - head.size(), '\0'));

    for (const LeadingRow &row : LeadingRows()) {
        const Match m = Matches(head, row.parts);
        if (m == Match::TooShort)
            return {};
        if (m == Match::No)
            continue;
        if (*row.tag)
            return QString::fromLatin1(row.tag);
        QString tag;
        if (CompoundTag(head, &tag) == Match::TooShort)
            return {};
        if (!tag.isEmpty())
            return tag;
        break; // a compound document of no known program
    }

    if (size > TailSize && file.seek(size - TailSize) && file.read(3) == "TAG")
        return QStringLiteral("mp3");
    if (size < HtmlSizeLimit && LooksLikeWebPage(head))
        return QStringLiteral("htm");
    if (size < TicketSizeLimit && file.seek(0) && LooksLikeTicket(file.read(size)))
        return QStringLiteral("caa");
    return {};
}

bool IsZipFamily(const QString &type)
{
    for (const char *t : {"zip", "docx", "xlsx", "pptx", "ppsx"}) {
        if (type.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString ExtensionFromContentType(const QString &mediaType)
{
    const QStringList parts = mediaType.split(QLatin1Char('/'));
    const QString main = parts.at(0).trimmed().toLower();
    if (parts.size() != 2)
        return LetterFilter(main);
    const QString sub = parts.at(1).trimmed().remove(QLatin1Char(' ')).toLower();
    return LetterFilter(Candidate(main, sub));
}

QString 打开文件判断文件类型(const QString &path)
{
    if (!FileExists(path))
        return {};
    QFile file(LocalFilePath(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return DetectFromFile(file).toLower();
}

bool CorrectItemType(DownloadItem &item, const std::function<bool(const QString &)> &reserved)
{
    const QString path = ItemFilePath(item);
    if (!FileExists(path))
        return false;
    const QString tag = 打开文件判断文件类型(path);
    if (tag.isEmpty() || tag.compare(item.type, Qt::CaseInsensitive) == 0)
        return false;
    // The leading bytes of the zip-based formats cannot tell them apart: an
    // office suite's .xlsx matches the "docx" row and a re-packed .docx the
    // "zip" row. Renaming between them would only break a good file.
    if ((tag == QLatin1String("zip") || tag == QLatin1String("docx")) && IsZipFamily(item.type))
        return false;

    const QString folder = item.folder.isEmpty() ? QString() : WithTrailingSeparator(item.folder);
    const QString newPath = UniqueFilePath(folder + item.name + QLatin1Char('.') + tag);
    if (reserved && reserved(newPath))
        return false;
    if (!QFile::rename(LocalFilePath(path), LocalFilePath(newPath)))
        return false;
    if (!FileExists(newPath))
        return false;
    item.type = tag;
    // The name column follows the file exactly (a counter included), so the
    // item's path names the renamed file; trimming here would lose it.
    const QString fileName = newPath.mid(newPath.lastIndexOf(PathSeparator()) + 1);
    item.name = fileName.left(fileName.size() - tag.size() - 1);
    return true;
}

} // namespace dh
