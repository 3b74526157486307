#include "support/SerpPages.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <unicode/ucnv.h>

namespace dh::test {
namespace {

// Keyword groups arrive escaped either as UTF-8 or as code page 936 bytes.
QString DecodeKeywordBytes(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    UErrorCode status = U_ZERO_ERROR;
    UConverter *cnv = ucnv_open("windows-936", &status);
    if (U_FAILURE(status))
        return QString::fromLatin1(bytes);
    QString out(bytes.size() * 2 + 1, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(cnv, reinterpret_cast<UChar *>(out.data()), int32_t(out.size()),
                                    bytes.constData(), int32_t(bytes.size()), &status);
    ucnv_close(cnv);
    if (U_FAILURE(status))
        return QString::fromLatin1(bytes);
    out.truncate(n);
    return out;
}

QByteArray FormDecode(QByteArray value) {
    value.replace('+', ' ');
    return QByteArray::fromPercentEncoding(value);
}

QString Esc(const QString &text) {
    return text.toHtmlEscaped();
}

bool Chinese(const QString &hl) {
    return hl.startsWith(QLatin1String("zh"), Qt::CaseInsensitive);
}

// The page's own query with `start` replaced, as an HTML attribute value.
QString PageHref(const SerpRequest &r, int start) {
    QList<QByteArray> parts;
    for (const QByteArray &p : r.rawQuery.split('&'))
        if (!p.isEmpty() && !p.startsWith("start="))
            parts << p;
    parts << "start=" + QByteArray::number(start);
    return Esc(r.path + QLatin1Char('?') + QString::fromUtf8(parts.join('&')));
}

const HitOverride *FindOverride(const SerpConfig &c, const SerpRequest &r, int page, int rank) {
    for (const HitOverride &o : c.overrides) {
        if (o.page == page && o.rank == rank && (o.query.isEmpty() || o.query == r.group) &&
            (o.type.isEmpty() || o.type.compare(r.type, Qt::CaseInsensitive) == 0))
            return &o;
    }
    return nullptr;
}

QString LinkHref(const SerpConfig &c, const SerpRequest &r, const QString &url) {
    QString inner = url;
    inner.replace(QLatin1Char('&'), QLatin1String("%26"));
    switch (c.links) {
    case LinkForm::Direct:
        return Esc(url);
    case LinkForm::Redirect:
        return Esc(QStringLiteral("/url?q=") + inner) + QStringLiteral("&amp;sa=U&amp;ved=x&amp;usg=y");
    case LinkForm::UrlUrl:
        return Esc(QStringLiteral("/scholar_url?url=") + inner) + QStringLiteral("&amp;hl=") + Esc(r.hl) +
               QStringLiteral("&amp;sa=X&amp;scisig=z");
    }
    return Esc(url);
}

QString TypeSpanHtml(const SerpConfig &c, HitLayout layout, const QString &tag) {
    if (tag.isEmpty())
        return {};
    const QString cls = layout == HitLayout::ListG  ? QStringLiteral("mime")
                        : layout == HitLayout::DivG ? QStringLiteral("_ogd b w xsm")
                                                    : QStringLiteral("gs_ctg2");
    const QString span = QStringLiteral("<span class=\"%1\">%2</span>").arg(cls, Esc(tag));
    if (c.nbspAfterType)
        return QStringLiteral("<span style=\"float:left\">%1&nbsp;</span>").arg(span);
    return span + QLatin1Char(' ');
}

QString HitHtml(const SerpConfig &c, const SerpRequest &r, HitLayout layout, int page, int rank,
                const QString &baseUrl) {
    const HitOverride *o = FindOverride(c, r, page, rank);
    const QString url = baseUrl + SerpPages::DocumentPath(r.group, r.type, page, rank);
    const QString title = o && o->title ? *o->title : SerpPages::HitTitle(r.group, r.type, page, rank);
    const QString href = o && o->href ? *o->href : LinkHref(c, r, url);
    const QString tag = o && o->typeTag ? *o->typeTag : (c.typeSpan ? SerpPages::TypeTag(r.type) : QString());
    const QString cite = Esc(QUrl(url).host() + QUrl(url).path());
    const QString snippet =
        c.snippetSpan ? QStringLiteral("<span class=\"st\">Snippet of <em>%1</em>, page %2, hit %3.</span>")
                            .arg(Esc(r.group), QString::number(page), QString::number(rank))
                      : QStringLiteral("<div class=\"st\">Snippet of %1, page %2, hit %3.</div>")
                            .arg(Esc(r.group), QString::number(page), QString::number(rank));
    const QString anchor = QStringLiteral("<a href=\"%1\">%2</a>").arg(href, Esc(title));
    const QString span = TypeSpanHtml(c, layout, tag);

    QString cls;
    QString inner;
    switch (layout) {
    case HitLayout::ListG:
        cls = QStringLiteral("g");
        inner = span + QStringLiteral("<h3 class=\"r\">") + anchor +
                QStringLiteral("</h3><div class=\"s\"><cite>") + cite + QStringLiteral("</cite><br>") +
                snippet + QStringLiteral("</div>");
        break;
    case HitLayout::DivG:
        cls = QStringLiteral("g");
        inner = QStringLiteral("<h3 class=\"r\">") + span + anchor +
                QStringLiteral("</h3><div class=\"s\"><div><cite>") + cite + QStringLiteral("</cite></div>") +
                snippet + QStringLiteral("</div>");
        break;
    case HitLayout::Today:
        cls = QStringLiteral("g Ww4FFb vt6azd tF2Cxc");
        inner = QStringLiteral("<div class=\"yuRUbf\"><a href=\"") + href +
                QStringLiteral("\"><h3 class=\"LC20lb\">") + Esc(title) +
                QStringLiteral("</h3><br><div><cite>") + cite + QStringLiteral("</cite></div></a></div>") +
                (tag.isEmpty() ? QString()
                               : QStringLiteral("<span class=\"ZGwO7\">") + Esc(tag.mid(1, tag.size() - 2)) +
                                     QStringLiteral("</span>")) +
                QStringLiteral("<div class=\"VwiC3b\">") + snippet + QStringLiteral("</div>");
        break;
    case HitLayout::DivGsRi:
        cls = QStringLiteral("gs_ri");
        inner =
            QStringLiteral("<h3 class=\"gs_rt\">") + span + anchor +
            QStringLiteral("</h3><div class=\"gs_a\">A Author, B Author - Journal of Tests, 2020 - ") + cite +
            QStringLiteral("</div><div class=\"gs_rs\">") + snippet +
            QStringLiteral("</div><div class=\"gs_fl\"><a href=\"javascript:void(0)\" class=\"gs_or_sav\">"
                           "保存</a> <a href=\"/scholar?cites=%1\">被引用次数：%2</a></div>")
                .arg(QString::number(page * 100 + rank), QString::number(rank));
        break;
    }
    if (o && o->className)
        cls = *o->className;
    if (o && o->innerHtml)
        inner = *o->innerHtml;
    const QString tagName = layout == HitLayout::ListG ? QStringLiteral("li") : QStringLiteral("div");
    QString html = QStringLiteral("<%1 class=\"%2\">%3</%1>\n").arg(tagName, Esc(cls), inner);
    if (layout == HitLayout::DivGsRi)
        html = QStringLiteral("<div class=\"gs_r gs_or gs_scl\">") + html + QStringLiteral("</div>\n");
    if (layout == HitLayout::Today)
        html = QStringLiteral("<div class=\"MjjYud\">") + html + QStringLiteral("</div>\n");
    return html;
}

QString NavHtml(const SerpConfig &c, const SerpRequest &r, int page, int pages) {
    NextStyle style = c.next;
    bool zh = Chinese(r.hl);
    if (style == NextStyle::Auto)
        style = r.engine == Engine::Scholar ? NextStyle::GsN
                                            : (zh ? NextStyle::NavChinese : NextStyle::NavEnglish);
    if (style == NextStyle::NavChinese)
        zh = true;
    if (style == NextStyle::NavEnglish)
        zh = false;
    if (style == NextStyle::None)
        return {};
    const QString nextText = zh ? QStringLiteral("下一页") : QStringLiteral("Next");
    const QString prevText = zh ? QStringLiteral("上一页") : QStringLiteral("Previous");
    const int rpp = qMax(1, c.resultsPerPage);
    const bool hasNext = page < pages;
    const bool hasPrev = page > 1;

    if (style == NextStyle::MoreResults) {
        return hasNext ? QStringLiteral("<div id=\"botstuff\"><a aria-label=\"More results\" href=\"%1\">"
                                        "<h3>More results</h3></a></div>\n")
                             .arg(PageHref(r, page * rpp))
                       : QString();
    }
    if (style == NextStyle::Rewritten) {
        const QString query =
            QString::fromLatin1(QUrl::toPercentEncoding(r.group + QStringLiteral(" filetype:") + r.type));
        return hasNext ? QStringLiteral("<div id=\"botstuff\"><a aria-label=\"N\u00e4sta sida\" href=\"%1\">"
                                        "<h3>N\u00e4sta sida</h3></a></div>\n")
                             .arg(Esc(r.path + QStringLiteral("?q=") + query + QStringLiteral("&start=") +
                                      QString::number(page * rpp)))
                       : QString();
    }
    if (style == NextStyle::PageNumbers) {
        QString html = QStringLiteral("<div role=\"navigation\"><table><tr>");
        for (int p = 1; p <= pages; ++p)
            html +=
                p == page
                    ? QStringLiteral("<td>%1</td>").arg(p)
                    : QStringLiteral("<td><a href=\"%1\">%2</a></td>").arg(PageHref(r, (p - 1) * rpp)).arg(p);
        return html + QStringLiteral("</tr></table></div>\n");
    }
    if (style == NextStyle::PnNext) {
        QString html = QStringLiteral("<div id=\"foot\" role=\"navigation\">");
        if (hasPrev)
            html += QStringLiteral("<a id=\"pnprev\" href=\"%1\"><span>%2</span></a> ")
                        .arg(PageHref(r, (page - 2) * rpp), prevText);
        if (hasNext)
            html += QStringLiteral("<a id=\"pnnext\" href=\"%1\"><span>%2</span></a>")
                        .arg(PageHref(r, page * rpp), nextText);
        return html + QStringLiteral("</div>\n");
    }

    QString cells;
    if (hasPrev)
        cells +=
            QStringLiteral("<td><a href=\"%1\">%2</a></td>").arg(PageHref(r, (page - 2) * rpp), prevText);
    for (int p = 1; p <= pages; ++p) {
        cells += p == page ? QStringLiteral("<td><b>%1</b></td>").arg(p)
                           : QStringLiteral("<td><a href=\"%1\">%2</a></td>")
                                 .arg(PageHref(r, (p - 1) * rpp), QString::number(p));
    }
    if (hasNext) {
        const QString icon = style == NextStyle::GsN
                                 ? QStringLiteral("<span class=\"gs_ico gs_ico_nav_next\"></span>")
                                 : QStringLiteral("<span class=\"csb\"></span>");
        const QString text = style == NextStyle::GsN ? QStringLiteral("<b>%1</b>").arg(nextText) : nextText;
        cells += QStringLiteral("<td><a href=\"%1\">%2%3</a></td>").arg(PageHref(r, page * rpp), icon, text);
    }
    if (style == NextStyle::GsN)
        return QStringLiteral(
                   "<div id=\"gs_n\" role=\"navigation\"><center><table><tr>%1</tr></table></center></div>\n")
            .arg(cells);
    return QStringLiteral("<table id=\"nav\"><tr>%1</tr></table>\n").arg(cells);
}

QByteArray Page(const QString &title, const QString &body) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>\n"
                          "<body>\n%2</body></html>\n")
        .arg(Esc(title), body)
        .toUtf8();
}

} // namespace

namespace SerpPages {

SerpRequest ParseRequest(Engine engine, const QByteArray &rawQuery) {
    SerpRequest r;
    r.engine = engine;
    r.path = engine == Engine::Web ? QStringLiteral("/search") : QStringLiteral("/scholar");
    r.rawQuery = rawQuery;
    QString q;
    for (const QByteArray &part : rawQuery.split('&')) {
        const qsizetype eq = part.indexOf('=');
        const QByteArray key = FormDecode(eq < 0 ? part : part.left(eq));
        const QByteArray value = eq < 0 ? QByteArray() : FormDecode(part.mid(eq + 1));
        if (key == "hl")
            r.hl = QString::fromUtf8(value);
        else if (key == "as_qdr")
            r.timeRange = QString::fromUtf8(value);
        else if (key == "as_filetype")
            r.type = QString::fromUtf8(value).trimmed().toLower();
        else if (key == "as_occt")
            r.titleOnly = value == "title";
        else if (key == "start")
            r.start = qMax(0, value.toInt());
        else if (key == "as_q" || key == "as_epq" || key == "q") {
            q = DecodeKeywordBytes(value);
            r.exactPhrase = key == "as_epq";
        }
    }
    {
        static const QRegularExpression re(QStringLiteral("(?:^|\\s)filetype:(\\S+)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = re.match(q);
        if (m.hasMatch()) {
            r.type = m.captured(1).toLower();
            q = q.left(m.capturedStart());
        }
    }
    r.group = q.trimmed();
    return r;
}

QString HitTitle(const QString &group, const QString &type, int page, int rank) {
    if (type.isEmpty())
        return QStringLiteral("%1 document %2-%3").arg(group, QString::number(page), QString::number(rank));
    return QStringLiteral("%1 %2 document %3-%4")
        .arg(group, type.toUpper(), QString::number(page), QString::number(rank));
}

QString DocumentPath(const QString &group, const QString &type, int page, int rank) {
    QString slug = group.simplified();
    slug.replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString ext = type.isEmpty() ? QStringLiteral("html") : type.toLower();
    return QStringLiteral("/docs/%1-%2-%3.%4")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(slug)), QString::number(page), QString::number(rank),
             ext);
}

QString TypeTag(const QString &type) {
    return type.isEmpty() ? QString() : QLatin1Char('[') + type.toUpper() + QLatin1Char(']');
}

int PageCount(const SerpConfig &config, const QString &group) {
    return qMax(0, config.pagesByQuery.value(group, config.pages));
}

QByteArray ResultPage(const SerpConfig &config, const SerpRequest &request, const QString &baseUrl) {
    const HitLayout layout =
        config.layout.value_or(request.engine == Engine::Scholar ? HitLayout::DivGsRi : HitLayout::ListG);
    const int rpp = qMax(1, config.resultsPerPage);
    const int page = request.start / rpp + 1;
    const int pages = PageCount(config, request.group);

    QString hits;
    if (page <= pages) {
        for (int rank = 1; rank <= rpp; ++rank)
            hits += HitHtml(config, request, layout, page, rank, baseUrl);
    } else {
        hits = QStringLiteral("<p class=\"noresults\">No more results for %1.</p>\n").arg(Esc(request.group));
    }
    hits += config.extraHtml;

    const QString form =
        QStringLiteral("<form id=\"tsf\" action=\"%1\" method=\"get\"><input name=\"q\" value=\"%2\">"
                       "<input type=\"submit\" value=\"搜索\"></form>\n")
            .arg(request.path, Esc(request.group));
    const QString stats = QStringLiteral("<div id=\"resultStats\">第 %1 页</div>\n").arg(page);
    QString body;
    if (layout == HitLayout::ListG)
        body = QStringLiteral("<div id=\"res\"><div id=\"ires\"><ol>\n%1</ol></div></div>\n").arg(hits);
    else if (layout == HitLayout::DivG)
        body = QStringLiteral("<div id=\"res\"><div id=\"search\"><div id=\"rso\">\n%1</div></div></div>\n")
                   .arg(hits);
    else if (layout == HitLayout::Today)
        body = QStringLiteral(
                   "<div id=\"search\"><div id=\"rso\">\n"
                   "<div class=\"related-question-pair\"><a href=\"https://answers.example/%2\">"
                   "<h3>Answer about %2</h3></a></div>\n%1</div></div>\n"
                   "<div id=\"rhs\"><a href=\"https://panel.example/\"><h3>Side panel</h3></a></div>\n")
                   .arg(hits, Esc(request.group));
    else
        body = QStringLiteral("<div id=\"gs_res_ccl_mid\">\n%1</div>\n").arg(hits);
    const int navPages = page <= pages ? pages : 0;
    return Page(request.group + QStringLiteral(" - 搜索结果"),
                form + stats + body + NavHtml(config, request, page, navPages));
}

QByteArray CaptchaPage(CaptchaKind kind) {
    QString body;
    switch (kind) {
    case CaptchaKind::English:
        body = QStringLiteral(
            "<div id=\"infoDiv\">Our systems have detected unusual traffic from your computer "
            "network.  This page checks to see if it's really you sending the requests, and not "
            "a robot.</div>\n<form action=\"/sorry/index\" method=\"post\"><div class=\"g-recaptcha\" "
            "data-sitekey=\"test\"></div><input type=\"submit\" value=\"Submit\"></form>\n");
        break;
    case CaptchaKind::Chinese:
        body = QStringLiteral(
            "<div id=\"infoDiv\">我们的系统检测到您的计算机网络中存在异常流量。此网页用于确认这些请求是由您"
            "而不是自动程序发出的。</div>\n<form action=\"/sorry/index\" method=\"post\">"
            "<div class=\"g-recaptcha\" data-sitekey=\"test\"></div></form>\n");
        break;
    case CaptchaKind::SorryImage:
        body =
            QStringLiteral("<p>To continue, please type the characters below:</p>\n"
                           "<img src=\"/sorry/image?id=123&amp;hl=en\" border=\"1\" alt=\"captcha\">\n"
                           "<form action=\"/sorry/index\" method=\"get\"><input name=\"captcha\" value=\"\">"
                           "<input type=\"submit\" value=\"Submit\"></form>\n");
        break;
    case CaptchaKind::ScholarVerify:
        body = QStringLiteral("<h1>请进行人机身份验证</h1>\n<form action=\"/sorry/index\" method=\"post\">"
                              "<div class=\"g-recaptcha\" data-sitekey=\"test\"></div>"
                              "<input type=\"submit\" value=\"我不是机器人\"></form>\n");
        break;
    case CaptchaKind::ScholarBlocked:
        body = QStringLiteral(
            "<h1>We're sorry...</h1>\n<p>... but your computer or network may be sending automated "
            "queries. To protect our users, we can't process your request right now.</p>\n");
        break;
    }
    return Page(QStringLiteral("Sorry..."), body);
}

QByteArray HomePage(Engine engine) {
    if (engine == Engine::Scholar) {
        return Page(QStringLiteral("学术搜索"),
                    QStringLiteral("<div id=\"gs_hdr\"><form action=\"/scholar\" method=\"get\">"
                                   "<input type=\"hidden\" name=\"hl\" value=\"zh-CN\"><input name=\"q\">"
                                   "<input type=\"submit\" value=\"搜索\"></form></div>\n"));
    }
    return Page(QStringLiteral("网页搜索"),
                QStringLiteral("<div id=\"main\"><form action=\"/search\" method=\"get\">"
                               "<input type=\"hidden\" name=\"hl\" value=\"zh-CN\"><input name=\"as_q\">"
                               "<input type=\"submit\" value=\"搜索\"></form></div>\n"));
}

QByteArray DocumentBody(const QString &type, qint64 size) {
    const QString t = type.toLower();
    QByteArray head;
    QByteArray tail;
    qint64 defaultSize = 2048;
    const auto compound = [&](int markOffset, const QByteArray &mark) {
        head = QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(512 - 8, '\0');
        head.resize(markOffset, '\0');
        head += mark;
        defaultSize = 1536;
    };
    if (t == QLatin1String("pdf")) {
        head = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
        tail = "\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
    } else if (t == QLatin1String("doc")) {
        compound(512, QByteArray::fromHex("ECA5C100"));
    } else if (t == QLatin1String("xls")) {
        compound(512, QByteArray::fromHex("09081000"));
    } else if (t == QLatin1String("ppt")) {
        compound(515, QByteArray::fromHex("F0"));
    } else if (t == QLatin1String("rtf")) {
        head = "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Times;}}\n";
        tail = "\n}\n";
    } else if (t == QLatin1String("docx")) {
        head = QByteArray::fromHex("504B0304140006000800") + "word/document.xml";
    } else if (t == QLatin1String("zip") || t == QLatin1String("xlsx") || t == QLatin1String("pptx")) {
        head = QByteArray::fromHex("504B030414000000080000") + "content.xml";
    } else if (t == QLatin1String("rar")) {
        head = QByteArray::fromHex("526172211A0700");
    } else if (t == QLatin1String("exe")) {
        head = "MZ\x90";
    } else if (t == QLatin1String("png")) {
        head = QByteArray::fromHex("89504E470D0A1A0A0000000D49484452");
    } else if (t == QLatin1String("gif")) {
        head = "GIF89a";
    } else if (t == QLatin1String("jpg") || t == QLatin1String("jpeg")) {
        head = QByteArray::fromHex("FFD8FFE000104A46494600");
    } else if (t == QLatin1String("mp3")) {
        head = QByteArray::fromHex("494433030000");
    } else if (t == QLatin1String("caj")) {
        head = QByteArray::fromHex("C8000000");
    } else if (t == QLatin1String("html") || t == QLatin1String("htm")) {
        head =
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Test page</title></head>\n<body>\n";
        tail = "</body></html>\n";
        defaultSize = 512;
    }
    if (size < 0)
        size = defaultSize;
    static const QByteArray filler = "Docharvest test document body 0123456789 abcdefghijklmnopqrstuvwxyz\n";
    QByteArray body = head;
    const qint64 fill = size - head.size() - tail.size();
    if (fill < 0) {
        body += tail;
        body.truncate(size);
        return body;
    }
    body.reserve(size);
    for (qint64 i = 0; i < fill; ++i)
        body += filler.at(i % filler.size());
    body += tail;
    return body;
}

QByteArray ContentTypeFor(const QString &type) {
    static const QMap<QString, QByteArray> map = {
        {QStringLiteral("pdf"), "application/pdf"},
        {QStringLiteral("doc"), "application/msword"},
        {QStringLiteral("xls"), "application/vnd.ms-excel"},
        {QStringLiteral("ppt"), "application/vnd.ms-powerpoint"},
        {QStringLiteral("rtf"), "application/rtf"},
        {QStringLiteral("docx"), "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {QStringLiteral("xlsx"), "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {QStringLiteral("pptx"), "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {QStringLiteral("zip"), "application/zip"},
        {QStringLiteral("rar"), "application/x-rar-compressed"},
        {QStringLiteral("exe"), "application/x-msdownload"},
        {QStringLiteral("caj"), "application/caj"},
        {QStringLiteral("htm"), "text/html; charset=utf-8"},
        {QStringLiteral("html"), "text/html; charset=utf-8"},
        {QStringLiteral("txt"), "text/plain; charset=utf-8"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("gif"), "image/gif"},
        {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("jpeg"), "image/jpeg"},
        {QStringLiteral("tif"), "image/tiff"},
        {QStringLiteral("mp3"), "audio/mpeg"},
    };
    return map.value(type.toLower(), "application/octet-stream");
}

} // namespace SerpPages
} // namespace dh::test
