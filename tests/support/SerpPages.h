#pragma once
// Search-engine-shaped pages for the local test server: result pages with
// hits, paging links and unusual-traffic pages, plus the small document
// bodies the hits point at. Pure functions: the same configuration and query
// always give the same bytes, so tests can predict every row.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace dh::test {

enum class Engine { Web, Scholar };

// How hits are written. ListG: <li class="g">; DivG: <div class="g">;
// DivGsRi: <div class="gs_ri"> inside a scholar result block; Today: the
// layout of 2022-2025 (div.MjjYud > div.g with more classes, a link holding
// an H3, a "PDF" label without brackets), inside #rso after a "People also
// ask" block whose answer links also hold H3s.
enum class HitLayout { ListG, DivG, DivGsRi, Today };

// The next-page link. Auto: web pages get a #nav table, scholar pages a
// #gs_n block, each with "下一页" when hl starts with "zh", else "Next".
// NavChinese / NavEnglish force the #nav text; PnNext gives <a id="pnnext">
// and no #nav; GsN gives #gs_n with the hl text; MoreResults gives only
// <a aria-label="More results">; PageNumbers gives only links numbered by
// page (start=); Rewritten gives only <a aria-label="Nästa sida"> to the
// search as the engine writes it on further pages ("q=<group> filetype:<type>",
// no as_q or as_filetype); None gives no link at all.
enum class NextStyle { Auto, NavChinese, NavEnglish, PnNext, GsN, MoreResults, PageNumbers, Rewritten, None };

// How a hit's first link points at its document:
// Direct   href="http://127.0.0.1:<port>/docs/<slug>-<page>-<rank>.<type>"
// Redirect href="/url?q=<that url>&amp;sa=U&amp;ved=x"
// UrlUrl   href="/scholar_url?url=<that url>&amp;hl=..&amp;sa=X"
// In the redirect forms an "&" inside the document URL is written as %26.
enum class LinkForm { Direct, Redirect, UrlUrl };

// Unusual-traffic pages. Each carries exactly one marker:
// English        "Our systems have detected unusual traffic from your computer network."
// Chinese        "我们的系统检测到您的计算机网络中存在异常流量。"
// SorryImage     <img src="/sorry/image?id=123&amp;hl=en"> with neutral text
// ScholarVerify  "请进行人机身份验证"
// ScholarBlocked "... your computer or network may be sending automated queries ..."
enum class CaptchaKind { English, Chinese, SorryImage, ScholarVerify, ScholarBlocked };

// Changes one hit. Matches by group (empty: any), type (empty: any), page and
// rank (both 1-based).
struct HitOverride {
    QString query;
    QString type;
    int page = 1;
    int rank = 1;
    std::optional<QString> title;     // anchor text, HTML-escaped when written ("" = empty title)
    std::optional<QString> href;      // href attribute exactly as written (give "&amp;" yourself)
    std::optional<QString> typeTag;   // text of the type SPAN ("" = no type SPAN)
    std::optional<QString> className; // class attribute of the hit element
    std::optional<QString> innerHtml; // replaces everything inside the hit element
};

struct SerpConfig {
    int resultsPerPage = 10;
    int pages = 3;                   // result pages per query; later pages have no hits
    QMap<QString, int> pagesByQuery; // group -> pages, overrides `pages`
    std::optional<HitLayout> layout; // unset: ListG for web, DivGsRi for scholar
    NextStyle next = NextStyle::Auto;
    LinkForm links = LinkForm::Direct;
    bool typeSpan = true;       // "[PDF]" style SPAN before the title when the query has a type
    bool nbspAfterType = false; // wrap it as <span><span>[PDF]</span>&nbsp;</span>
    bool snippetSpan = true;    // a <span class="st"> snippet (a SPAN even without a type SPAN)
    int delayMs = 0;            // wait before a result page is sent
    QString extraHtml;          // written after the hits, inside the result container
    QList<HitOverride> overrides;
};

// What a search request asked for.
struct SerpRequest {
    Engine engine = Engine::Web;
    QString group; // keyword group, decoded (UTF-8, else code page 936)
    QString type;  // as_filetype, or the query's last "filetype:" word; lower case
    QString hl;
    QString timeRange;        // as_qdr
    bool exactPhrase = false; // as_epq instead of as_q
    bool titleOnly = false;   // as_occt=title
    int start = 0;
    QString path;        // "/search" or "/scholar"
    QByteArray rawQuery; // text after "?" as received
};

namespace SerpPages {

// Parses the raw query text of a /search or /scholar request. Never fails:
// missing parts stay empty.
SerpRequest ParseRequest(Engine engine, const QByteArray &rawQuery);

// Title of a generated hit: "<group> <TYPE> document <page>-<rank>"
// ("<group> document <page>-<rank>" without a type).
QString HitTitle(const QString &group, const QString &type, int page, int rank);
// "/docs/<slug>-<page>-<rank>.<type>" (".html" without a type); the slug is
// the group with spaces as "-", percent-escaped as UTF-8.
QString DocumentPath(const QString &group, const QString &type, int page, int rank);
// "[PDF]", "[DOC]", ... ("" for no type).
QString TypeTag(const QString &type);
// Pages for this group under this configuration.
int PageCount(const SerpConfig &config, const QString &group);

// A whole result page. baseUrl ("http://127.0.0.1:<port>") prefixes the
// direct document links.
QByteArray ResultPage(const SerpConfig &config, const SerpRequest &request, const QString &baseUrl);
QByteArray CaptchaPage(CaptchaKind kind);
QByteArray HomePage(Engine engine);

// Deterministic body of `size` bytes that the type detection recognises:
// "%PDF-1.4" for pdf, the compound-document header with the Word / sheet /
// slide marks for doc / xls / ppt, "{\rtf1" for rtf, and so on; html and htm
// give a small web page. size < 0 gives the type's default size.
QByteArray DocumentBody(const QString &type, qint64 size = -1);
// Media type for a type word ("pdf" -> "application/pdf"); unknown types
// give "application/octet-stream".
QByteArray ContentTypeFor(const QString &type);

} // namespace SerpPages
} // namespace dh::test
