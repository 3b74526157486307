#pragma once
// Turns a loaded result page (its snapshot) into candidate rows for the result
// list, recognises the engine's block page and finds the next-page link. Pure
// rules over PageSnapshot; the window does the counting into its label.
#include "net/PageSnapshot.h"

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
};

// LI hits of class "g".
ExtractResult ExtractListResults(const PageSnapshot &snapshot, const QString &folder,
                                 const ExtractOptions &options, const ResultSink &sink);
// DIV hits of class "g" or "gs_ri".
ExtractResult ExtractDivResults(const PageSnapshot &snapshot, const QString &folder,
                                const ExtractOptions &options, const ResultSink &sink);
// LI/DIV hits whose class list holds the token "g" and whose first link holds an H3
// (layouts where "g" is one class among several).
ExtractResult ExtractClassTokenResults(const PageSnapshot &snapshot, const QString &folder,
                                       const ExtractOptions &options, const ResultSink &sink);
// The list extractor, then the DIV extractor if nothing was handed, then the class-token
// extractor if still nothing; stops at a block page.
ExtractResult ExtractPageLinks(const PageSnapshot &snapshot, const QString &folder,
                               const ExtractOptions &options, const ResultSink &sink);

// Handle of the element to click for the next result page, or -1.
int FindNextLink(const PageSnapshot &snapshot);

// The block-page tests of the two extractors.
bool IsListCaptchaPage(const PageSnapshot &snapshot, bool scholar);
bool IsDivCaptchaPage(const PageSnapshot &snapshot);

// Building blocks, exposed for their own tests.
QString UnwrapResultUrl(const QString &href); // "&amp;" fixed, engine redirect removed
bool IsUsableLinkUrl(const QString &url);     // http, https or ftp
bool IsSharingSiteTitle(const QString &title);

} // namespace dh
