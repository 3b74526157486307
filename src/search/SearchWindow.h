#pragma once
// A search window (fWebSearch for the web engine, fWebSearch2 for the scholar
// engine): the controls, menus, timers and life cycle around the batch driver.
#include "search/QueryBuilder.h"
#include "search/SearchDriver.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class QWidget;

namespace dh {

class BrowserView;
class AutoSaveList;
class ResultListPanel;
struct ResultRow;

struct EngineConfig {
    Engine engine = Engine::Web;
    QString name; // window and settings section name
    QString caption;
    QString defaultDelay;   // "30" / "3"
    QString autoSaveSuffix; // "_1.hvls" / "_2.hvls"
    QString homeOfficialText;
    QString homeMirrorText;
    QString otherWindow; // the other search window's name
    static EngineConfig For(Engine engine);
};

class SearchWindow : public QMainWindow, private SearchHost {
    Q_OBJECT
public:
    // `view` may be a fake for tests; without one the real browser view is made.
    explicit SearchWindow(Engine engine, BrowserView *view = nullptr, QWidget *parent = nullptr);
    ~SearchWindow() override;

    SearchDriver *Driver() const { return m_driver; }
    ResultListPanel *ListPanel() const { return m_list; }
    BrowserView *View() const { return m_view; }
    QString AutoSavePath() const { return m_autoSavePath; }
    QString MirrorBase() const { return m_mirrorBase; }
    QString CurrentBase() const { return m_currentBase; }
    bool AnalysisRunning() const { return !m_analysisStop; }

    // Analysis entries of the "加入" menu.
    enum class AnalysisSet { Unanalysed, Failed, Selected, All };
    void RunAnalysis(AnalysisSet set);
    void ImportListFile(const QString &path); // Command7 after the file choice

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // SearchHost
    int DelaySeconds() const override;
    ExtractOptions ExtractionOptions() const override;
    QString ChooseBase() override;
    QStringList KeywordGroups() const override;
    QStringList Types() const override;
    QString BuildUrl(const QString &base, const QString &group, const QString &type) const override;
    bool PromptForSaveLocation() const override;
    void ShowSaveLocationDialog() override;
    void AddRow(const QString &title, const QString &url, const QString &pageAddress, const QString &type,
                const QString &folder, const QString &lastColumn) override;
    void RowsChanged() override;
    void FitColumns() override;
    QString DefaultFolder() const override;
    void PageNote(const QString &text) override;

    void buildControls();
    void buildMenus();
    void loadWindow();
    void takeMirrorBase();
    void savePageSource();
    void openAddress();
    void analyseClicked();
    void autoAnalysisClicked();
    void importClicked();
    void checkImportedFolders(QList<ResultRow> &rows);
    void showProgressPanel(const QString &text, bool showStop);
    void hideProgressPanel();
    void timer2Tick();

    struct ImportJob;
    std::shared_ptr<ImportJob> m_import; // the list file being read, if any

    EngineConfig m_config;
    BrowserView *m_view = nullptr;
    SearchDriver *m_driver = nullptr;
    ResultListPanel *m_list = nullptr;
    std::unique_ptr<AutoSaveList> m_listFile;
    QString m_autoSavePath;
    bool m_autoSave = false;
    bool m_analysisStop = true;
    int m_cacheTicks = 0;

    QString m_officialBase;
    QString m_mirrorBase;
    QString m_currentBase;

    QRadioButton *m_option6 = nullptr;
    QRadioButton *m_option7 = nullptr;
    QLineEdit *m_text3 = nullptr;
    QPlainTextEdit *m_text1 = nullptr;
    QPlainTextEdit *m_text2 = nullptr;
    QCheckBox *m_typeChecks[5] = {};
    QCheckBox *m_check4 = nullptr;
    QCheckBox *m_check6 = nullptr;
    QRadioButton *m_timeOptions[5] = {};
    QComboBox *m_combo1 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QCheckBox *m_check2 = nullptr;
    QCheckBox *m_check5 = nullptr;
    QCheckBox *m_check7 = nullptr;
    QCheckBox *m_check12 = nullptr;
    QCheckBox *m_check13 = nullptr;
    QCheckBox *m_check14 = nullptr;
    QCheckBox *m_check15 = nullptr;
    QCheckBox *m_check16 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command5 = nullptr;
    QPushButton *m_command7 = nullptr;
    QPushButton *m_command9 = nullptr;
    QWidget *m_progressPanel = nullptr;
    QLabel *m_label11 = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_statusPanel2 = nullptr;
    QLabel *m_statusNote = nullptr;
    QMenu *m_addMenu = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
};

} // namespace dh
