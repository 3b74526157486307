#include "search/PageExtractor.h"

#include "util/ChineseScript.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

namespace dh {

namespace {

// QString::trimmed also removes U+00A0, which basic-layout pages put after "[PDF]".
QString Trim(const QString &s) {
    return s.trimmed();
}

bool IsTag(const SnapElement &e, QLatin1String tag) {
    return e.tag.compare(tag, Qt::CaseInsensitive) == 0;
}

// "..." marks a cut title; without it the title makes a clean file name.
QString WithoutEllipsis(QString title) {
    title.remove(QStringLiteral("..."));
    return Trim(title);
}

QString HitTitle(const SnapElement &e) {
    // From 2020 on the link wraps the title's H3 and a breadcrumb line.
    return WithoutEllipsis(Trim(e.linkHasH3 ? e.linkH3Text : e.linkText));
}

// The type of a hit from its first SPAN and the URL's ending; later tests win.
QString SpanType(const SnapElement &e, const QString &url) {
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

// A label, then a title tag, then the path's extension.
QString LabelOrPathType(const QString &label, const QString &titleTagType, const QString &url) {
    QString type = TypeFromLabel(label);
    if (type.isEmpty())
        type = titleTagType;
    if (type.isEmpty())
        type = TypeFromUrlPath(url);
    return type;
}

// The spaces option, the window's filters and the hand-over; true when handed.
bool HandOver(QString title, const QString &url, const QString &type, const PageSnapshot &snapshot,
              const QString &folder, const ExtractOptions &options, const ResultSink &sink) {
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

// A scholar hit's side link labelled as a document ("[PDF]"), or nothing.
bool SideDocument(const SnapElement &e, QString &url, QString &type) {
    if (e.sideHref.isEmpty())
        return false;
    const QString sideType = TypeFromLabel(e.sideLabel);
    if (sideType.isEmpty())
        return false;
    url = UnwrapResultUrl(e.sideHref);
    type = sideType;
    return true;
}

template <typename IsHit>
ExtractResult ExtractClassHits(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink, IsHit isHit) {
    ExtractResult result;
    for (const SnapElement &e : snapshot.elements) {
        if (!isHit(e) || e.inPack)
            continue;
        QString title = e.hasLink ? HitTitle(e) : QString();
        const QString tagType = TakeTitleTypeTag(title);
        QString url = e.hasLink ? UnwrapResultUrl(e.linkHref) : QString();
        QString type = SpanType(e, url);
        if (type.isEmpty())
            type = LabelOrPathType(e.labelText, tagType, url);
        if (!title.isEmpty())
            SideDocument(e, url, type);
        if (!title.isEmpty() && !url.isEmpty())
            ++result.read;
        if (HandOver(title, url, type, snapshot, folder, options, sink))
            ++result.handed;
    }
    return result;
}

bool IsListHit(const SnapElement &e) {
    return IsTag(e, QLatin1String("LI")) && Trim(e.className).toLower() == QLatin1String("g");
}

bool IsDivHit(const SnapElement &e) {
    if (!IsTag(e, QLatin1String("DIV")))
        return false;
    const QString cls = Trim(e.className).toLower();
    return cls == QLatin1String("g") || cls == QLatin1String("gs_ri");
}

bool SorryPath(const PageSnapshot &snapshot) {
    return QUrl(snapshot.url).path().startsWith(QLatin1String("/sorry/"), Qt::CaseInsensitive);
}

// The block pages the text markers miss: the current English one, and the
// check form of every language.
bool NewerBlockPage(const PageSnapshot &snapshot) {
    return snapshot.captchaForm || SorryPath(snapshot) ||
           snapshot.html.contains(QLatin1String("your computer or network may be sending automated queries"),
                                  Qt::CaseInsensitive);
}

// The engine's own pages (image packs, local results, other searches) are no hits.
bool IsEngineLink(const QString &url, const PageSnapshot &snapshot) {
    const QUrl link(url);
    const QUrl page(snapshot.url);
    if (link.host().isEmpty() || link.host().compare(page.host(), Qt::CaseInsensitive) != 0 ||
        link.port() != page.port())
        return false;
    const QString path = link.path();
    return path == QLatin1String("/search") || path == QLatin1String("/scholar") ||
           path.startsWith(QLatin1String("/search/")) || path == QLatin1String("/url");
}

// The page says it found nothing for the query.
bool SaysNothingFound(const QString &html) {
    static const char *const markers[] = {
        "did not match any documents",
        "did not match any articles",
        "No results found for",
        "找不到和您查询的",
        "没有找到",
        "keine übereinstimmenden Dokumente",
        "Aucun document ne correspond",
    };
    for (const char *m : markers)
        if (html.contains(QString::fromUtf8(m), Qt::CaseInsensitive))
            return true;
    return false;
}

QString FragmentFree(QString url) {
    const qsizetype at = url.indexOf(QLatin1String("#:~:text="));
    if (at >= 0)
        url.truncate(at);
    return url;
}

bool StartsWithHttp(const QString &s) {
    return s.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           s.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

bool StartsWithEscapedHttp(const QString &s) {
    return s.startsWith(QLatin1String("http%3a"), Qt::CaseInsensitive) ||
           s.startsWith(QLatin1String("https%3a"), Qt::CaseInsensitive);
}

} // namespace

QString UnwrapResultUrl(const QString &href) {
    QString url = Trim(href);
    url.replace(QLatin1String("&amp;"), QLatin1String("&"));
    // The engine's redirect: a path ending in "url" whose q or url parameter
    // holds the target (raw, or escaped as a whole).
    const qsizetype question = url.indexOf(QLatin1Char('?'));
    if (question > 0 && url.left(question).endsWith(QLatin1String("url"), Qt::CaseInsensitive)) {
        const QStringList params = url.mid(question + 1).split(QLatin1Char('&'));
        QString target;
        for (const QLatin1String name : {QLatin1String("q="), QLatin1String("url=")}) {
            for (const QString &p : params) {
                if (!p.startsWith(name, Qt::CaseInsensitive))
                    continue;
                const QString value = p.mid(name.size());
                if (StartsWithHttp(value))
                    target = value;
                else if (StartsWithEscapedHttp(value))
                    target = QUrl::fromPercentEncoding(value.toUtf8());
                if (!target.isEmpty())
                    break;
            }
            if (!target.isEmpty())
                break;
        }
        if (!target.isEmpty())
            url = target;
    }
    return FragmentFree(url);
}

bool IsUsableLinkUrl(const QString &url) {
    return url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive);
}

bool IsSharingSiteTitle(const QString &title) {
    return title.endsWith(QStringLiteral("_百度文库")) || title.endsWith(QStringLiteral("-百度文库")) ||
           title.endsWith(QStringLiteral("-豆丁网")) || title.endsWith(QStringLiteral("-道客巴巴")) ||
           title.right(12).toLower() == QStringLiteral("docin.com豆丁网");
}

QString TypeFromLabel(const QString &label) {
    QString word = Trim(label).toLower();
    if (word.startsWith(QLatin1Char('[')) && word.endsWith(QLatin1Char(']')))
        word = Trim(word.mid(1, word.size() - 2));
    if (word == QLatin1String("pdf"))
        return QStringLiteral("PDF");
    if (word == QLatin1String("doc") || word == QLatin1String("docx"))
        return QStringLiteral("doc");
    if (word == QLatin1String("xls") || word == QLatin1String("xlsx"))
        return QStringLiteral("xls");
    if (word == QLatin1String("ppt") || word == QLatin1String("pptx"))
        return QStringLiteral("ppt");
    if (word == QLatin1String("rtf"))
        return QStringLiteral("rtf");
    return {};
}

QString TypeFromUrlPath(const QString &url) {
    static const QRegularExpression queryOrFragment(QStringLiteral("[?#]"));
    QString path = url;
    const qsizetype cut = path.indexOf(queryOrFragment);
    if (cut >= 0)
        path.truncate(cut);
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return {};
    return TypeFromLabel(path.mid(dot + 1));
}

QString TakeTitleTypeTag(QString &title) {
    static const QRegularExpression tag(QStringLiteral("^\\[([A-Za-z]{3,4})\\]\\s*"));
    const QRegularExpressionMatch m = tag.match(title);
    if (!m.hasMatch())
        return {};
    const QString type = TypeFromLabel(m.captured(1));
    if (!type.isEmpty())
        title = Trim(title.mid(m.capturedLength()));
    return type;
}

bool IsListCaptchaPage(const PageSnapshot &snapshot, bool scholar) {
    const QString &html = snapshot.html;
    return html.contains(QLatin1String("/sorry/image?"), Qt::CaseInsensitive) ||
           html.contains(
               QLatin1String("Our systems have detected unusual traffic from your computer network"),
               Qt::CaseInsensitive) ||
           html.contains(QStringLiteral("我们的系统检测到您的计算机网络中存在异常流量")) ||
           (scholar && html.contains(QStringLiteral("请进行人机身份验证"))) || NewerBlockPage(snapshot);
}

bool IsDivCaptchaPage(const PageSnapshot &snapshot) {
    return snapshot.html.contains(QLatin1String("/sorry/image?id="), Qt::CaseInsensitive) ||
           NewerBlockPage(snapshot);
}

ExtractResult ExtractListResults(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink) {
    if (IsListCaptchaPage(snapshot, options.scholar))
        return {0, true};
    return ExtractClassHits(snapshot, folder, options, sink, IsListHit);
}

ExtractResult ExtractDivResults(const PageSnapshot &snapshot, const QString &folder,
                                const ExtractOptions &options, const ResultSink &sink) {
    if (IsDivCaptchaPage(snapshot))
        return {0, true};
    return ExtractClassHits(snapshot, folder, options, sink, IsDivHit);
}

ExtractResult ExtractHeadedLinks(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink,
                                 QSet<QString> handed) {
    ExtractResult result;
    for (const SnapHeadedLink &link : snapshot.headedLinks) {
        if (link.inPack)
            continue;
        const QString url = UnwrapResultUrl(link.href);
        if (url.isEmpty() || IsEngineLink(url, snapshot))
            continue;
        QString title = link.headingText.simplified();
        const QString tagType = TakeTitleTypeTag(title);
        title = WithoutEllipsis(title);
        if (!title.isEmpty() && IsUsableLinkUrl(url))
            ++result.read;
        if (handed.contains(url))
            continue;
        const QString type = LabelOrPathType(link.labelText, tagType, url);
        if (HandOver(title, url, type, snapshot, folder, options, sink)) {
            ++result.handed;
            handed.insert(url);
        }
    }
    return result;
}

ExtractResult ExtractPageLinks(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink) {
    // The headed-link reader adds only what the first two did not hand over.
    QSet<QString> handed;
    const ResultSink noting = [&](const QString &title, const QString &url, const QString &page,
                                  const QString &type, const QString &f, const QString &last) {
        handed.insert(url);
        if (sink)
            sink(title, url, page, type, f, last);
    };
    // A block page yields no rows, whatever else it holds.
    ExtractResult result = ExtractListResults(snapshot, folder, options, noting);
    if (result.captcha)
        return result;
    if (result.handed == 0) {
        const int listRead = result.read;
        result = ExtractDivResults(snapshot, folder, options, noting);
        result.read += listRead;
        if (result.captcha)
            return result;
    }
    const ExtractResult headed = ExtractHeadedLinks(snapshot, folder, options, sink, std::move(handed));
    result.handed += headed.handed;
    result.read += headed.read;
    result.unreadable =
        snapshot.valid && result.read == 0 && snapshot.resultLinks > 0 && !SaysNothingFound(snapshot.html);
    return result;
}

namespace {

bool IsNextText(QString text) {
    text = text.toLower();
    text.remove(QLatin1String("\r\n"));
    text = Trim(text);
    return text == QStringLiteral("下一页") || text == QLatin1String("next");
}

int FirstNextLink(const QList<SnapLink> &links) {
    for (const SnapLink &link : links)
        if (link.handle >= 0 && IsNextText(link.text))
            return link.handle;
    return -1;
}

// The labels of the next-page link in the languages the engine serves.
bool IsNextLabel(const QString &label) {
    static const QStringList labels = {
        QStringLiteral("next page"),
        QStringLiteral("more results"),
        QStringLiteral("nächste seite"),
        QStringLiteral("weitere ergebnisse"),
        QStringLiteral("página siguiente"),
        QStringLiteral("más resultados"),
        QStringLiteral("próxima página"),
        QStringLiteral("mais resultados"),
        QStringLiteral("page suivante"),
        QStringLiteral("plus de résultats"),
        QStringLiteral("pagina successiva"),
        QStringLiteral("altri risultati"),
        QStringLiteral("volgende pagina"),
        QStringLiteral("meer resultaten"),
        QStringLiteral("следующая страница"),
        QStringLiteral("ещё результаты"),
        QStringLiteral("次のページ"),
        QStringLiteral("その他の検索結果"),
        QStringLiteral("下一页"),
        QStringLiteral("更多结果"),
        QStringLiteral("下一頁"),
        QStringLiteral("更多結果"),
        QStringLiteral("다음 페이지"),
        QStringLiteral("결과 더보기"),
    };
    return labels.contains(Trim(label).toLower());
}

qint64 StartOf(const QUrlQuery &query) {
    bool ok = false;
    const qint64 start = query.queryItemValue(QStringLiteral("start")).toLongLong(&ok);
    return ok ? start : 0;
}

// What a search asks for, in whichever form its address takes: the engine
// writes the program's "as_q=a b&as_filetype=pdf" as "q=a b filetype:pdf" on
// its further pages, and an exact phrase as quoted words.
struct SearchWords {
    QStringList words;
    QString type;
    bool operator==(const SearchWords &) const = default;
};

QString FormValue(const QUrlQuery &query, const QString &key) {
    QString raw = query.queryItemValue(key, QUrl::FullyEncoded);
    raw.replace(QLatin1Char('+'), QLatin1Char(' '));
    return QUrl::fromPercentEncoding(raw.toUtf8());
}

SearchWords WordsOf(const QUrlQuery &query) {
    static const QLatin1String kOperator("filetype:");
    static const QRegularExpression kSpaces(QStringLiteral("\\s+"));
    SearchWords search;
    for (const QString &key : {QStringLiteral("q"), QStringLiteral("as_q"), QStringLiteral("as_epq")}) {
        for (QString word : FormValue(query, key).toLower().split(kSpaces, Qt::SkipEmptyParts)) {
            if (word.startsWith(kOperator) && word.size() > kOperator.size()) {
                search.type = word.mid(kOperator.size());
                continue;
            }
            word.remove(QLatin1Char('"'));
            if (!word.isEmpty())
                search.words << word;
        }
    }
    if (search.type.isEmpty())
        search.type = FormValue(query, QStringLiteral("as_filetype")).trimmed().toLower();
    return search;
}

// A link to the same search (same path and query words) with the smallest start beyond this page's.
QString SameSearchFurther(const PageSnapshot &snapshot) {
    const QUrl page(snapshot.url);
    const QUrlQuery pageQuery(page);
    const qint64 current = StartOf(pageQuery);
    const SearchWords words = WordsOf(pageQuery);
    QString best;
    qint64 bestStart = -1;
    for (const SnapLink &link : snapshot.pagerLinks) {
        const QUrl url(link.href);
        const QUrlQuery query(url);
        if (!url.isValid() || url.host() != page.host() || url.path() != page.path() ||
            !query.hasQueryItem(QStringLiteral("start")))
            continue;
        const qint64 start = StartOf(query);
        if (WordsOf(query) == words && start > current && (bestStart < 0 || start < bestStart)) {
            best = link.href;
            bestStart = start;
        }
    }
    return best;
}

} // namespace

int FindNextLink(const PageSnapshot &snapshot) {
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

NextPage FindNextPage(const PageSnapshot &snapshot) {
    const int handle = FindNextLink(snapshot);
    if (handle >= 0)
        return {handle, {}};
    for (const SnapLink &link : snapshot.pagerLinks)
        if (IsNextLabel(link.ariaLabel) && IsUsableLinkUrl(link.href))
            return {link.handle, FragmentFree(link.href)};
    return {-1, SameSearchFurther(snapshot)};
}

} // namespace dh
