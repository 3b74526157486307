#pragma once
// The list menu's operations over the download list: re-download, delete
// files, cancel, shuffle, batch address replacement and name export. Each
// walks the list once and changes it in one batch, so 100 000 rows take
// well under a second.
//
// Files: a failed transfer leaves nothing at its path, and "已存在，跳过"
// means the file there was the user's before the item came. So only a file
// the item itself downloaded (Done with "100%") is ever deleted, and only a
// plain file, never a folder.
#include "download/DownloadListModel.h"

#include <QRandomGenerator>

#include <optional>
#include <vector>

namespace dh {

// One flag per row of the list.
using RowFlags = std::vector<bool>;

bool IsEnded(const DownloadItem &item);
// "htm", "html" and, with `withXml`, "xml", in any case.
bool IsWebPageItem(const DownloadItem &item, bool withXml);
// The item's file at its path was written by its own download.
bool OwnsItemFile(const DownloadItem &item);
// Deletes the file at the item's path when the item owns it; failures are ignored.
void DeleteItemFile(const DownloadItem &item);

// A number as typed into an input box (trimmed; a decimal point and a sign
// allowed); nothing for any other text.
std::optional<double> ParseNumber(const QString &text);

// RequeueForRedownload on one item: its own file deleted, Waiting, a web
// page typed "xxx" (every re-queued item with `allXxx`), the three columns
// emptied and the addresses rotated with 对调url. `takenKey` tells whether
// another row holds a key; the rotation is skipped then, so keys stay unique.
void RequeueForRedownload(DownloadItem &item, bool allXxx, const std::function<bool(const QString &)> &takenKey);

// The re-download sets; each returns the number of rows re-queued.
int RedownloadSelected(DownloadListModel &model, const RowFlags &selected);
int RedownloadFailed(DownloadListModel &model);
int RedownloadWebPages(DownloadListModel &model);
int RedownloadFailedAndWebPages(DownloadListModel &model);
// Ended rows whose size and received columns (commas removed) are the same
// number and smaller than `bytes`.
int RedownloadSmallerThan(DownloadListModel &model, double bytes);

// The delete-file sets: the three columns emptied and the item's file
// deleted; the selected and smaller-than sets also go back to Waiting. Rows
// being downloaded are not touched.
int DeleteWebPageFiles(DownloadListModel &model);
int DeleteFailedFiles(DownloadListModel &model);
int DeleteSelectedFiles(DownloadListModel &model, const RowFlags &selected);
// Rows whose size column is a number of bytes below `kilobytes` KB.
int DeleteFilesSmallerThan(DownloadListModel &model, double kilobytes);

// Selected Waiting rows become Failed; returns how many.
int CancelSelected(DownloadListModel &model, const RowFlags &selected);
// Writes "不存在" into the percent column of every row whose file is missing.
int MarkMissingFiles(DownloadListModel &model);

// A uniformly random order of every row.
void ShuffleList(DownloadListModel &model, QRandomGenerator &random);

struct ReplaceResult {
    int changed = 0; // rows whose key or referrer changed
    int kept = 0;    // rows that kept their old key: the new one was another row's
};
// Replaces `find` (any letter case) by `replacement` in every key and
// referrer. A row whose new key another row holds (before or after the
// replacement) keeps its old key, so keys stay unique.
ReplaceResult ReplaceInAddresses(DownloadListModel &model, const QString &find, const QString &replacement);

// Writes the names of all rows, or of the unfinished ones, one per line with
// CR LF, in the system code page, replacing `path`. Empty text on success,
// else the failure's description.
QString ExportNames(const DownloadListModel &model, const QString &path, bool unfinishedOnly);

} // namespace dh
