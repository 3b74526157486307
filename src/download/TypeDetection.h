#pragma once
// Naming a file's type: from the media type of a reply, from the bytes of a
// saved file, and correcting a finished item's extension to what it holds.
#include "download/DownloadItem.h"

#include <functional>

#include <QString>

namespace dh
{

// Media type (the Content-Type value before its first ";") -> extension or empty.
QString ExtensionFromContentType(const QString &mediaType);

// Type tag of the file at the path ("pdf", "doc", "htm" ...) or empty text.
// Reads at most 10241 bytes from the start, 128 from the end, and the whole
// file only when it is under 3 KB.
QString 打开文件判断文件类型(const QString &path);

// Renames the item's file to the detected extension (to a free name) and
// updates its type and name. True when that happened. A free name that a
// running transfer holds (`reserved`) is not taken: the file keeps its name.
bool CorrectItemType(DownloadItem &item, const std::function<bool(const QString &)> &reserved = {});

} // namespace dh
