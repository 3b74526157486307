#pragma once
// The download list: one row per item, unique keys, and the counts the
// scheduler asks for every second kept up to date as rows change, so that
// its questions stay cheap with 100 000 rows.
#include "download/DownloadItem.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include <array>
#include <functional>
#include <vector>

namespace dh {

// "a|b" -> "a"
QString 选择url(const QString &key);
// a|b -> b|a, a|b|c -> c|a|b, any other key unchanged
QString 对调url(const QString &key);

class DownloadListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        TypeColumn,
        SizeColumn,
        ReceivedColumn,
        PercentColumn,
        FolderColumn,
        BColumn,
        SpeedColumn,
        TimeLeftColumn,
        ResultColumn
    };
    static constexpr int ColumnCount = 10;
    // PartialRole: the item's partial file record changed (no cell shows it).
    enum Role { KeyRole = Qt::UserRole + 1, ReferrerRole, StateRole, PartialRole };

    explicit DownloadListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Stable sort by the column's rules; the order flag is used as given.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Adds a row unless the key is listed already; true in both cases.
    bool 加入下载列表(const QString &address, const QString &title, const QString &type,
                      const QString &folder, const QString &referrer);
    bool ContainsKey(const QString &key) const;
    int RowOfKey(const QString &key) const; // -1 when absent
    int RowOfUid(quint64 uid) const;        // -1 when absent
    // Appends items as they were kept (uids included), skipping listed keys;
    // returns how many were added.
    int AddKept(std::vector<DownloadItem> items);

    int Count() const { return int(m_items.size()); }
    const DownloadItem &Item(int row) const { return m_items.at(size_t(row)); }
    // Replaces the row; views hear of the cells that changed.
    void SetItem(int row, const DownloadItem &item);
    void SetState(int row, ItemState state);
    void SetText(int row, Column column, const QString &text);
    void SetKey(int row, const QString &key);
    void SetReferrer(int row, const QString &referrer);
    void RequeueItem(int row);
    QString ItemFilePath(int row) const;

    int 统计未下载项数目() const { return m_unstarted; }
    bool 检测是否下载列表完毕() const;
    int CountProblemItems() const { return m_webPages + m_failedOther; }
    int CountInState(ItemState state) const { return m_stateCounts[size_t(state)]; }
    QString StatusSummary() const;

    // A header click: the direction flips (one direction for the whole
    // list), then the list is sorted by the clicked column.
    void ClickSort(int column);
    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }

    // Lets `edit` change rows in place (it returns true for a row it
    // changed), in one pass: the counts and the key index are rebuilt once and
    // views hear one change. Returns the number of rows changed.
    int EditRows(const std::function<bool(int, DownloadItem &)> &edit);
    // Puts the rows in the given order (order[i] = the old row now at i, a
    // permutation); views are reset, the selection goes.
    void Reorder(const std::vector<int> &order);

    // Removes every row the predicate (row, item) holds for, in one pass;
    // returns the number removed. A removed item's partial file goes with it.
    int RemoveRowsIf(const std::function<bool(int, const DownloadItem &)> &predicate);
    void Clear();

private:
    struct Tally {
        ItemState state;
        bool unstarted;
        bool webPage;
    };
    static Tally TallyOf(const DownloadItem &item);
    void Account(const DownloadItem &item, int sign); // sign +1 adds the item to the counts, -1 takes it out
    void RebuildIndex();
    void ResetCounts();
    void EmitCells(int row, int firstColumn, int lastColumn, const QList<int> &roles = {});
    quint64 NewItemUid();

    std::vector<DownloadItem> m_items;
    QHash<QString, int> m_index; // key -> row of its first holder
    QHash<quint64, int> m_uids;  // uid -> row
    quint64 m_uidBase = 0;
    quint32 m_uidCount = 0;
    std::array<int, 5> m_stateCounts{};
    int m_unstarted = 0;
    int m_webPages = 0;
    int m_failedOther = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// The icon shown for a state (a coloured dot).
QIcon StateIcon(ItemState state);

} // namespace dh
