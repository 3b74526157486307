#pragma once
// The download window (fFileDownload): the download list and the controls
// of the scheduler's rules, bound to the scheduler that works through it.
#include "download/DownloadListModel.h"
#include "download/DownloadScheduler.h"
#include "download/ListOperations.h"
#include "download/SaveNaming.h"

#include <QMainWindow>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeView;
class QAction;

namespace dh {

class KeptList;
class WebLoginPanel;

class DownloadWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DownloadWindow(QWidget *parent = nullptr);
    ~DownloadWindow() override;

    // The one instance, or null.
    static DownloadWindow *Instance();
    static DownloadWindow *EnsureInstance();

    DownloadListModel *Model() const { return m_model; }
    QTreeView *View() const { return m_view; }
    DownloadScheduler *Scheduler() const { return m_scheduler; }
    WebLoginPanel *LoginPanel() const { return m_login; }
    KeptList *Kept() const { return m_kept; }

    void StartDownloading() { m_scheduler->StartDownloading(); }
    void StopDownloading() { m_scheduler->StopDownloading(); }
    bool IsDownloading() const { return m_scheduler->IsDownloading(); }
    bool SchedulerOn() const { return m_scheduler->SchedulerOn(); }
    bool BusyFlag() const { return m_scheduler->BusyFlag(); }
    void SchedulerTick() { m_scheduler->SchedulerTick(); }
    void SupervisorTick() { m_scheduler->SupervisorTick(); }
    SameNameRule Rule() const;
    int Method() const { return m_scheduler->Method(); }
    // Label7 and Combo1 follow; the scheduler takes it at its next tick.
    void SetMethod(int method);
    // The options dialog's method choice: Label7 and Combo1 follow it.
    void ApplyMethod(int method);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void loadWindow();
    void bindScheduler();
    // Brings back the list a closed or killed program left, when the user wants it.
    void restoreKeptList();
    QSet<quint64> runningItems() const;
    void headerClicked(int column);
    void doubleClicked(const QModelIndex &index);
    void clicked(const QModelIndex &index);
    void listMenu(const QPoint &pos);
    void updateCount();
    void openAndDetect();
    void checkAndCorrect();
    void updateMenuStates();

    // The list menu's entries.
    bool refusedWhileDownloading();
    RowFlags selectedRows() const;
    int selectedRow() const; // the current row when selected, else the topmost selected; -1: none
    void shuffle();
    void redownloadSmallerThan();
    void remove(const std::function<bool(int, const DownloadItem &)> &inSet);
    void clearAll();
    void deleteSmallerThan();
    void cancelSelected();
    void openItemFile();
    void openItemFolder();
    void openItemInNotepad();
    void copyName();
    void replaceAddresses();
    void exportNames(bool unfinishedOnly);
    void checkFilesExist();

    DownloadListModel *m_model = nullptr;
    QTreeView *m_view = nullptr;
    DownloadScheduler *m_scheduler = nullptr;

    QLabel *m_label1 = nullptr;
    QLabel *m_label7 = nullptr;
    QLabel *m_panels[5] = {}; // the fifth: the total speed
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command26 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command31 = nullptr;
    QComboBox *m_combo1 = nullptr;
    QComboBox *m_combo2 = nullptr;
    QComboBox *m_combo4 = nullptr;
    QComboBox *m_combo5 = nullptr; // transfers of one site at once
    QCheckBox *m_check3 = nullptr;
    QCheckBox *m_check4 = nullptr;
    QCheckBox *m_check5 = nullptr;
    QCheckBox *m_check6 = nullptr;
    QRadioButton *m_rules[3] = {};
    QFrame *m_shape1 = nullptr;
    QMenu *m_listMenu = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_startAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_clearAll = nullptr;
    QMenu *m_removeMenu = nullptr;
    QAction *m_follow = nullptr;
    WebLoginPanel *m_login = nullptr;
    KeptList *m_kept = nullptr;
    QSet<quint64> m_interrupted; // running when the window closed: kept as waiting
};

// Registers the download window's entries with the window hub (hand-off,
// show after an analysis, the menus' "打开下载窗口").
void RegisterDownloadWindow();

} // namespace dh
