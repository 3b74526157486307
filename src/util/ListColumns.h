#pragma once
// Column widths of report-style lists (search results, downloads, cache).
class QAbstractItemView;

namespace dh
{

namespace ColumnWidth
{
inline constexpr int FitHeaderAndContents = -2;
inline constexpr int FitContents = -1;
} // namespace ColumnWidth

// Width code: -2 fits header and contents, -1 fits the contents, 0 or more is
// the width in pixels; other negative codes change nothing.
void AutoSizeColumns(QAbstractItemView *view, int code);
// Does nothing for a list without a header or a column outside 1..count.
void SetColumnWidth(QAbstractItemView *view, int column1Based, int code);

} // namespace dh
