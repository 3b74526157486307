#include "search/ResultListPanel.h"

#include "search/ResultListModel.h"
#include "util/ChineseScript.h"
#include "util/DesktopHelpers.h"
#include "util/ListColumns.h"
#include "util/Messages.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include <vector>

namespace dh
{
namespace
{
constexpr int kStripeRowHeight = 13;

const QString kBusyText = QStringLiteral("正在分析，不能清除！");
} // namespace

ResultListPanel::ResultListPanel(QWidget *parent) : QWidget(parent)
{
    m_model = new ResultListModel(this);

    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("ListView1"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->header()->setStretchLastSection(true);
    m_view->viewport()->installEventFilter(this);

    m_count = new QLabel(QStringLiteral("0"), this);
    m_count->setObjectName(QStringLiteral("Label1"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_count);

    m_menu = new QMenu(QStringLiteral("清除(&C)"), this);
    m_menu->setObjectName(QStringLiteral("menu清除"));
    addCommand(QStringLiteral("menu清除选中项"), QStringLiteral("清除选中项"), &ResultListPanel::清除选中项);
    addCommand(QStringLiteral("menu清除分析成功项"), QStringLiteral("清除分析成功项"),
               &ResultListPanel::清除分析成功项);
    addCommand(QStringLiteral("menu清除标题含指定字符项"), QStringLiteral("清除标题含指定字符项"),
               &ResultListPanel::清除标题含指定字符项);
    addCommand(QStringLiteral("menu清除标题不含指定字符项"), QStringLiteral("清除标题不含指定字符项"),
               &ResultListPanel::清除标题不含指定字符项);
    addCommand(QStringLiteral("menu清除小于等于指定字符数目的项"),
               QStringLiteral("清除小于等于指定字符数目的项"),
               &ResultListPanel::清除小于等于指定字符数目的项);
    addCommand(QStringLiteral("menu清空全部"), QStringLiteral("清空全部"), &ResultListPanel::清空全部);
    addCommand(QStringLiteral("menu选中含日文项"), QStringLiteral("选中含日文项"),
               &ResultListPanel::选中含日文项);
    addCommand(QStringLiteral("menu选中含繁体中文项"), QStringLiteral("选中含繁体中文项"),
               &ResultListPanel::选中含繁体中文项);
    addCommand(QStringLiteral("menu全部繁体转为简体"), QStringLiteral("全部繁体转为简体"),
               &ResultListPanel::全部繁体转为简体);

    // The count follows every change of the row set, whoever made it.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ResultListPanel::UpdateCount);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ResultListPanel::UpdateCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultListPanel::UpdateCount);
}

QAction *ResultListPanel::addCommand(const QString &name, const QString &text,
                                     void (ResultListPanel::*command)())
{
    QAction *action = m_menu->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
    return action;
}

void ResultListPanel::UpdateCount()
{
    m_model->Flush();
    m_count->setText(QString::number(m_model->Count()));
}

void ResultListPanel::AutoSizeColumns()
{
    dh::AutoSizeColumns(m_view, ColumnWidth::FitHeaderAndContents);
}

void ResultListPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    StripeListRows(m_view, kStripeRowHeight);
}

bool ResultListPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            m_menu->popup(mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

bool ResultListPanel::refuseWhileAnalysing()
{
    if (!m_analysisRunning)
        return false;
    Messages::Show(this, kBusyText, MsgIcon::Error);
    return true;
}

void ResultListPanel::清除选中项()
{
    if (refuseWhileAnalysing())
        return;
    std::vector<bool> selected(m_model->Count());
    const QItemSelection selection = m_view->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int row = range.top(); row <= range.bottom() && row < int(selected.size()); ++row)
            selected[row] = true;
    }
    m_model->RemoveIf([&selected](int row, const ResultRow &) { return selected[row]; });
    UpdateCount();
}

void ResultListPanel::清除分析成功项()
{
    if (refuseWhileAnalysing())
        return;
    m_model->RemoveIf([](int, const ResultRow &row) { return row.state == AnalysisState::Success; });
    UpdateCount();
}

void ResultListPanel::removeTitles(bool containing)
{
    if (refuseWhileAnalysing())
        return;
    const QString text = Messages::Input(this, QStringLiteral("请输入指定字符："));
    if (text.isEmpty())
        return;
    m_model->RemoveIf([&text, containing](int, const ResultRow &row) {
        return row.title.contains(text, Qt::CaseInsensitive) == containing;
    });
    UpdateCount();
}

void ResultListPanel::清除标题含指定字符项()
{
    removeTitles(true);
}

void ResultListPanel::清除标题不含指定字符项()
{
    removeTitles(false);
}

void ResultListPanel::清除小于等于指定字符数目的项()
{
    if (refuseWhileAnalysing())
        return;
    const QString answer =
        Messages::Input(this, QStringLiteral("请输入字符数目,文件名称的字符数小于等于这个数目将被清除："),
                        QStringLiteral("清除小于等于指定字符数目的项"), QStringLiteral("5"));
    const int limit = WholeNumberOrZero(answer);
    if (limit <= 0)
        return;
    m_model->RemoveIf([limit](int, const ResultRow &row) { return row.title.size() <= limit; });
    UpdateCount();
}

void ResultListPanel::清空全部()
{
    if (refuseWhileAnalysing())
        return;
    if (!Messages::Ask(this, QStringLiteral("您确定要清空辛辛苦苦搜索的列表数据吗？"), MsgIcon::Question))
        return;
    m_model->Clear();
    UpdateCount();
}

void ResultListPanel::selectWhere(bool (*test)(const QString &title))
{
    // One selection built from blocks of matching rows; rows that do not match
    // end up deselected.
    m_model->Flush();
    QItemSelection selection;
    const int last = ResultListModel::ColumnCount - 1;
    int count = 0;
    int blockStart = -1;
    const int rows = m_model->Count();
    for (int row = 0; row <= rows; ++row) {
        const bool match = row < rows && test(m_model->Title(row));
        if (match) {
            ++count;
            if (blockStart < 0)
                blockStart = row;
        } else if (blockStart >= 0) {
            selection.select(m_model->index(blockStart, 0), m_model->index(row - 1, last));
            blockStart = -1;
        }
    }
    m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_view->viewport()->update();
    Messages::Show(this, QStringLiteral("选中条数：") + QString::number(count), MsgIcon::Information);
}

void ResultListPanel::选中含日文项()
{
    selectWhere(&HasKana);
}

void ResultListPanel::选中含繁体中文项()
{
    selectWhere(&HasTraditionalChinese);
}

void ResultListPanel::全部繁体转为简体()
{
    m_model->TransformTitles(&ToSimplifiedChinese);
    m_view->viewport()->update();
    Messages::Show(this, QStringLiteral("全部繁体转简体完成！"), MsgIcon::Information);
}

} // namespace dh
