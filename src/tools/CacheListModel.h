#pragma once
// ListView1 of the cache viewer: one row per cache entry or cached file,
// with the columns "URL", "TYPE", "SIZE(Byte)" and "FilePath".
#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace dh {

struct CacheRow {
    QString url;
    QString type;
    QString size; // bytes as plain digits; empty when there is no file
    QString filePath;
};

// Rows of the all-users view carry this prefix before the user name.
inline const QString kUserRowPrefix = QStringLiteral("用户:");

class CacheListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { UrlColumn, TypeColumn, SizeColumn, PathColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Sorted once: rows added later are not placed in order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void Clear();
    void Append(const QList<CacheRow> &rows);
    int Count() const { return int(m_rows.size()); }
    const CacheRow &Row(int row) const { return m_rows.at(row); }
    void SetFile(int row, const QString &filePath, qint64 size);
    const QList<CacheRow> &Rows() const { return m_rows; }

    // A header click: the order flips (the first click sorts descending),
    // then the rows are sorted by that column.
    void ClickSort(int column);
    Qt::SortOrder SortOrder() const { return m_order; }

private:
    QList<CacheRow> m_rows;
    Qt::SortOrder m_order = Qt::AscendingOrder;
};

} // namespace dh
