#pragma once
// The result list of a search window: the list ListView1, the row count
// Label1 and the "清除(&C)" menu with its edit commands.
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QTreeView;

namespace dh
{

class ResultListModel;

class ResultListPanel : public QWidget
{
    Q_OBJECT
    // Set by the search window while an analysis runs; blocks the removing commands.
    Q_PROPERTY(bool analysisRunning READ AnalysisRunning WRITE SetAnalysisRunning)
public:
    explicit ResultListPanel(QWidget *parent = nullptr);

    ResultListModel *model() const { return m_model; }
    QTreeView *view() const { return m_view; }
    QMenu *clearMenu() const { return m_menu; }
    QLabel *countLabel() const { return m_count; }

    bool AnalysisRunning() const { return m_analysisRunning; }
    void SetAnalysisRunning(bool running) { m_analysisRunning = running; }

    void UpdateCount();
    void AutoSizeColumns();

    // The commands of the "清除(&C)" menu.
    void 清除选中项();
    void 清除分析成功项();
    void 清除标题含指定字符项();
    void 清除标题不含指定字符项();
    void 清除小于等于指定字符数目的项();
    void 清空全部();
    void 选中含日文项();
    void 选中含繁体中文项();
    void 全部繁体转为简体();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addCommand(const QString &name, const QString &text, void (ResultListPanel::*command)());
    bool refuseWhileAnalysing();
    void removeTitles(bool containing);
    void selectWhere(bool (*test)(const QString &title));

    ResultListModel *m_model = nullptr;
    QTreeView *m_view = nullptr;
    QLabel *m_count = nullptr;
    QMenu *m_menu = nullptr;
    bool m_analysisRunning = false;
};

} // namespace dh
