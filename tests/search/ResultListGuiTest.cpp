#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <gtest/gtest.h>

namespace dh
{
namespace
{

class ResultListGui : public ::testing::Test
{
protected:
    void SetUp() override { Messages::Clear(); }
    void TearDown() override { Messages::Clear(); }

    void add(const QString &title, const QString &state = {})
    {
        const QString key = QStringLiteral("http://docs.example/%1").arg(m_added++);
        panel.model()->AddImported(key, title, QStringLiteral("PDF"), state, {});
        panel.model()->Flush();
    }
    void run(const char *actionName)
    {
        QMenu *menu = panel.findChild<QMenu *>(QStringLiteral("menu清除"));
        ASSERT_NE(menu, nullptr);
        auto *action = menu->findChild<QAction *>(QString::fromUtf8(actionName));
        ASSERT_NE(action, nullptr) << actionName;
        ASSERT_TRUE(menu->actions().contains(action));
        action->trigger();
    }
    QStringList titles() const
    {
        QStringList out;
        for (int i = 0; i < panel.model()->Count(); ++i)
            out << panel.model()->Title(i);
        return out;
    }
    QString label() const { return panel.findChild<QLabel *>(QStringLiteral("Label1"))->text(); }
    QTreeView *list() const { return panel.findChild<QTreeView *>(QStringLiteral("ListView1")); }
    void selectAll() { list()->selectAll(); }
    int selectedRows() const { return int(list()->selectionModel()->selectedRows().size()); }

    ResultListPanel panel;
    int m_added = 0;
};

TEST_F(ResultListGui, MenuCarriesTheCommandsInOrder)
{
    QMenu *menu = panel.findChild<QMenu *>(QStringLiteral("menu清除"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("清除(&C)"));
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text();
    EXPECT_EQ(texts,
              (QStringList{QStringLiteral("清除选中项"), QStringLiteral("清除分析成功项"),
                           QStringLiteral("清除标题含指定字符项"), QStringLiteral("清除标题不含指定字符项"),
                           QStringLiteral("清除小于等于指定字符数目的项"), QStringLiteral("清空全部"),
                           QStringLiteral("选中含日文项"), QStringLiteral("选中含繁体中文项"),
                           QStringLiteral("全部繁体转为简体")}));
    EXPECT_EQ(list()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list()->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(ResultListGui, RemoveByTitleTextIgnoresCase)
{
    add(QStringLiteral("a pdf guide"));
    add(QStringLiteral("notes"));
    Messages::QueueAnswer(QStringLiteral("PDF"));
    run("menu清除标题含指定字符项");
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("请输入指定字符："));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("notes")});
    EXPECT_EQ(label(), QStringLiteral("1"));

    add(QStringLiteral("Report NOTES"));
    add(QStringLiteral("other"));
    Messages::QueueAnswer(QStringLiteral("notes"));
    run("menu清除标题不含指定字符项");
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("notes"), QStringLiteral("Report NOTES")}));

    // Cancel (empty answer) ends the command.
    run("menu清除标题含指定字符项");
    EXPECT_EQ(titles().size(), 2);
}

TEST_F(ResultListGui, RemoveShortTitles)
{
    add(QStringLiteral("abcde"));
    add(QStringLiteral("abcdef"));
    add(QStringLiteral("ab"));
    Messages::QueueAnswer(QStringLiteral("abc"));
    run("menu清除小于等于指定字符数目的项");
    EXPECT_EQ(Messages::Last()->text,
              QStringLiteral("请输入字符数目,文件名称的字符数小于等于这个数目将被清除："));
    EXPECT_EQ(Messages::Last()->title, QStringLiteral("清除小于等于指定字符数目的项"));
    EXPECT_EQ(titles().size(), 3);
    Messages::QueueAnswer(QStringLiteral("-1"));
    run("menu清除小于等于指定字符数目的项");
    EXPECT_EQ(titles().size(), 3);
    Messages::QueueAnswer(QStringLiteral(" 5 "));
    run("menu清除小于等于指定字符数目的项");
    EXPECT_EQ(titles(), QStringList{QStringLiteral("abcdef")});
    EXPECT_EQ(label(), QStringLiteral("1"));
}

TEST_F(ResultListGui, RemoveSelectedAndAnalysed)
{
    for (const char *t : {"a", "b", "c", "d", "e"})
        add(QString::fromUtf8(t),
            QString::fromUtf8(t) == QStringLiteral("d") ? AnalysisState::Success : QString());
    auto *selection = list()->selectionModel();
    selection->select(panel.model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(panel.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(panel.model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    run("menu清除选中项");
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("a"), QStringLiteral("d")}));
    run("menu清除分析成功项");
    EXPECT_EQ(titles(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(label(), QStringLiteral("1"));
    EXPECT_TRUE(Messages::Shown().isEmpty()); // these two ask and report nothing
}

TEST_F(ResultListGui, ClearAllAsksFirst)
{
    add(QStringLiteral("a"));
    add(QStringLiteral("b"));
    Messages::QueueAnswer(QStringLiteral("no"));
    run("menu清空全部");
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("您确定要清空辛辛苦苦搜索的列表数据吗？"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Question);
    EXPECT_EQ(titles().size(), 2);
    Messages::QueueAnswer(QStringLiteral("yes"));
    run("menu清空全部");
    EXPECT_EQ(panel.model()->Count(), 0);
    EXPECT_EQ(label(), QStringLiteral("0"));
}

TEST_F(ResultListGui, SelectByScript)
{
    add(QStringLiteral("中文资料"));
    add(QStringLiteral("機器學習"));
    add(QStringLiteral("plain"));
    selectAll();
    run("menu选中含日文项");
    EXPECT_EQ(selectedRows(), 0);
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("选中条数：0"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Information);

    add(QStringLiteral("ファイル"));
    run("menu选中含日文项");
    ASSERT_EQ(selectedRows(), 1);
    EXPECT_TRUE(list()->selectionModel()->isRowSelected(3, {}));

    panel.SetAnalysisRunning(true); // select and convert still run
    run("menu选中含繁体中文项");
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("选中条数：1"));
    EXPECT_TRUE(list()->selectionModel()->isRowSelected(1, {}));
    EXPECT_FALSE(list()->selectionModel()->isRowSelected(3, {}));

    run("menu全部繁体转为简体");
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("全部繁体转简体完成！"));
    EXPECT_EQ(panel.model()->Title(1), QStringLiteral("机器学习"));
    EXPECT_EQ(panel.model()->Key(1), QStringLiteral("http://docs.example/1"));
}

TEST_F(ResultListGui, AnalysisBlocksEveryRemovingCommand)
{
    add(QStringLiteral("a pdf guide"), AnalysisState::Success);
    selectAll();
    panel.setProperty("analysisRunning", true);
    for (const char *name :
         {"menu清除选中项", "menu清除分析成功项", "menu清除标题含指定字符项", "menu清除标题不含指定字符项",
          "menu清除小于等于指定字符数目的项", "menu清空全部"}) {
        SCOPED_TRACE(name);
        Messages::Clear();
        Messages::QueueAnswer(QStringLiteral("yes"));
        run(name);
        ASSERT_EQ(Messages::Shown().size(), 1); // no prompt before the refusal
        EXPECT_EQ(Messages::Last()->text, QStringLiteral("正在分析，不能清除！"));
        EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    }
    EXPECT_EQ(panel.model()->Count(), 1);
}

TEST_F(ResultListGui, EmptyListStillAsksForTheArgument)
{
    for (const char *name :
         {"menu清除标题含指定字符项", "menu清除标题不含指定字符项", "menu清除小于等于指定字符数目的项"}) {
        SCOPED_TRACE(name);
        Messages::Clear();
        Messages::QueueAnswer(QStringLiteral("x"));
        run(name);
        ASSERT_EQ(Messages::Shown().size(), 1);
        EXPECT_EQ(Messages::Last()->icon, MsgIcon::None); // the input box, nothing after it
    }
    Messages::Clear();
    run("menu清除选中项");
    run("menu清除分析成功项");
    EXPECT_TRUE(Messages::Shown().isEmpty());
    EXPECT_EQ(label(), QStringLiteral("0"));
}

TEST_F(ResultListGui, CountFollowsAddsAndRightPressOpensTheMenu)
{
    panel.model()->加入LV1(QStringLiteral("t"), QStringLiteral("http://a"), {}, {}, {}, {});
    panel.model()->加入LV1(QStringLiteral("t"), QStringLiteral("http://a"), {}, {}, {}, {});
    // The label follows within a moment, not per row.
    EXPECT_TRUE(WaitUntil([&] { return label() == QStringLiteral("1"); }, 3000));

    panel.resize(400, 300);
    panel.show();
    QMenu *menu = panel.clearMenu();
    ASSERT_FALSE(menu->isVisible());
    const QPoint at(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, list()->viewport()->mapToGlobal(at), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &press);
    EXPECT_TRUE(menu->isVisible());
    menu->close();
    panel.hide();
}

} // namespace
} // namespace dh
