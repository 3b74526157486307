#include "tools/CacheListModel.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace dh {

int CacheListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CacheListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CacheListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const CacheRow &row = m_rows.at(index.row());
    switch (index.column()) {
    case UrlColumn:
        return row.url;
    case TypeColumn:
        return row.type;
    case SizeColumn:
        return row.size;
    case PathColumn:
        return row.filePath;
    default:
        return {};
    }
}

QVariant CacheListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titles[] = {"URL", "TYPE", "SIZE(Byte)", "FilePath"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QVariant();
}

void CacheListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CacheListModel::Append(const QList<CacheRow> &rows) {
    if (rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows.append(rows);
    endInsertRows();
}

void CacheListModel::SetFile(int row, const QString &filePath, qint64 size) {
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row].filePath = filePath;
    m_rows[row].size = size >= 0 ? QString::number(size) : QString();
    emit dataChanged(index(row, SizeColumn), index(row, PathColumn));
}

void CacheListModel::ClickSort(int column) {
    m_order = m_order == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
    sort(column, m_order);
}

void CacheListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount)
        return;
    const bool ascending = order == Qt::AscendingOrder;
    std::vector<int> rows(size_t(m_rows.size()));
    std::iota(rows.begin(), rows.end(), 0);
    if (column == SizeColumn) {
        // By value, as 12-digit numbers would sort; an empty size comes first.
        std::vector<qint64> keys(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            bool ok = false;
            const qint64 v = m_rows.at(qsizetype(i)).size.toLongLong(&ok);
            keys[i] = ok ? v : -1;
        }
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
            return ascending ? keys[size_t(a)] < keys[size_t(b)] : keys[size_t(b)] < keys[size_t(a)];
        });
    } else {
        auto text = [&](int r) -> const QString & {
            const CacheRow &row = m_rows.at(r);
            return column == UrlColumn ? row.url : column == TypeColumn ? row.type : row.filePath;
        };
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
            const int c = QString::compare(text(a), text(b), Qt::CaseInsensitive);
            return ascending ? c < 0 : c > 0;
        });
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRow(rows.size());
    QList<CacheRow> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        newRow[size_t(rows[i])] = int(i);
        sorted.append(std::move(m_rows[rows[i]]));
    }
    m_rows = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRow[size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace dh
