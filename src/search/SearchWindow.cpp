#include "search/SearchWindow.h"

#include "about/PublisherLinks.h"
#include "download/SaveNaming.h"
#include "net/BrowserView.h"
#include "net/WebBrowserView.h"
#include "search/ListFile.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "tools/FolderHistory.h"
#include "tools/SaveLocationDialog.h"
#include "util/AppInfo.h"
#include "util/Clock.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/TextCoding.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <thread>

namespace dh {

namespace {
const QString kBatchStart = QStringLiteral("开始批量搜索提取");
const QString kBatchStop = QStringLiteral("停止批量搜索");
const QString kAddAllStart = QStringLiteral("加入全部到列表");
const QString kAddAllStop = QStringLiteral("停止加入全部");
const QString kRunningStyle = QStringLiteral("background-color: rgb(255, 0, 0);");
const QString kMirrorDirectory = QStringLiteral("https://mirror.example.org/list.html");
const QString kSucceeded = QStringLiteral("成功");
const QString kFailed = QStringLiteral("分析失败");

} // namespace

// A list file read on a thread of its own: a file whose table never ends (a
// recursive view) or a slow disk must not hold the window, and 停止 ends it.
struct SearchWindow::ImportJob {
    ResultListModel::Prepared rows;
    ListFileStatus status;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
};

EngineConfig EngineConfig::For(Engine engine) {
    EngineConfig c;
    c.engine = engine;
    if (engine == Engine::Web) {
        c.name = QStringLiteral("fWebSearch");
        c.caption = QStringLiteral("谷歌网页搜索分析");
        c.defaultDelay = QStringLiteral("30");
        c.autoSaveSuffix = QStringLiteral("_1.hvls");
        c.homeOfficialText = QStringLiteral("打开谷歌网页搜索(官网)");
        c.homeMirrorText = QStringLiteral("打开谷歌网页搜索(镜像)");
        c.otherWindow = QStringLiteral("fWebSearch2");
    } else {
        c.name = QStringLiteral("fWebSearch2");
        c.caption = QStringLiteral("谷歌学术搜索分析");
        c.defaultDelay = QStringLiteral("3");
        c.autoSaveSuffix = QStringLiteral("_2.hvls");
        c.homeOfficialText = QStringLiteral("打开谷歌学术搜索首页(官网)");
        c.homeMirrorText = QStringLiteral("打开谷歌学术搜索首页(镜像)");
        c.otherWindow = QStringLiteral("fWebSearch");
    }
    return c;
}

SearchWindow::SearchWindow(Engine engine, BrowserView *view, QWidget *parent)
    : QMainWindow(parent), m_config(EngineConfig::For(engine)), m_view(view) {
    setObjectName(m_config.name);
    setAttribute(Qt::WA_DeleteOnClose);
    if (!m_view)
        m_view = new WebBrowserView(this);
    else
        m_view->setParent(this);
    m_driver = new SearchDriver(m_view, this, this);
    buildControls();
    buildMenus();
    loadWindow();
}

SearchWindow::~SearchWindow() = default;

void SearchWindow::buildControls() {
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *outer = new QHBoxLayout(central);
    auto *splitter = Named(new QSplitter(Qt::Horizontal, central), "Splitter1");
    outer->addWidget(splitter);

    // Left: the query and the controls of the run.
    auto *left = new QWidget(splitter);
    auto *form = new QVBoxLayout(left);
    m_option6 = Named(new QRadioButton(QStringLiteral("谷歌官方网站【需要翻墙】"), left), "Option6");
    m_option7 = Named(new QRadioButton(QStringLiteral("镜像网站完整网址：【无需翻墙】"), left), "Option7");
    m_option6->setChecked(true);
    m_text3 = Named(new QLineEdit(left), "Text3");
    m_text3->installEventFilter(this);
    form->addWidget(m_option6);
    form->addWidget(m_option7);
    form->addWidget(m_text3);
    form->addWidget(Named(new QLabel(QStringLiteral("每行一组关键词："), left), "Label3"));
    m_text1 = Named(new QPlainTextEdit(left), "Text1");
    form->addWidget(m_text1, 2);

    auto *types = new QHBoxLayout;
    const char *typeNames[5] = {"Check3", "Check8", "Check9", "Check10", "Check11"};
    const char *typeWords[5] = {"pdf", "doc", "ppt", "xls", "rtf"};
    for (int i = 0; i < 5; ++i) {
        m_typeChecks[i] = Named(new QCheckBox(QString::fromUtf8(typeWords[i]), left), typeNames[i]);
        m_typeChecks[i]->setChecked(true);
        types->addWidget(m_typeChecks[i]);
    }
    form->addLayout(types);

    if (m_config.engine == Engine::Web) {
        m_check4 = Named(new QCheckBox(QStringLiteral("仅在标题中搜索"), left), "Check4");
        m_check6 = Named(new QCheckBox(QStringLiteral("每一组关键词作为完整关键词搜索"), left), "Check6");
        form->addWidget(m_check4);
        form->addWidget(m_check6);
        auto *times = new QHBoxLayout;
        const char *timeNames[5] = {"Option1", "Option2", "Option3", "Option4", "Option5"};
        const char *timeTexts[5] = {"全部时间", "1年内", "1月内", "1周内", "1天内"};
        auto *timeGroup = Named(new QGroupBox(left), "Frame2");
        timeGroup->setLayout(times);
        for (int i = 0; i < 5; ++i) {
            m_timeOptions[i] =
                Named(new QRadioButton(QString::fromUtf8(timeTexts[i]), timeGroup), timeNames[i]);
            times->addWidget(m_timeOptions[i]);
        }
        m_timeOptions[0]->setChecked(true);
        form->addWidget(timeGroup);
    }

    auto *delayRow = new QHBoxLayout;
    delayRow->addWidget(Named(new QLabel(QStringLiteral("限速延时："), left), "Label4"));
    m_combo1 = Named(new QComboBox(left), "Combo1");
    m_combo1->setEditable(true);
    delayRow->addWidget(m_combo1);
    delayRow->addWidget(new QLabel(QStringLiteral("秒"), left));
    form->addLayout(delayRow);

    m_check1 = Named(new QCheckBox(QStringLiteral("删除标题中的空格"), left), "Check1");
    m_check2 = Named(new QCheckBox(QStringLiteral("不添加文件类型不明的链接"), left), "Check2");
    m_check13 = Named(new QCheckBox(QStringLiteral("不添加日文的"), left), "Check13");
    m_check14 = Named(new QCheckBox(QStringLiteral("不添加繁体中文的"), left), "Check14");
    m_check15 = Named(new QCheckBox(QStringLiteral("繁体转简体"), left), "Check15");
    m_check5 = Named(new QCheckBox(QStringLiteral("禁止网页脚本对话框"), left), "Check5");
    m_check5->setChecked(true);
    m_check12 = Named(new QCheckBox(QStringLiteral("每隔10分钟自动清空IE缓存"), left), "Check12");
    m_check16 = Named(new QCheckBox(QStringLiteral("自动保存列表"), left), "Check16");
    m_check7 = Named(new QCheckBox(QStringLiteral("自动分析未分析项"), left), "Check7");
    auto *checks = new QGridLayout;
    QCheckBox *all[] = {m_check1, m_check2,  m_check13, m_check14, m_check15,
                        m_check5, m_check12, m_check16, m_check7};
    for (int i = 0; i < int(std::size(all)); ++i)
        checks->addWidget(all[i], i / 2, i % 2);
    form->addLayout(checks);

    m_command1 = Named(new QPushButton(kBatchStart, left), "Command1");
    m_command4 = Named(new QPushButton(kAddAllStart, left), "Command4");
    m_command9 = Named(new QPushButton(QStringLiteral("加入本页到列表"), left), "Command9");
    m_command3 = Named(new QPushButton(QStringLiteral("IE浏览器打开该页"), left), "Command3");
    m_command2 = Named(new QPushButton(QStringLiteral("分析下载"), left), "Command2");
    m_command7 = Named(new QPushButton(QStringLiteral("导入数据..."), left), "Command7");
    auto *buttons = new QGridLayout;
    buttons->addWidget(m_command1, 0, 0);
    buttons->addWidget(m_command4, 0, 1);
    buttons->addWidget(m_command9, 1, 0);
    buttons->addWidget(m_command3, 1, 1);
    buttons->addWidget(m_command2, 2, 0);
    buttons->addWidget(m_command7, 2, 1);
    form->addLayout(buttons);
    form->addWidget(Named(new QLabel(QStringLiteral("已经完成："), left), "Label2"));
    m_text2 = Named(new QPlainTextEdit(left), "Text2");
    m_text2->setReadOnly(true);
    form->addWidget(m_text2, 1);

    // Right: the browser over the result list.
    auto *right = Named(new QSplitter(Qt::Vertical, splitter), "Splitter2");
    if (QWidget *w = m_view->Widget()) {
        w->setObjectName(QStringLiteral("WebBrowser1"));
        w->setParent(right);
        right->addWidget(w);
    }
    auto *listHolder = new QWidget(right);
    auto *listLayout = new QGridLayout(listHolder);
    listLayout->setContentsMargins(0, 0, 0, 0);
    m_list = new ResultListPanel(listHolder);
    listLayout->addWidget(m_list, 0, 0);
    m_progressPanel = Named(new QWidget(listHolder), "PicPanPrograss");
    m_progressPanel->setAutoFillBackground(true);
    auto *panelLayout = new QVBoxLayout(m_progressPanel);
    m_label11 = Named(new QLabel(m_progressPanel), "Label11");
    m_progressBar = Named(new QProgressBar(m_progressPanel), "ProgressBar1");
    m_command5 = Named(new QPushButton(QStringLiteral("停止"), m_progressPanel), "Command5");
    panelLayout->addStretch();
    panelLayout->addWidget(m_label11, 0, Qt::AlignCenter);
    panelLayout->addWidget(m_progressBar);
    panelLayout->addWidget(m_command5, 0, Qt::AlignCenter);
    panelLayout->addStretch();
    listLayout->addWidget(m_progressPanel, 0, 0);
    m_progressPanel->hide();
    right->addWidget(listHolder);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);

    auto *bar = Named(new QStatusBar(this), "StatusBar1");
    setStatusBar(bar);
    auto *panel1 = Named(new QLabel(AppTitle(), bar), "StatusPanel1");
    m_statusPanel2 = Named(new QLabel(bar), "StatusPanel2");
    m_statusNote = Named(new QLabel(bar), "StatusPanel3");
    bar->addWidget(panel1);
    bar->addWidget(m_statusPanel2, 1);
    bar->addPermanentWidget(m_statusNote);

    m_timer1 = Named(new QTimer(this), "Timer1");
    m_timer1->setInterval(1000);
    m_timer2 = Named(new QTimer(this), "Timer2");
    m_timer2->setInterval(1000);

    // Wiring.
    connect(m_command1, &QPushButton::clicked, this, [this] { m_driver->BatchClicked(); });
    connect(m_command4, &QPushButton::clicked, this, [this] { m_driver->AddAllClicked(); });
    connect(m_command9, &QPushButton::clicked, this, [this] { m_driver->AddThisPage(); });
    connect(m_command3, &QPushButton::clicked, this, [this] { OpenWebAddress(m_view->CurrentUrl(), false); });
    connect(m_command2, &QPushButton::clicked, this, &SearchWindow::analyseClicked);
    connect(m_command5, &QPushButton::clicked, this, [this] {
        m_analysisStop = true;
        if (m_import)
            m_import->cancel = true;
    });
    connect(m_command7, &QPushButton::clicked, this, &SearchWindow::importClicked);
    connect(m_check7, &QCheckBox::clicked, this, &SearchWindow::autoAnalysisClicked);
    connect(m_check16, &QCheckBox::toggled, this, [this](bool on) { m_autoSave = on; });
    // Another search than the one a block page cut short: that place is gone.
    connect(m_text1, &QPlainTextEdit::textChanged, this, [this] { m_driver->ForgetBlockedPlace(); });
    for (QCheckBox *type : m_typeChecks)
        connect(type, &QCheckBox::toggled, this, [this] { m_driver->ForgetBlockedPlace(); });
    connect(m_check5, &QCheckBox::toggled, this, [this](bool on) { m_view->SetSilent(on); });
    connect(m_check14, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_check15->setChecked(false);
    });
    connect(m_check15, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_check14->setChecked(false);
    });
    connect(m_option7, &QRadioButton::clicked, this, &SearchWindow::takeMirrorBase);
    connect(m_timer1, &QTimer::timeout, this, [this] {
        if (m_analysisStop) // an analysis already running is not started twice
            RunAnalysis(AnalysisSet::Unanalysed);
    });
    connect(m_timer2, &QTimer::timeout, this, &SearchWindow::timer2Tick);
    connect(m_view, &BrowserView::statusTextChanged, m_statusPanel2, &QLabel::setText);
    connect(m_driver, &SearchDriver::batchButtonChanged, this, [this](bool running, bool enabled) {
        m_command1->setText(running ? kBatchStop : kBatchStart);
        m_command1->setStyleSheet(running ? kRunningStyle : QString());
        m_command1->setEnabled(enabled);
    });
    connect(m_driver, &SearchDriver::addAllButtonChanged, this, [this](bool running, bool enabled) {
        m_command4->setText(running ? kAddAllStop : kAddAllStart);
        m_command4->setStyleSheet(running ? kRunningStyle : QString());
        m_command4->setEnabled(enabled);
    });
    connect(m_driver, &SearchDriver::doneTextChanged, this, [this](const QString &text) {
        m_text2->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        m_text2->moveCursor(QTextCursor::End);
    });
}

void SearchWindow::buildMenus() {
    QMenuBar *bar = menuBar();
    auto addEntry = [this](QMenu *menu, const QString &text, const char *name, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QString::fromUtf8(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto hubEntry = [&](QMenu *menu, const QString &text, const char *name, WindowHub::Action action) {
        QAction *a = addEntry(menu, text, name, [this, action] { WindowHub::Run(action, this); });
        connect(menu, &QMenu::aboutToShow, a, [a, action] { a->setEnabled(WindowHub::Has(action)); });
        a->setEnabled(WindowHub::Has(action));
        return a;
    };

    QMenu *browse = bar->addMenu(QStringLiteral("浏览(&B)"));
    browse->setObjectName(QStringLiteral("menu浏览"));
    addEntry(browse, m_config.homeOfficialText, "menu官网",
             [this] { m_view->Navigate(OfficialHome(m_config.engine)); });
    addEntry(browse, m_config.homeMirrorText, "menu镜像", [this] { m_view->Navigate(m_mirrorBase); });
    addEntry(browse, QStringLiteral("打开指定网址"), "menu打开指定网址", &SearchWindow::openAddress);
    addEntry(browse, QStringLiteral("查找谷歌镜像网站"), "menu查找谷歌镜像网站",
             [] { OpenWebAddress(kMirrorDirectory, false); });
    browse->addSeparator();
    addEntry(browse, QStringLiteral("后退"), "menu后退", [this] { m_view->Back(); });
    addEntry(browse, QStringLiteral("前进"), "menu前进", [this] { m_view->Forward(); });
    browse->addSeparator();
    addEntry(browse, QStringLiteral("关闭本窗口"), "menu关闭本窗口", [this] { close(); });

    QMenu *tools = bar->addMenu(QStringLiteral("工具(&T)"));
    tools->setObjectName(QStringLiteral("menu工具"));
    hubEntry(tools, QStringLiteral("设置"), "menu设置", WindowHub::Action::OpenOptions);
    hubEntry(tools, QStringLiteral("打开下载窗口"), "menu打开下载窗口",
             WindowHub::Action::ShowDownloadWindow);
    addEntry(tools, QStringLiteral("网页源码保存到..."), "menu网页源码保存到", &SearchWindow::savePageSource);
    tools->addSeparator();
    hubEntry(tools, QStringLiteral("查看IE浏览器缓存"), "menu查看IE浏览器缓存",
             WindowHub::Action::OpenCacheViewer);
    addEntry(tools, QStringLiteral("清空IE浏览器缓存"), "menu清空IE浏览器缓存",
             [] { WindowHub::ClearBrowserCache(true); });

    bar->addMenu(m_list->clearMenu());

    m_addMenu = new QMenu(QStringLiteral("加入"), this);
    m_addMenu->setObjectName(QStringLiteral("menu加入"));
    addEntry(m_addMenu, QStringLiteral("分析未分析项"), "menu分析未分析项",
             [this] { RunAnalysis(AnalysisSet::Unanalysed); });
    addEntry(m_addMenu, QStringLiteral("分析失败项"), "menu分析失败项",
             [this] { RunAnalysis(AnalysisSet::Failed); });
    addEntry(m_addMenu, QStringLiteral("分析选中项"), "menu分析选中项",
             [this] { RunAnalysis(AnalysisSet::Selected); });
    addEntry(m_addMenu, QStringLiteral("分析全部"), "menu分析全部",
             [this] { RunAnalysis(AnalysisSet::All); });

    QMenu *help = bar->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("menu帮助"));
    hubEntry(help, QStringLiteral("关于(&A)"), "menu关于", WindowHub::Action::OpenAbout);
    hubEntry(help, QStringLiteral("使用说明"), "menu使用说明", WindowHub::Action::OpenUsage);
    hubEntry(help, QStringLiteral("软件权限设置方法"), "menu软件权限设置方法",
             WindowHub::Action::OpenRightsHelp);
    help->addSeparator();
    AddPublisherEntries(help);
    QAction *mail =
        addEntry(help, QStringLiteral("给软件作者建议"), "menu给软件作者建议", [] { SendSuggestionMail(); });
    mail->setEnabled(!PublisherUrl().isEmpty());
}

void SearchWindow::loadWindow() {
    setWindowTitle(DialogCaption(m_config.caption));
    setWindowIcon(QApplication::windowIcon());

    SharedValues &shared = Shared();
    shared.askSaveLocation = Settings::ReadInt(Keys::AskSaveLocation);
    shared.searchLanguage = Settings::Read(Keys::SearchLanguage);

    m_text3->setText(Settings::ReadOr(Keys::MirrorUrl, DefaultMirrorUrl(m_config.engine), m_config.name));
    takeMirrorBase();
    m_officialBase = OfficialBase(m_config.engine);

    m_view->SetSilent(true);
    m_view->Navigate(QStringLiteral("about:blank"));

    m_currentBase = Settings::Read(Keys::SearchBase, m_config.name);
    if (!m_currentBase.isEmpty())
        m_view->Navigate(m_currentBase);

    m_analysisStop = true;
    m_driver->SetStopFlags();

    m_text1->setPlainText(Settings::Read(Keys::Keywords, m_config.name));
    for (int i = 0; i <= 120; ++i)
        m_combo1->addItem(QString::number(i));
    m_combo1->setEditText(Settings::ReadOr(Keys::Delay, m_config.defaultDelay, m_config.name));

    m_check13->setChecked(Settings::ReadInt(Keys::NoJapanese, m_config.name) == 1);
    m_check14->setChecked(Settings::ReadInt(Keys::NoTraditional, m_config.name) == 1);
    m_check15->setChecked(Settings::ReadInt(Keys::ToSimplified, m_config.name) == 1);

    m_autoSavePath = dh::AutoSavePath(Clock::WallTime(), m_config.engine);
    m_listFile = std::make_unique<AutoSaveList>();
    m_listFile->open(m_autoSavePath); // without a usable file the window runs without auto-save
    m_timer2->start();
}

void SearchWindow::takeMirrorBase() {
    m_mirrorBase = 提取主网址(m_text3->text(), m_mirrorBase);
}

bool SearchWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_text3) {
        if (event->type() == QEvent::FocusIn)
            m_option7->setChecked(true);
        else if (event->type() == QEvent::FocusOut)
            takeMirrorBase();
    }
    return QMainWindow::eventFilter(watched, event);
}

void SearchWindow::closeEvent(QCloseEvent *event) {
    // isHidden, not isVisible: a window not on screen still runs its analysis or import.
    if (m_driver->BatchRunning() || m_driver->AddAllRunning() || !m_progressPanel->isHidden()) {
        Messages::Show(this, QStringLiteral("正在搜索分析，停止以后才能关闭窗口！"), MsgIcon::Error);
        event->ignore();
        return;
    }
    m_driver->SetStopFlags();
    m_analysisStop = true;
    m_timer1->stop();
    m_timer2->stop();

    const QString section = m_config.name;
    Settings::Write(Keys::Keywords, m_text1->toPlainText(), section);
    Settings::Write(Keys::Delay, m_combo1->currentText(), section);
    Settings::Write(Keys::NoJapanese, m_check13->isChecked() ? 1 : 0, section);
    Settings::Write(Keys::NoTraditional, m_check14->isChecked() ? 1 : 0, section);
    Settings::Write(Keys::ToSimplified, m_check15->isChecked() ? 1 : 0, section);
    if (!m_text3->text().startsWith(m_mirrorBase, Qt::CaseInsensitive))
        m_text3->setText(m_mirrorBase);
    Settings::Write(Keys::MirrorUrl, m_text3->text(), section);
    Settings::Write(Keys::SearchBase, m_currentBase, section);

    if (m_listFile)
        m_listFile->close();

    event->accept();
    DeleteOnCloseAfterWaits(this);
    if (!IsWindowOpen(m_config.otherWindow) && !IsWindowOpen(QStringLiteral("fFileDownload"))) {
        // This window still counts as open until it is gone; ask once it is.
        QTimer::singleShot(0, qApp, [] { WindowHub::Run(WindowHub::Action::ShowStartWindow); });
    }
}

// --- SearchHost ---------------------------------------------------------

int SearchWindow::DelaySeconds() const {
    // Any whole number of seconds the user types counts; other text means no pause.
    return std::max(0, ToIntOr(m_combo1->currentText(), 0));
}

ExtractOptions SearchWindow::ExtractionOptions() const {
    ExtractOptions o;
    o.removeTitleSpaces = m_check1->isChecked();
    o.dropUnknownType = m_check2->isChecked();
    o.noJapanese = m_check13->isChecked();
    o.noTraditional = m_check14->isChecked();
    o.toSimplified = m_check15->isChecked();
    o.scholar = m_config.engine == Engine::Scholar;
    return o;
}

QString SearchWindow::ChooseBase() {
    m_currentBase = SelectBase(m_option6->isChecked(), m_officialBase, m_mirrorBase);
    return m_currentBase;
}

QStringList SearchWindow::KeywordGroups() const {
    return SplitKeywordGroups(m_text1->toPlainText());
}

QStringList SearchWindow::Types() const {
    return TickedTypes(m_typeChecks[0]->isChecked(), m_typeChecks[1]->isChecked(),
                       m_typeChecks[2]->isChecked(), m_typeChecks[3]->isChecked(),
                       m_typeChecks[4]->isChecked());
}

QString SearchWindow::BuildUrl(const QString &base, const QString &group, const QString &type) const {
    QueryOptions o;
    if (m_config.engine == Engine::Web) {
        o.titlesOnly = m_check4->isChecked();
        o.exactPhrase = m_check6->isChecked();
        o.timeRange = 0;
        for (int i = 0; i < 5; ++i)
            if (m_timeOptions[i]->isChecked())
                o.timeRange = i + 1;
    }
    const QString language =
        Shared().searchLanguage.isEmpty() ? QStringLiteral("zh-CN") : Shared().searchLanguage;
    return BuildSearchUrl(m_config.engine, base, language, group, type, o);
}

bool SearchWindow::PromptForSaveLocation() const {
    return Shared().askSaveLocation == 1;
}

void SearchWindow::ShowSaveLocationDialog() {
    SaveLocationDialog::Ask(this);
}

void SearchWindow::AddRow(const QString &title, const QString &url, const QString &pageAddress,
                          const QString &type, const QString &folder, const QString &lastColumn) {
    if (m_list->model()->加入LV1(title, url, pageAddress, type, folder, lastColumn) && m_autoSave &&
        m_listFile)
        m_listFile->append(url, title, type, folder);
}

void SearchWindow::PageNote(const QString &text) {
    m_statusNote->setText(text);
}

void SearchWindow::RowsChanged() {
    m_list->UpdateCount();
}
void SearchWindow::FitColumns() {
    m_list->AutoSizeColumns();
}

QString SearchWindow::DefaultFolder() const {
    QString folder = Shared().downloadFolder;
    if (folder.isEmpty())
        folder = Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder());
    return folder;
}

// --- menus and buttons ----------------------------------------------------

void SearchWindow::openAddress() {
    const QString answer =
        Messages::Input(this, QStringLiteral("请输入需要打开的网址："), QStringLiteral("请输入..."));
    if (!answer.trimmed().isEmpty())
        m_view->Navigate(answer.trimmed());
}

void SearchWindow::savePageSource() {
    const QString html = m_view->Snapshot().html;
    if (html.isEmpty())
        return;
    const QString path = Messages::SaveFile(this, QStringLiteral("*.htm (*.htm)"), QStringLiteral("htm"));
    if (path.isEmpty())
        return;
#ifdef Q_OS_WIN
    const QByteArray bytes = ToCp936(html);
#else
    const QByteArray bytes = html.toUtf8();
#endif
    if (const QString error = WriteWholeFile(path, bytes); !error.isEmpty()) {
        Messages::Show(this, QStringLiteral("保存文件失败：") + error, MsgIcon::Error);
        return;
    }
    const double kb = double(QFileInfo(path).size()) / 1024.0;
    Messages::Show(this,
                   QStringLiteral("保存文件完毕：") + QLocale(QLocale::English).toString(kb, 'f', 1) +
                       QStringLiteral("KB"),
                   MsgIcon::Information);
}

void SearchWindow::timer2Tick() {
    if (++m_cacheTicks >= Durations::CacheClearTicks) {
        m_cacheTicks = 0;
        if (m_check12->isChecked())
            WindowHub::ClearBrowserCache(false);
    }
}

// --- analysis and hand-off --------------------------------------------------

void SearchWindow::showProgressPanel(const QString &text, bool showStop) {
    m_label11->setText(text);
    m_command5->setVisible(showStop);
    m_progressPanel->show();
    m_progressPanel->raise();
}

void SearchWindow::hideProgressPanel() {
    m_progressPanel->hide();
}

void SearchWindow::analyseClicked() {
    m_command2->setEnabled(false);
    ResultListModel *model = m_list->model();
    if (model->Count() == 0)
        Messages::Show(this, QStringLiteral("列表没有数据哦！"), MsgIcon::Information);
    else if (!m_list->view()->selectionModel()->hasSelection())
        RunAnalysis(AnalysisSet::All);
    else
        m_addMenu->popup(QCursor::pos());
    m_command2->setEnabled(true);
}

void SearchWindow::RunAnalysis(AnalysisSet set) {
    showProgressPanel(QStringLiteral("正在分析,请稍候..."), true);
    m_progressBar->hide();
    m_analysisStop = false;
    m_list->SetAnalysisRunning(true);
    YieldEvents(this);

    ResultListModel *model = m_list->model();
    // Every listed row, also those the view has not been shown yet.
    const int count = model->Count();
    bool go = count > 0;
    if (go) {
        const bool automatic = set == AnalysisSet::Unanalysed && m_timer1->isActive();
        if (!automatic && !PromptForSaveLocation())
            go = SaveLocationDialog::Ask(this);
    }
    if (go) {
        const QItemSelectionModel *selection = m_list->view()->selectionModel();
        for (int row = 0; row < count && row < model->Count(); ++row) {
            const QString state = model->State(row);
            bool take = false;
            switch (set) {
            case AnalysisSet::Unanalysed:
                take = state.isEmpty();
                break;
            case AnalysisSet::Failed:
                take = state == kFailed;
                break;
            case AnalysisSet::Selected:
                take = selection->isRowSelected(row, QModelIndex());
                break;
            case AnalysisSet::All:
                take = true;
                break;
            }
            if (!take)
                continue;
            if (set != AnalysisSet::Unanalysed)
                model->SetState(row, QString());
            const bool taken = WindowHub::HandOff(
                {model->Key(row), model->Title(row), model->Type(row), model->Folder(row), model->Tag(row)});
            model->SetState(row, taken ? kSucceeded : kFailed);
            YieldEvents(this);
            if (m_analysisStop)
                break;
        }
    }
    hideProgressPanel();
    const bool stopped = m_analysisStop;
    m_analysisStop = true;
    m_list->SetAnalysisRunning(false);
    if (!stopped)
        WindowHub::ShowDownloads(false);
}

void SearchWindow::autoAnalysisClicked() {
    if (!m_check7->isChecked()) {
        m_timer1->stop();
        return;
    }
    if (!PromptForSaveLocation() && !SaveLocationDialog::Ask(this)) {
        m_timer1->stop();
        m_check7->setChecked(false);
        return;
    }
    m_timer1->start();
}

// --- list files ---------------------------------------------------------------

void SearchWindow::importClicked() {
    const QString path = Messages::OpenFile(this, QStringLiteral("*.hvls (*.hvls)"), ProgramFolder());
    if (path.isEmpty())
        return;
    ImportListFile(path);
}

namespace {
QString importErrorText(const ListFileStatus &status) {
    switch (status.error) {
    case ListFileError::NotFound:
        return QStringLiteral("文件不存在！");
    case ListFileError::NotDatabase:
        return QStringLiteral("该文件不是列表数据文件，不能导入！");
    case ListFileError::NoTable:
    case ListFileError::MissingColumns:
        return QStringLiteral("该文件中没有列表数据（导出表），不能导入！");
    case ListFileError::TooManyBytes:
        return QStringLiteral("该文件的列表数据过大，不能导入！");
    case ListFileError::TooLarge:
        return QStringLiteral("该文件的列表数据超过%1条，不能导入！").arg(MaxListRecords);
    case ListFileError::Cancelled:
        return QStringLiteral("导入已停止，列表没有改变。");
    default:
        return QStringLiteral("读取文件出错，不能导入！") + status.message;
    }
}

bool samePath(const QString &a, const QString &b) {
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return QFileInfo(a).absoluteFilePath().compare(QFileInfo(b).absoluteFilePath(), cs) == 0;
}
} // namespace

// A list file names the folders its rows are saved in. Only folders the user
// chose in this program (or folders below them) are taken as they are; for the
// others the user is asked once.
void SearchWindow::checkImportedFolders(QList<ResultRow> &rows) {
    QStringList chosen{DefaultFolder(), Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder()),
                       DefaultDownloadFolder()};
    chosen += ReadFolderHistory().value_or(QStringList());
    QList<qsizetype> strangers;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!rows[i].folder.trimmed().isEmpty() && !IsFolderWithin(rows[i].folder, chosen))
            strangers << i;
    }
    if (strangers.isEmpty())
        return;
    const QString question =
        QStringLiteral("列表文件中有%1行的保存路径不是常用文件夹（如 %2），是否改为当前保存路径？")
            .arg(strangers.size())
            .arg(QDir::toNativeSeparators(rows[strangers.first()].folder));
    if (!Messages::Ask(this, question))
        return;
    const QString folder = DefaultFolder();
    for (const qsizetype i : std::as_const(strangers))
        rows[i].folder = folder;
}

void SearchWindow::ImportListFile(const QString &path) {
    if (samePath(path, m_autoSavePath)) {
        Messages::Show(this, QStringLiteral("该文件正在使用中，不能打开！"), MsgIcon::Error);
        return;
    }
    showProgressPanel(QStringLiteral("正在导入数据文件,请稍候..."), true);
    m_progressBar->setRange(0, 0); // busy until the records are read
    m_progressBar->show();
    m_list->view()->setEnabled(false);
    auto job = std::make_shared<ImportJob>();
    m_import = job;
    // Read everything first: the file stays locked while it is read, and a
    // failed read leaves the list as it was.
    std::thread reader([job, path] {
        QList<ListRecord> records;
        job->status = ReadListFile(path, records, &job->cancel);
        if (job->status.ok()) {
            QList<ResultRow> rows;
            rows.reserve(records.size());
            for (ListRecord &r : records) {
                // Only a document type the program knows: the type names the saved file.
                QString type = IsKnownDocumentType(r.type) ? std::move(r.type) : QString();
                rows.append({std::move(r.url), std::move(r.title), std::move(type), std::move(r.state),
                             std::move(r.folder), QString(), QString()});
            }
            records = {};
            job->rows = ResultListModel::Prepare(std::move(rows));
        }
        job->done = true;
        QMetaObject::invokeMethod(
            qApp, [] {}, Qt::QueuedConnection); // wakes the wait
    });
    WaitUntil([&job] { return job->done.load(); }, -1, this);
    reader.join();
    m_import.reset();
    if (!job->status.ok()) {
        m_list->view()->setEnabled(true);
        hideProgressPanel();
        Messages::Show(this, importErrorText(job->status), MsgIcon::Error);
        return;
    }
    m_command5->hide();
    checkImportedFolders(job->rows.rows);
    const int imported = m_list->model()->AddPrepared(std::move(job->rows));
    m_progressBar->setRange(0, imported + 1);
    m_progressBar->setValue(imported + 1);
    m_list->view()->setEnabled(true);
    m_list->UpdateCount();
    hideProgressPanel();
    Messages::Show(this,
                   QStringLiteral("导入文件到列表完成，共成功导入：") + QString::number(imported) +
                       QStringLiteral("条数据。"),
                   MsgIcon::Information);
}

} // namespace dh
