#pragma once
// The rules of the copy window: name split, counter strip, the five
// same-name rules and a copy that never leaves a half file under the target
// name nor loses the file it replaces.
#include <QString>

namespace dh {

// Same-name rules by option index (1..5).
enum class CopyRule {
    Skip = 1,
    Overwrite = 2,
    Rename = 3,
    SizeAndTimeOverwrite = 4, // same size and modification time: overwrite; otherwise rename
    SizeOverwrite = 5,        // same size: overwrite; otherwise rename
};
// Index text ("1".."5") to rule; anything else gives the designed default 4.
CopyRule CopyRuleFromIndex(int index);

struct CopyNameParts {
    QString folder; // up to and including the last separator; empty without one
    QString base;
    QString extension; // without the dot
};
// The extension is the text after the last "." when shorter than 7
// characters; a name with nothing before that dot keeps it whole.
CopyNameParts SplitCopyName(const QString &path);

struct CounterParts {
    QString base;
    QString counter; // the digits, empty when there was no counter
};
// "report[007]" gives "report" and "007"; a base that would become empty stays.
CounterParts StripCounter(const QString &base);

// base + "[" + n with at least three digits + "]" + "." + extension.
QString CounterName(const QString &base, int n, const QString &extension);

// The first free name for `source` in `folder` under automatic renaming:
// the base without its counter, then base[001], base[002] ...
QString FreeCounterTarget(const QString &source, const QString &folder);

enum class CopyAction { Copy, Skip, Overwrite, Rename };
// What the rule does when `target` exists (Copy when it does not).
CopyAction DecideCopy(CopyRule rule, const QString &source, const QString &target);

// Copies `source` to `target` through a temporary file in the target's
// folder, keeping the source's modification time. Without `replace` an
// existing target is never touched (false); with it the target is replaced
// only once the copy is complete. Blocks: call it off the UI thread for big files.
bool CopyFileSafely(const QString &source, const QString &target, bool replace);
// CopyFileSafely on a worker thread while the event loop keeps running.
bool CopyFileResponsive(const QString &source, const QString &target, bool replace);

// 复制相同文件自动重命名: copies `source` into `folder` under its first free
// counter name; false when the source is missing or the copy fails.
bool 复制相同文件自动重命名(const QString &source, const QString &folder);

} // namespace dh
