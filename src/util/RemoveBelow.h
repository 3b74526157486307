#pragma once
// Deleting below a folder without trusting any path: every folder on the way
// is opened one level at a time at the moment of deleting, never through a
// link, and the last entry is removed relative to its open parent. A folder
// swapped for a link, or a link planted on the way, stops that delete and
// nothing outside is touched.
#include <QString>

namespace dh {

enum class RemoveWhat {
    File,        // a file or a link (never what it points at); not a folder
    EmptyFolder, // a folder without entries
};

// Removes `path`, which must lie strictly below `root`. `root` is an absolute
// path without links (as taken from the folder when it was listed): a link on
// it now, or on the way below it, refuses the delete. True when removed.
bool RemoveBelow(const QString &root, const QString &path, RemoveWhat what);

// `path` lies strictly below `root`, compared as written after cleaning (so
// ".." cannot climb out), without resolving anything.
bool IsWrittenBelow(const QString &path, const QString &root);

} // namespace dh
