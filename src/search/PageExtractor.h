#pragma once
// Turns a loaded result page (its snapshot) into candidate rows for the result
// list, recognises the engine's block page and finds the next-page link. Pure
// rules over PageSnapshot; the window does the counting into its label.
#include "net/PageSnapshot.h"

#include <QSet>
#include <QString>
#include <functional>

namespace dh
{

struct ExtractOptions {
    bool removeTitleSpaces = false; // Check1
    bool dropUnknownType = false;   // Check2
    bool noJapanese = false;        // Check13
    bool noTraditional = false;     // Check14
    bool toSimplified = false;      // Check15
    bool scholar = false;           // the scholar window has one more block-page text
};

// The result list's 加入LV1: title, URL, page address, type, save folder, last column.
using ResultSink = std::function<void(const QString &title, const QString &url, const QString &pageAddress,
                                      const QString &type, const QString &folder, const QString &lastColumn)>;

struct ExtractResult {
    int handed = 0;       // candidates passed to the sink (duplicates included)
    bool captcha = false; // the block page was seen; nothing was read
    int read = 0;         // hits found before the filters
    // The results area holds links but no rule could read a hit, and the page
    // does not say it found nothing: the layout is not understood.
    bool unreadable = false;
};

// How to reach the next result page: click the element, or load the address
// (links of newer layouts, whose scripts may keep the click on the page).
struct NextPage {
    int handle = -1;
    QString url; // non-empty: load this address instead of clicking
    bool found() const { return handle >= 0 || !url.isEmpty(); }
};

// LI hits of class "g".
ExtractResult ExtractListResults(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink);
// DIV hits of class "g" or "gs_ri".
ExtractResult ExtractDivResults(const PageSnapshot &snapshot, const QString &folder,
                                const ExtractOptions &options, const ResultSink &sink);
// Every link holding an H3 in the results area whose address is not in `handed`
// (one row per address), outside the packs, in page order; engine-internal links skipped.
ExtractResult ExtractHeadedLinks(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink,
                                 QSet<QString> handed = {});
// The list extractor, the DIV extractor if nothing was handed, then the headed-link
// reader for what they did not hand over; stops at a block page.
ExtractResult ExtractPageLinks(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink);

// Handle of the element to click for the next result page, or -1 (#nav, #pnnext, #gs_n).
int FindNextLink(const PageSnapshot &snapshot);
// FindNextLink, then the labelled paging links of newer layouts, then a link to
// the same search one page further.
NextPage FindNextPage(const PageSnapshot &snapshot);

// The block-page tests of the two extractors.
bool IsListCaptchaPage(const PageSnapshot &snapshot, bool scholar);
bool IsDivCaptchaPage(const PageSnapshot &snapshot);

// Building blocks, exposed for their own tests.
QString UnwrapResultUrl(const QString &href); // "&amp;" fixed, engine redirect removed
bool IsUsableLinkUrl(const QString &url);     // http, https or ftp
bool IsSharingSiteTitle(const QString &title);
// "PDF", "doc", "xls", "ppt", "rtf" for a label such as "PDF", "[DOCX]" or "xlsx"; else empty.
QString TypeFromLabel(const QString &label);
// The type word from the extension of the address's path (query and fragment ignored).
QString TypeFromUrlPath(const QString &url);
// A leading "[PDF] "-style tag of a known type: removed from `title`, its type returned.
QString TakeTitleTypeTag(QString &title);

} // namespace dh
