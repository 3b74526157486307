#include "search/QueryBuilder.h"

#include "util/TextCoding.h"

#include <QRegularExpression>

namespace dh {

QString OfficialBase(Engine engine) { return engine == Engine::Web ? OfficialWebBase : OfficialScholarBase; }
QString OfficialHome(Engine engine) { return engine == Engine::Web ? OfficialWebHome : OfficialScholarHome; }

QString DefaultMirrorUrl(Engine engine)
{
    return engine == Engine::Web ? QStringLiteral("https://mirror.example.org/search?")
                                 : QStringLiteral("https://mirror.example.org/scholar?");
}

QString 提取主网址(const QString &text, const QString &currentMirror)
{
    QString t = text.trimmed();
    const qsizetype q = t.indexOf(QLatin1Char('?'));
    if (q >= 0)
        t.truncate(q);
    if (t.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0)
        return t;
    return currentMirror;
}

QString SelectBase(bool officialSelected, const QString &officialBase, const QString &mirrorBase)
{
    return officialSelected ? officialBase : mirrorBase;
}

QString BuildSearchUrl(Engine engine, const QString &base, const QString &language,
                       const QString &keywordGroup, const QString &type, const QueryOptions &options)
{
    const QString encoded = UrlEncodeKeyword(keywordGroup);
    QString url = base + QStringLiteral("?hl=") + language;
    if (engine == Engine::Scholar)
        return url + QStringLiteral("&q=") + encoded + QStringLiteral("+filetype:") + type;

    url += QStringLiteral("&safe=off&as_rights=%E4%B8%8D%E6%8C%89%E7%85%A7%E8%AE%B8%E5%8F%AF%E8%BF%87%E6%BB%A4");
    if (options.titlesOnly)
        url += QStringLiteral("&as_occt=title");
    url += options.exactPhrase ? QStringLiteral("&as_epq=") : QStringLiteral("&as_q=");
    url += encoded;
    static const char *const kTimes[] = {"", "&as_qdr=all", "&as_qdr=y", "&as_qdr=m", "&as_qdr=w", "&as_qdr=d"};
    if (options.timeRange >= 1 && options.timeRange <= 5)
        url += QLatin1String(kTimes[options.timeRange]);
    return url + QStringLiteral("&as_filetype=") + type;
}

QStringList SplitKeywordGroups(const QString &text)
{
    QStringList groups;
    // CR LF is the separator; a lone LF or CR also ends a line typed on POSIX.
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\n|\r"));
    for (const QString &line : text.split(kLineBreak)) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            groups.append(t);
    }
    return groups;
}

QStringList TickedTypes(bool pdf, bool doc, bool ppt, bool xls, bool rtf)
{
    QStringList types;
    if (pdf) types << QStringLiteral("pdf");
    if (doc) types << QStringLiteral("doc");
    if (ppt) types << QStringLiteral("ppt");
    if (xls) types << QStringLiteral("xls");
    if (rtf) types << QStringLiteral("rtf");
    return types;
}

} // namespace dh
