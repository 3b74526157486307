#pragma once
// Turns keyword groups and options into one search URL per group and type.
#include <QString>
#include <QStringList>

namespace dh {

enum class Engine { Web, Scholar };

inline const QString OfficialWebBase = QStringLiteral("https://www.google.com/search");
inline const QString OfficialScholarBase = QStringLiteral("https://scholar.google.com/scholar");
inline const QString OfficialWebHome = QStringLiteral("https://www.google.com/");
inline const QString OfficialScholarHome = QStringLiteral("https://scholar.google.com/");

QString OfficialBase(Engine engine);
QString OfficialHome(Engine engine);
// An address of the right shape, for the user to replace with a real mirror.
QString DefaultMirrorUrl(Engine engine);

// Time range: 0 none selected, 1 all, 2 year, 3 month, 4 week, 5 day.
struct QueryOptions {
    bool titlesOnly = false;
    bool exactPhrase = false;
    int timeRange = 1;
};

// The main URL of a mirror text, or `currentMirror` when the text is not usable.
QString 提取主网址(const QString &text, const QString &currentMirror);
QString SelectBase(bool officialSelected, const QString &officialBase, const QString &mirrorBase);
// One URL for one keyword group (not yet encoded) and one type word ("pdf" ...).
QString BuildSearchUrl(Engine engine, const QString &base, const QString &language,
                       const QString &keywordGroup, const QString &type,
                       const QueryOptions &options = {});
// Lines split at line breaks, trimmed, empty ones dropped.
QStringList SplitKeywordGroups(const QString &text);
// The ticked types in the fixed order pdf, doc, ppt, xls, rtf.
QStringList TickedTypes(bool pdf, bool doc, bool ppt, bool xls, bool rtf);

} // namespace dh
