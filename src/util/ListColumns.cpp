#include "util/ListColumns.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>

#include <algorithm>

namespace dh
{
namespace
{
// Only lists in report view (with a column header) have columns to size.
QHeaderView *columnHeader(QAbstractItemView *view)
{
    if (auto *tree = qobject_cast<QTreeView *>(view))
        return tree->header();
    if (auto *table = qobject_cast<QTableView *>(view))
        return table->horizontalHeader();
    return nullptr;
}

int columnCount(QAbstractItemView *view)
{
    const QAbstractItemModel *model = view->model();
    return model ? model->columnCount(view->rootIndex()) : 0;
}

void sizeColumn(QAbstractItemView *view, QHeaderView *header, int column, int code)
{
    int width = code;
    if (code == ColumnWidth::FitHeaderAndContents)
        width = std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
    else if (code == ColumnWidth::FitContents)
        width = view->sizeHintForColumn(column);
    if (width < 0)
        return;
    header->resizeSection(column, width);
}
} // namespace

void AutoSizeColumns(QAbstractItemView *view, int code)
{
    QHeaderView *header = view ? columnHeader(view) : nullptr;
    if (!header)
        return;
    const int count = columnCount(view);
    for (int column = 0; column < count; ++column)
        sizeColumn(view, header, column, code);
}

void SetColumnWidth(QAbstractItemView *view, int column1Based, int code)
{
    QHeaderView *header = view ? columnHeader(view) : nullptr;
    if (!header || column1Based < 1 || column1Based > columnCount(view))
        return;
    sizeColumn(view, header, column1Based - 1, code);
}

} // namespace dh
