#include "download/DownloadListModel.h"

#include "download/SaveNaming.h"
#include "util/FileHelpers.h"
#include "util/Settings.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace dh {
namespace {

constexpr int PaddedWidth = 12;

// What a cell sorts by. A number orders as its twelve-digit zero-padded
// text would; since every such text has the same length, that is the order
// of the values, so two numbers compare as numbers and the text (padded,
// case-folded) is needed only against other texts.
struct SortKey {
    bool number = false;
    quint64 value = 0;
    QString text;
};

bool operator<(const SortKey &a, const SortKey &b) {
    if (a.number && b.number)
        return a.value < b.value;
    return a.text < b.text;
}

SortKey MakeKey(const QString &text, bool numeric, bool percent) {
    SortKey key;
    QString digits = text;
    if (percent)
        digits.remove(QLatin1Char('%'));
    if (numeric && IsDecimalDigits(digits)) {
        const QString padded = digits.size() >= PaddedWidth
                                   ? digits
                                   : QString(PaddedWidth - digits.size(), QLatin1Char('0')) + digits;
        // Numbers wider than the padding sort by their text, as they would padded.
        key.number = digits.size() <= PaddedWidth;
        key.value = key.number ? digits.toULongLong() : 0;
        key.text = padded;
        return key;
    }
    key.text = text.toCaseFolded();
    return key;
}

const QString &ColumnText(const DownloadItem &item, int column) {
    switch (column) {
    case DownloadListModel::NameColumn:
        return item.name;
    case DownloadListModel::TypeColumn:
        return item.type;
    case DownloadListModel::SizeColumn:
        return item.size;
    case DownloadListModel::ReceivedColumn:
        return item.received;
    case DownloadListModel::PercentColumn:
        return item.percent;
    case DownloadListModel::FolderColumn:
        return item.folder;
    case DownloadListModel::SpeedColumn:
        return item.speed;
    case DownloadListModel::TimeLeftColumn:
        return item.timeLeft;
    case DownloadListModel::ResultColumn:
        return item.result;
    default:
        return item.columnB;
    }
}

QString &ColumnText(DownloadItem &item, int column) {
    return const_cast<QString &>(ColumnText(static_cast<const DownloadItem &>(item), column));
}

bool ValidState(ItemState state) {
    return int(state) >= 1 && int(state) <= 4;
}

bool IsWebPageType(const QString &type) {
    return type.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0 ||
           type.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0;
}

QPixmap Dot(const QColor &colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(140));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return pixmap;
}

} // namespace

QString 选择url(const QString &key) {
    const qsizetype bar = key.indexOf(QLatin1Char('|'));
    return bar < 0 ? key : key.left(bar);
}

QString 对调url(const QString &key) {
    const QStringList parts = key.split(QLatin1Char('|'));
    if (parts.size() == 2)
        return parts.at(1) + QLatin1Char('|') + parts.at(0);
    if (parts.size() == 3)
        return parts.at(2) + QLatin1Char('|') + parts.at(0) + QLatin1Char('|') + parts.at(1);
    return key;
}

QIcon StateIcon(ItemState state) {
    // Pixmaps need the GUI application; without one there is no icon.
    if (!qGuiApp || !ValidState(state))
        return {};
    static const std::array<QIcon, 5> icons = [] {
        std::array<QIcon, 5> i;
        i[size_t(ItemState::Waiting)] = QIcon(Dot(QColor(158, 158, 158)));
        i[size_t(ItemState::Downloading)] = QIcon(Dot(QColor(30, 136, 229)));
        i[size_t(ItemState::Done)] = QIcon(Dot(QColor(67, 160, 71)));
        i[size_t(ItemState::Failed)] = QIcon(Dot(QColor(229, 57, 53)));
        return i;
    }();
    return icons[size_t(state)];
}

DownloadListModel::DownloadListModel(QObject *parent) : QAbstractTableModel(parent) {}

int DownloadListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : Count();
}

int DownloadListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= Count() || index.column() >= ColumnCount)
        return {};
    const DownloadItem &item = Item(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return ColumnText(item, index.column());
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(StateIcon(item.state)) : QVariant();
    case KeyRole:
        return item.key;
    case ReferrerRole:
        return item.referrer;
    case StateRole:
        return int(item.state);
    default:
        return {};
    }
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const std::array<QString, ColumnCount> captions{
        QStringLiteral("名称"),     QStringLiteral("类型"),   QStringLiteral("文件大小"),
        QStringLiteral("已下载数"), QStringLiteral("百分比"), QStringLiteral("保存路径"),
        QStringLiteral("B"),        QStringLiteral("速度"),   QStringLiteral("剩余时间"),
        QStringLiteral("结果")};
    return captions[size_t(section)];
}

Qt::ItemFlags DownloadListModel::flags(const QModelIndex &index) const {
    // Names are not edited in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

DownloadListModel::Tally DownloadListModel::TallyOf(const DownloadItem &item) {
    return {item.state, item.size.isEmpty() && item.received.isEmpty() && item.percent.isEmpty(),
            IsWebPageType(item.type)};
}

void DownloadListModel::Account(const DownloadItem &item, int sign) {
    const Tally t = TallyOf(item);
    if (ValidState(t.state))
        m_stateCounts[size_t(t.state)] += sign;
    if (t.unstarted)
        m_unstarted += sign;
    if (t.webPage)
        m_webPages += sign;
    else if (t.state == ItemState::Failed)
        m_failedOther += sign;
}

void DownloadListModel::ResetCounts() {
    m_stateCounts.fill(0);
    m_unstarted = m_webPages = m_failedOther = 0;
    for (const DownloadItem &item : m_items)
        Account(item, +1);
}

void DownloadListModel::RebuildIndex() {
    m_index.clear();
    m_index.reserve(qsizetype(m_items.size()));
    m_uids.clear();
    m_uids.reserve(qsizetype(m_items.size()));
    // Walking backwards leaves each key with its first holder.
    for (int row = Count() - 1; row >= 0; --row) {
        m_index.insert(m_items[size_t(row)].key, row);
        m_uids.insert(m_items[size_t(row)].uid, row);
    }
}

// A random run of this list, then a counter: unique across lists and runs
// (partial files are named by it), and rising, so the kept list appends.
quint64 DownloadListModel::NewItemUid() {
    if (m_uidBase == 0)
        m_uidBase = (quint64(QRandomGenerator::global()->generate()) | 1u) << 31;
    return m_uidBase + quint64(++m_uidCount);
}

bool DownloadListModel::加入下载列表(const QString &address, const QString &title, const QString &type,
                                     const QString &folder, const QString &referrer) {
    if (ContainsKey(address))
        return true;
    DownloadItem item;
    item.key = address;
    const QString cleanTitle = RemoveLineBreaks(title).trimmed();
    // The file name comes from the address that is downloaded, the first one.
    item.name =
        MakeSafeFileName(Shared().useOriginalFileName ? FileNameFromPath(选择url(address)) : cleanTitle);
    // A program type never comes from a list or a page; only the file's bytes may name one.
    item.type = IsLauncherType(type) ? QString() : type;
    // The shared folder is empty until a window has read the setting; the
    // setting's own default stands in for it then.
    item.folder = !folder.isEmpty()                    ? folder
                  : !Shared().downloadFolder.isEmpty() ? Shared().downloadFolder
                                                       : DefaultDownloadFolder();
    item.referrer = referrer;
    item.state = ItemState::Waiting;
    item.uid = NewItemUid();
    while (m_uids.contains(item.uid))
        item.uid = NewItemUid();

    const int row = Count();
    beginInsertRows({}, row, row);
    m_items.push_back(item);
    m_index.insert(item.key, row);
    m_uids.insert(item.uid, row);
    Account(item, +1);
    endInsertRows();
    return true;
}

int DownloadListModel::AddKept(std::vector<DownloadItem> items) {
    std::vector<DownloadItem> fresh;
    fresh.reserve(items.size());
    QSet<QString> keys;
    for (DownloadItem &item : items) {
        if (ContainsKey(item.key) || keys.contains(item.key))
            continue;
        keys.insert(item.key);
        if (item.uid == 0 || m_uids.contains(item.uid))
            item.uid = NewItemUid();
        fresh.push_back(std::move(item));
    }
    if (fresh.empty())
        return 0;
    const int first = Count();
    beginInsertRows({}, first, first + int(fresh.size()) - 1);
    for (DownloadItem &item : fresh) {
        const int row = Count();
        m_index.insert(item.key, row);
        m_uids.insert(item.uid, row);
        Account(item, +1);
        m_items.push_back(std::move(item));
    }
    endInsertRows();
    return int(fresh.size());
}

int DownloadListModel::RowOfUid(quint64 uid) const {
    return m_uids.value(uid, -1);
}

bool DownloadListModel::ContainsKey(const QString &key) const {
    return m_index.contains(key);
}

int DownloadListModel::RowOfKey(const QString &key) const {
    return m_index.value(key, -1);
}

void DownloadListModel::EmitCells(int row, int firstColumn, int lastColumn, const QList<int> &roles) {
    emit dataChanged(index(row, firstColumn), index(row, lastColumn), roles);
}

void DownloadListModel::SetItem(int row, const DownloadItem &item) {
    if (row < 0 || row >= Count())
        return;
    if (m_items[size_t(row)].key != item.key)
        SetKey(row, item.key);
    DownloadItem &current = m_items[size_t(row)];
    const DownloadItem old = current;
    Account(old, -1);
    current = item;
    Account(current, +1);

    for (int column = 0; column < ColumnCount; ++column) {
        if (ColumnText(old, column) != ColumnText(current, column))
            EmitCells(row, column, column, {Qt::DisplayRole});
    }
    if (old.state != current.state)
        EmitCells(row, NameColumn, NameColumn, {Qt::DecorationRole, StateRole});
    if (old.referrer != current.referrer)
        EmitCells(row, NameColumn, NameColumn, {ReferrerRole});
    if (old.partialPath != current.partialPath || old.partial.etag != current.partial.etag ||
        old.partial.lastModified != current.partial.lastModified ||
        old.partial.total != current.partial.total || old.partial.address != current.partial.address)
        EmitCells(row, NameColumn, NameColumn, {PartialRole});
}

void DownloadListModel::SetState(int row, ItemState state) {
    if (row < 0 || row >= Count())
        return;
    DownloadItem item = Item(row);
    item.state = state;
    SetItem(row, item);
}

void DownloadListModel::SetText(int row, Column column, const QString &text) {
    if (row < 0 || row >= Count() || column < 0 || column >= ColumnCount)
        return;
    DownloadItem item = Item(row);
    ColumnText(item, column) = text;
    SetItem(row, item);
}

void DownloadListModel::SetKey(int row, const QString &key) {
    if (row < 0 || row >= Count() || m_items[size_t(row)].key == key)
        return;
    DownloadItem &item = m_items[size_t(row)];
    const QString old = item.key;
    item.key = key;
    if (m_index.value(old, -1) == row) {
        m_index.remove(old);
        // Rare: another row still holds the old key (an edit made two keys
        // equal); it becomes that key's holder.
        for (int r = 0; r < Count(); ++r) {
            if (r != row && m_items[size_t(r)].key == old) {
                m_index.insert(old, r);
                break;
            }
        }
    }
    const int holder = m_index.value(key, -1);
    if (holder < 0 || holder > row)
        m_index.insert(key, row);
    EmitCells(row, NameColumn, NameColumn, {KeyRole});
}

void DownloadListModel::SetReferrer(int row, const QString &referrer) {
    if (row < 0 || row >= Count())
        return;
    DownloadItem item = Item(row);
    item.referrer = referrer;
    SetItem(row, item);
}

void DownloadListModel::RequeueItem(int row) {
    if (row < 0 || row >= Count())
        return;
    DownloadItem item = Item(row);
    item.state = ItemState::Waiting;
    item.size.clear();
    item.received.clear();
    item.percent.clear();
    item.result.clear();
    SetItem(row, item);
}

QString DownloadListModel::ItemFilePath(int row) const {
    return row < 0 || row >= Count() ? QString() : dh::ItemFilePath(Item(row));
}

bool DownloadListModel::检测是否下载列表完毕() const {
    return CountInState(ItemState::Waiting) == 0 && CountInState(ItemState::Downloading) == 0;
}

QString DownloadListModel::StatusSummary() const {
    return QStringLiteral("总数:%1 正在下载:%2 等待:%3 已完成:%4 失败:%5")
        .arg(Count())
        .arg(CountInState(ItemState::Downloading))
        .arg(CountInState(ItemState::Waiting))
        .arg(CountInState(ItemState::Done))
        .arg(CountInState(ItemState::Failed));
}

void DownloadListModel::ClickSort(int column) {
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortOrder = m_sortOrder == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
    sort(column, m_sortOrder);
}

void DownloadListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;

    const size_t n = m_items.size();
    const bool numeric = column == SizeColumn || column == ReceivedColumn || column == PercentColumn;
    std::vector<SortKey> keys(n);
    for (size_t i = 0; i < n; ++i)
        keys[i] = MakeKey(ColumnText(m_items[i], column), numeric, column == PercentColumn);
    std::vector<int> rows(n);
    std::iota(rows.begin(), rows.end(), 0);
    const bool ascending = order == Qt::AscendingOrder;
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        return ascending ? keys[size_t(a)] < keys[size_t(b)] : keys[size_t(b)] < keys[size_t(a)];
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<DownloadItem> sorted;
    sorted.reserve(n);
    std::vector<int> newRow(n);
    for (size_t i = 0; i < n; ++i) {
        sorted.push_back(std::move(m_items[size_t(rows[i])]));
        newRow[size_t(rows[i])] = int(i);
    }
    m_items = std::move(sorted);
    RebuildIndex();

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after.append(index(newRow[size_t(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int DownloadListModel::RemoveRowsIf(const std::function<bool(int, const DownloadItem &)> &predicate) {
    std::vector<DownloadItem> kept;
    kept.reserve(m_items.size());
    for (int row = 0; row < Count(); ++row) {
        DownloadItem &item = m_items[size_t(row)];
        if (!predicate(row, item))
            kept.push_back(item);
        else
            DropPartial(item);
    }
    const int removed = Count() - int(kept.size());
    if (removed == 0)
        return 0;
    beginResetModel();
    m_items = std::move(kept);
    RebuildIndex();
    ResetCounts();
    endResetModel();
    return removed;
}

int DownloadListModel::EditRows(const std::function<bool(int, DownloadItem &)> &edit) {
    int changed = 0;
    int first = -1;
    int last = -1;
    bool keys = false;
    for (int row = 0; row < Count(); ++row) {
        DownloadItem &item = m_items[size_t(row)];
        const QString key = item.key;
        if (!edit(row, item))
            continue;
        ++changed;
        keys = keys || item.key != key;
        if (first < 0)
            first = row;
        last = row;
    }
    if (changed == 0)
        return 0;
    if (keys)
        RebuildIndex();
    ResetCounts();
    emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    return changed;
}

void DownloadListModel::Reorder(const std::vector<int> &order) {
    if (order.size() != m_items.size())
        return;
    std::vector<DownloadItem> moved;
    moved.reserve(m_items.size());
    for (const int row : order)
        moved.push_back(std::move(m_items[size_t(row)]));
    beginResetModel();
    m_items = std::move(moved);
    RebuildIndex();
    endResetModel();
}

void DownloadListModel::Clear() {
    RemoveRowsIf([](int, const DownloadItem &) { return true; });
}

} // namespace dh
