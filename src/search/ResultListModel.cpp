#include "search/ResultListModel.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace dh
{
namespace
{
// Beyond this many separate blocks a removal resets the model instead: each
// grouped removal shifts the rows behind it and renumbers the key index, so
// many blocks would be quadratic.
constexpr int kMaxGroupedRemovals = 8;
// New rows reach the view about ten times a second.
constexpr int kFlushIntervalMs = 100;

const ResultRow &emptyRow()
{
    static const ResultRow row;
    return row;
}
} // namespace

int WholeNumberOrZero(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return 0;
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    return int(std::trunc(std::clamp(value, kMin, kMax)));
}

ResultListModel::ResultListModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &ResultListModel::Flush);
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

void ResultListModel::Reserve(qsizetype rows)
{
    m_rows.reserve(rows);
    m_index.reserve(rows);
}

void ResultListModel::Flush()
{
    m_flushTimer->stop();
    if (m_shown >= m_rows.size())
        return;
    beginInsertRows({}, m_shown, int(m_rows.size()) - 1);
    m_shown = int(m_rows.size());
    endInsertRows();
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    const ResultRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case TitleColumn:
            return row.title;
        case TypeColumn:
            return row.type;
        case StateColumn:
            return row.state;
        case FolderColumn:
            return row.folder;
        case LastColumn:
            return row.last;
        default:
            return {};
        }
    case KeyRole:
        return row.key;
    case TagRole:
        return row.tag;
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TitleColumn:
        return QStringLiteral("标题");
    case TypeColumn:
        return QStringLiteral("类型");
    case StateColumn:
        return QStringLiteral("分析状态");
    case FolderColumn:
        return QStringLiteral("保存路径");
    case LastColumn:
        return QStringLiteral(" ");
    default:
        return {};
    }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex &index) const
{
    // Titles are never edited in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

bool ResultListModel::append(ResultRow row)
{
    // A row without an address could neither be told apart nor downloaded.
    if (row.key.isEmpty() || m_index.contains(row.key))
        return false;
    m_index.insert(row.key, int(m_rows.size()));
    m_rows.append(std::move(row));
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
    return true;
}

bool ResultListModel::加入LV1(const QString &title, const QString &url, const QString &pageAddress,
                              const QString &type, const QString &folder, const QString &lastColumn)
{
    if (!append({url, title, type, QString(), folder, lastColumn, pageAddress}))
        return false;
    if (m_sink)
        m_sink->Append(m_rows.constLast());
    return true;
}

bool ResultListModel::AddImported(const QString &key, const QString &title, const QString &type,
                                  const QString &state, const QString &folder)
{
    return append({key, title, type, state, folder, QString(), QString()});
}

ResultListModel::Prepared ResultListModel::Prepare(QList<ResultRow> rows)
{
    Prepared p;
    p.index.reserve(rows.size());
    p.rows.reserve(rows.size());
    for (ResultRow &row : rows) {
        if (row.key.isEmpty() || p.index.contains(row.key))
            continue;
        p.index.insert(row.key, int(p.rows.size()));
        p.rows.append(std::move(row));
    }
    return p;
}

int ResultListModel::AddPrepared(Prepared prepared)
{
    if (!m_rows.isEmpty()) {
        Reserve(m_rows.size() + prepared.rows.size());
        int added = 0;
        for (ResultRow &row : prepared.rows)
            added += append(std::move(row)) ? 1 : 0;
        return added;
    }
    m_rows = std::move(prepared.rows);
    m_index = std::move(prepared.index);
    if (!m_rows.isEmpty() && !m_flushTimer->isActive())
        m_flushTimer->start();
    return int(m_rows.size());
}

const ResultRow &ResultListModel::Row(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : emptyRow();
}

void ResultListModel::SetState(int row, const QString &state)
{
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).state == state)
        return;
    m_rows[row].state = state;
    if (row >= m_shown)
        return;
    const QModelIndex cell = index(row, StateColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void ResultListModel::SetTitle(int row, const QString &title)
{
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).title == title)
        return;
    m_rows[row].title = title;
    if (row >= m_shown)
        return;
    const QModelIndex cell = index(row, TitleColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void ResultListModel::TransformTitles(const std::function<QString(const QString &)> &transform)
{
    if (m_rows.isEmpty())
        return;
    Flush();
    for (ResultRow &row : m_rows)
        row.title = transform(row.title);
    emit dataChanged(index(0, TitleColumn), index(int(m_rows.size()) - 1, TitleColumn), {Qt::DisplayRole});
}

int ResultListModel::RemoveIf(const std::function<bool(int row, const ResultRow &)> &test)
{
    Flush();
    // Ask the test once per row, then collect the blocks of rows to remove.
    std::vector<bool> remove(m_rows.size());
    QList<std::pair<int, int>> blocks; // first, last
    for (int i = 0; i < m_rows.size(); ++i) {
        if (!test(i, m_rows.at(i)))
            continue;
        remove[i] = true;
        if (!blocks.isEmpty() && blocks.last().second == i - 1)
            blocks.last().second = i;
        else
            blocks.append({i, i});
    }
    if (blocks.isEmpty())
        return 0;

    int removed = 0;
    if (blocks.size() <= kMaxGroupedRemovals) {
        // From the back, so that the row numbers of the earlier blocks stay valid;
        // the view keeps its selection and scroll position.
        for (auto it = blocks.crbegin(); it != blocks.crend(); ++it) {
            const int n = it->second - it->first + 1;
            beginRemoveRows({}, it->first, it->second);
            m_rows.remove(it->first, n);
            m_shown = int(m_rows.size());
            rebuildIndex(); // slots of the signal may look keys up
            endRemoveRows();
            removed += n;
        }
    } else {
        beginResetModel();
        QList<ResultRow> kept;
        kept.reserve(m_rows.size());
        for (int i = 0; i < m_rows.size(); ++i) {
            if (remove[i])
                ++removed;
            else
                kept.append(std::move(m_rows[i]));
        }
        m_rows = std::move(kept);
        m_shown = int(m_rows.size());
        rebuildIndex();
        endResetModel();
    }
    return removed;
}

void ResultListModel::Clear()
{
    if (m_rows.isEmpty())
        return;
    m_flushTimer->stop();
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    m_shown = 0;
    endResetModel();
}

void ResultListModel::rebuildIndex()
{
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_index.insert(m_rows.at(i).key, i);
}

} // namespace dh
