#include "search/PageExtractor.h"

#include "util/ChineseScript.h"

#include <algorithm>

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>

namespace dh
{

namespace
{

// Index in PageSnapshot::elements of the nearest enclosing listed element, or -1.
int EnclosingIndex(const SnapElement &e) { return e.parent; }

// QString::trimmed also removes U+00A0, which basic-layout pages put after "[PDF]".
QString Trim(const QString &s)
{
    return s.trimmed();
}

bool IsTag(const SnapElement &e, QLatin1String tag)
{
    return e.tag.compare(tag, Qt::CaseInsensitive) == 0;
}

QString HitTitle(const SnapElement &e)
{
    // From 2020 on the link wraps the title's H3 and a breadcrumb line.
    QString title = Trim(e.linkHasH3 ? e.linkH3Text : e.linkText);
    title.remove(QStringLiteral("..."));
    return title;
}

// The type of a hit from its first SPAN and the URL's ending; later tests win.
QString SpanType(const SnapElement &e, const QString &url)
{
    if (!e.hasSpan)
        return {};
    const QString t = Trim(e.spanText).toLower();
    const QString end = url.right(4).toLower();
    QString type;
    if (t == QLatin1String("[pdf]") || end == QLatin1String(".pdf"))
        type = QStringLiteral("PDF");
    if (t == QLatin1String("[doc]") || end == QLatin1String(".doc"))
        type = QStringLiteral("doc");
    if (t == QLatin1String("[xls]") || end == QLatin1String(".xls"))
        type = QStringLiteral("xls");
    if (t == QLatin1String("[ppt]") || end == QLatin1String(".ppt"))
        type = QStringLiteral("ppt");
    if (t == QLatin1String("[rtf]") || end == QLatin1String(".rtf"))
        type = QStringLiteral("rtf");
    return type;
}

// "pdf" → "PDF", the other known types as they are, anything else empty.
QString KnownType(const QString &extension)
{
    if (extension == QLatin1String("pdf"))
        return QStringLiteral("PDF");
    static const QStringList others = {QStringLiteral("doc"), QStringLiteral("xls"), QStringLiteral("ppt"),
                                       QStringLiteral("rtf")};
    return others.contains(extension) ? extension : QString();
}

// A "[PDF]"-style tag, failing that the ending of the URL's path.
QString TagOrEndingType(const SnapElement &e, const QString &url)
{
    const QString tag = Trim(e.bracketTagText).toLower();
    if (tag.size() > 2 && tag.startsWith(QLatin1Char('[')) && tag.endsWith(QLatin1Char(']'))) {
        const QString type = KnownType(tag.mid(1, tag.size() - 2));
        if (!type.isEmpty())
            return type;
    }
    static const QRegularExpression queryOrFragment(QStringLiteral("[?#]"));
    QString path = url;
    const qsizetype cut = path.indexOf(queryOrFragment);
    if (cut >= 0)
        path.truncate(cut);
    const QString end = path.right(4).toLower();
    return end.startsWith(QLatin1Char('.')) ? KnownType(end.mid(1)) : QString();
}

// The spaces option, the window's filters and the hand-over; true when handed.
bool HandOver(QString title, const QString &url, const QString &type, const PageSnapshot &snapshot,
              const QString &folder, const ExtractOptions &options, const ResultSink &sink)
{
    if (options.removeTitleSpaces)
        title.remove(QLatin1Char(' '));
    if (options.dropUnknownType && type.isEmpty())
        return false;
    if (options.noJapanese && HasKana(title))
        return false;
    if (options.noTraditional && HasTraditionalChinese(title))
        return false;
    if (options.toSimplified)
        title = ToSimplifiedChinese(title);
    if (IsSharingSiteTitle(title))
        return false;
    // A script or other non-download address is no document hit.
    if (title.isEmpty() || url.isEmpty() || !IsUsableLinkUrl(url))
        return false;
    if (sink)
        sink(title, url, snapshot.url, type, folder, QString());
    return true;
}

template <typename IsHit>
ExtractResult ExtractClassHits(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink, IsHit isHit)
{
    ExtractResult result;
    for (const SnapElement &e : snapshot.elements) {
        if (!isHit(e))
            continue;
        const QString title = e.hasLink ? HitTitle(e) : QString();
        const QString url = e.hasLink ? UnwrapResultUrl(e.linkHref) : QString();
        if (HandOver(title, url, SpanType(e, url), snapshot, folder, options, sink))
            ++result.handed;
    }
    return result;
}

bool IsListHit(const SnapElement &e)
{
    return IsTag(e, QLatin1String("LI")) && Trim(e.className).toLower() == QLatin1String("g");
}

bool IsDivHit(const SnapElement &e)
{
    if (!IsTag(e, QLatin1String("DIV")))
        return false;
    const QString cls = Trim(e.className).toLower();
    return cls == QLatin1String("g") || cls == QLatin1String("gs_ri");
}

bool HasClassToken(const SnapElement &e, QLatin1String token)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList tokens = e.className.split(space, Qt::SkipEmptyParts);
    return std::any_of(tokens.begin(), tokens.end(),
                       [token](const QString &t) { return t.compare(token, Qt::CaseInsensitive) == 0; });
}

bool SorryPath(const PageSnapshot &snapshot)
{
    return QUrl(snapshot.url).path().startsWith(QLatin1String("/sorry/"), Qt::CaseInsensitive);
}

// The current English block page, which the older markers miss.
bool AutomatedQueriesText(const QString &html)
{
    return html.contains(QLatin1String("your computer or network may be sending automated queries"),
                         Qt::CaseInsensitive);
}

} // namespace

QString UnwrapResultUrl(const QString &href)
{
    QString url = Trim(href);
    url.replace(QLatin1String("&amp;"), QLatin1String("&"));
    qsizetype at = url.indexOf(QLatin1String("url?q=http"), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        url = url.mid(at + 6);
    } else {
        at = url.indexOf(QLatin1String("url?url=http"), 0, Qt::CaseInsensitive);
        if (at >= 0)
            url = url.mid(at + 8);
    }
    // Only an unwrapped address loses its tail: a direct link's own query stays whole.
    if (at >= 0) {
        const qsizetype amp = url.indexOf(QLatin1Char('&'));
        if (amp >= 0)
            url.truncate(amp);
    }
    return url;
}

bool IsUsableLinkUrl(const QString &url)
{
    return url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive);
}

bool IsSharingSiteTitle(const QString &title)
{
    return title.endsWith(QStringLiteral("_百度文库")) || title.endsWith(QStringLiteral("-百度文库")) ||
           title.endsWith(QStringLiteral("-豆丁网")) || title.endsWith(QStringLiteral("-道客巴巴")) ||
           title.right(12).toLower() == QStringLiteral("docin.com豆丁网");
}

bool IsListCaptchaPage(const PageSnapshot &snapshot, bool scholar)
{
    const QString &html = snapshot.html;
    return html.contains(QLatin1String("/sorry/image?"), Qt::CaseInsensitive) ||
           html.contains(
               QLatin1String("Our systems have detected unusual traffic from your computer network"),
               Qt::CaseInsensitive) ||
           html.contains(QStringLiteral("我们的系统检测到您的计算机网络中存在异常流量")) ||
           (scholar && html.contains(QStringLiteral("请进行人机身份验证"))) || SorryPath(snapshot) ||
           AutomatedQueriesText(html);
}

bool IsDivCaptchaPage(const PageSnapshot &snapshot)
{
    return snapshot.html.contains(QLatin1String("/sorry/image?id="), Qt::CaseInsensitive) ||
           SorryPath(snapshot) || AutomatedQueriesText(snapshot.html);
}

ExtractResult ExtractListResults(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink)
{
    if (IsListCaptchaPage(snapshot, options.scholar))
        return {0, true};
    return ExtractClassHits(snapshot, folder, options, sink, IsListHit);
}

ExtractResult ExtractDivResults(const PageSnapshot &snapshot, const QString &folder,
                                const ExtractOptions &options, const ResultSink &sink)
{
    if (IsDivCaptchaPage(snapshot))
        return {0, true};
    return ExtractClassHits(snapshot, folder, options, sink, IsDivHit);
}

ExtractResult ExtractClassTokenResults(const PageSnapshot &snapshot, const QString &folder,
                                       const ExtractOptions &options, const ResultSink &sink)
{
    ExtractResult result;
    const qsizetype n = snapshot.elements.size();
    // inHit[i]: element i is a hit or lies inside one.
    QList<bool> inHit(n, false);
    QSet<int> seenLinks;
    for (qsizetype i = 0; i < n; ++i) {
        const SnapElement &e = snapshot.elements[i];
        const int parent = EnclosingIndex(e);
        const bool enclosed = parent >= 0 && parent < i && inHit[parent];
        // The exact-class hits were judged by the other two extractors already.
        const bool judged = IsListHit(e) || IsDivHit(e);
        const bool hit = judged || ((IsTag(e, QLatin1String("LI")) || IsTag(e, QLatin1String("DIV"))) &&
                                    HasClassToken(e, QLatin1String("g")) && e.hasLink && e.linkHasH3);
        inHit[i] = enclosed || hit;
        if (!hit || enclosed || judged)
            continue;
        // A wrapper and the hit inside it share their first link.
        if (e.linkHandle >= 0) {
            if (seenLinks.contains(e.linkHandle))
                continue;
            seenLinks.insert(e.linkHandle);
        }
        QString title = Trim(e.linkH3Text);
        title.remove(QStringLiteral("..."));
        const QString url = UnwrapResultUrl(e.linkHref);
        if (HandOver(title, url, TagOrEndingType(e, url), snapshot, folder, options, sink))
            ++result.handed;
    }
    return result;
}

ExtractResult ExtractPageLinks(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink)
{
    // A block page yields no rows, whatever else it holds.
    ExtractResult result = ExtractListResults(snapshot, folder, options, sink);
    if (result.handed > 0 || result.captcha)
        return result;
    result = ExtractDivResults(snapshot, folder, options, sink);
    if (result.handed > 0 || result.captcha)
        return result;
    return ExtractClassTokenResults(snapshot, folder, options, sink);
}

namespace
{

bool IsNextText(QString text)
{
    text = text.toLower();
    text.remove(QLatin1String("\r\n"));
    text = Trim(text);
    return text == QStringLiteral("下一页") || text == QLatin1String("next");
}

int FirstNextLink(const QList<SnapLink> &links)
{
    for (const SnapLink &link : links)
        if (link.handle >= 0 && IsNextText(link.text))
            return link.handle;
    return -1;
}

} // namespace

int FindNextLink(const PageSnapshot &snapshot)
{
    // A "nav" without a known next text (other languages) does not end the paging.
    if (snapshot.hasNav) {
        const int handle = FirstNextLink(snapshot.navLinks);
        if (handle >= 0)
            return handle;
    }
    if (snapshot.pnnextHandle >= 0)
        return snapshot.pnnextHandle;
    if (snapshot.hasGsN)
        return FirstNextLink(snapshot.gsnLinks);
    return -1;
}

} // namespace dh
