#include "download/DownloadWindow.h"

#include "about/PublisherLinks.h"
#include "download/KeptList.h"
#include "download/PercentBarDelegate.h"
#include "download/TextViewerWindow.h"
#include "download/TypeDetection.h"
#include "download/UrlReplaceDialog.h"
#include "download/WebLoginPanel.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace dh {

namespace {
QPointer<DownloadWindow> &instance() {
    static QPointer<DownloadWindow> w;
    return w;
}
const QString kGuardText = QStringLiteral("停止下载以后，才能执行此操作！");
} // namespace

// A closed window that is only waiting to be deleted is no longer the one.
DownloadWindow *DownloadWindow::Instance() {
    return IsClosing(instance()) ? nullptr : instance();
}

DownloadWindow *DownloadWindow::EnsureInstance() {
    if (!Instance())
        instance() = new DownloadWindow;
    return instance();
}

DownloadWindow::DownloadWindow(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("fFileDownload"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_model = new DownloadListModel(this);
    m_scheduler = new DownloadScheduler(m_model, std::make_unique<NetworkTransferFactory>(), this);
    buildControls();
    buildMenus();
    bindScheduler();
    loadWindow();
    restoreKeptList();
}

// Transfers end before the list and the controls go; no event of theirs
// reaches the window afterwards. What they were doing is kept to go on.
DownloadWindow::~DownloadWindow() {
    m_interrupted.unite(runningItems());
    m_scheduler->Shutdown();
    if (m_kept)
        m_kept->Flush(m_interrupted);
}

QSet<quint64> DownloadWindow::runningItems() const {
    QSet<quint64> uids;
    if (m_model->CountInState(ItemState::Downloading) == 0)
        return uids;
    for (int row = 0; row < m_model->Count(); ++row)
        if (m_model->Item(row).state == ItemState::Downloading)
            uids.insert(m_model->Item(row).uid);
    return uids;
}

void DownloadWindow::restoreKeptList() {
    m_kept = new KeptList(ProgramFolder(), this);
    switch (m_kept->Open()) {
    case KeptList::Status::Locked:
        m_panels[1]->setText(QStringLiteral("下载列表由另一个运行中的程序保存"));
        return;
    case KeptList::Status::Failed:
        m_panels[1]->setText(QStringLiteral("下载列表无法保存到：") +
                             QDir::toNativeSeparators(m_kept->FilePath()));
        return;
    case KeptList::Status::SetAside:
        m_panels[1]->setText(QStringLiteral("保存的下载列表无法读取，已改名保留为：") +
                             QDir::toNativeSeparators(m_kept->SetAsidePath()));
        break;
    case KeptList::Status::Ready:
        break;
    }
    std::vector<DownloadItem> items = m_kept->Load();
    m_kept->Attach(m_model);
    if (items.empty())
        return;
    const int unfinished = UnfinishedCount(items);
    if (unfinished > 0 &&
        Messages::Ask(this, QStringLiteral("上次的下载列表还有%1项没有完成，是否恢复？").arg(unfinished))) {
        PrepareRestored(items);
        m_model->AddKept(std::move(items));
        updateCount();
    } else {
        m_kept->Discard(items);
    }
}

void DownloadWindow::buildControls() {
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *layout = new QVBoxLayout(central);
    auto *panel = new QGridLayout;
    layout->addLayout(panel);

    m_label7 = Named(new QLabel(central), "Label7");
    m_command26 = Named(new QPushButton(QStringLiteral("切换"), central), "Command26");
    m_command26->setToolTip(QStringLiteral("更改下载方式"));
    m_combo1 = Named(new QComboBox(central), "Combo1");
    for (int i = 1; i <= 6; ++i)
        m_combo1->addItem(QString::number(i));
    m_combo5 = Named(new QComboBox(central), "Combo5");
    for (int i = 1; i <= 6; ++i)
        m_combo5->addItem(QString::number(i));
    m_combo2 = Named(new QComboBox(central), "Combo2");
    m_combo2->setEditable(true);
    for (int i = 0; i <= 600; ++i)
        m_combo2->addItem(QString::number(i));
    m_command4 = Named(new QPushButton(QStringLiteral("开始下载"), central), "Command4");
    m_command31 = Named(new QPushButton(QStringLiteral("停止下载"), central), "Command31");
    m_check4 = Named(new QCheckBox(QStringLiteral("当有待下载项时，自动启动下载"), central), "Check4");
    m_check3 = Named(new QCheckBox(QStringLiteral("自动重新下载："), central), "Check3");
    m_combo4 = Named(new QComboBox(central), "Combo4");
    m_combo4->addItems({QStringLiteral("出错项"), QStringLiteral("文件类型为HTM和HTML项"),
                        QStringLiteral("出错项和文件类型为HTM和HTML项!")});
    m_check5 =
        Named(new QCheckBox(QStringLiteral("有5个以上下载出错或者网页文件，就停止下载"), central), "Check5");
    m_check6 = Named(new QCheckBox(QStringLiteral("声音提示"), central), "Check6");
    m_command1 = Named(new QPushButton(QStringLiteral("网页登录"), central), "Command1");
    m_shape1 = Named(new QFrame(central), "Shape1");
    m_shape1->setFixedSize(14, 14);
    m_shape1->setStyleSheet(QStringLiteral("background-color: rgb(0, 200, 0); border-radius: 7px;"));
    m_shape1->hide();
    const char *ruleNames[3] = {"Option1", "Option2", "Option3"};
    const char *ruleTexts[3] = {"跳过", "覆盖", "重命名"};
    auto *rules = new QHBoxLayout;
    rules->addWidget(new QLabel(QStringLiteral("重复文件名："), central));
    for (int i = 0; i < 3; ++i) {
        m_rules[i] = Named(new QRadioButton(QString::fromUtf8(ruleTexts[i]), central), ruleNames[i]);
        rules->addWidget(m_rules[i]);
    }
    m_label1 = Named(new QLabel(QStringLiteral("0条"), central), "Label1");

    panel->addWidget(m_label7, 0, 0);
    panel->addWidget(m_command26, 0, 1);
    panel->addWidget(new QLabel(QStringLiteral("线程数："), central), 0, 2);
    auto *threads = new QHBoxLayout;
    threads->addWidget(m_combo1);
    threads->addWidget(new QLabel(QStringLiteral("每个网站同时下载数："), central));
    threads->addWidget(m_combo5);
    panel->addLayout(threads, 0, 3);
    panel->addWidget(new QLabel(QStringLiteral("两个文件下载间隔："), central), 0, 4);
    panel->addWidget(m_combo2, 0, 5);
    panel->addWidget(new QLabel(QStringLiteral("秒"), central), 0, 6);
    panel->addWidget(m_command4, 0, 7);
    panel->addWidget(m_command31, 0, 8);
    panel->addWidget(m_shape1, 0, 9);
    panel->addWidget(m_check4, 1, 0, 1, 3);
    panel->addWidget(m_check3, 1, 3);
    panel->addWidget(m_combo4, 1, 4, 1, 2);
    panel->addWidget(m_check5, 1, 6, 1, 3);
    panel->addWidget(m_check6, 2, 0);
    panel->addWidget(m_command1, 2, 1);
    panel->addLayout(rules, 2, 4, 1, 4);
    panel->addWidget(m_label1, 2, 8);

    m_view = Named(new QTreeView(central), "ListView3");
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setToolTip(QStringLiteral("双击鼠标：下载当前项或者打开文件"));
    m_view->header()->setSectionsClickable(true);
    m_view->setItemDelegateForColumn(DownloadListModel::PercentColumn, new PercentBarDelegate(m_view));
    // The name takes the width the other columns leave.
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(DownloadListModel::NameColumn, QHeaderView::Stretch);
    // The login area opens below the list, so the user sees both.
    auto *split = new QSplitter(Qt::Vertical, central);
    split->setChildrenCollapsible(false);
    split->addWidget(m_view);
    m_login = new WebLoginPanel(split);
    split->addWidget(m_login);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);

    auto *bar = Named(new QStatusBar(this), "StatusBar1");
    setStatusBar(bar);
    const char *panelNames[5] = {"StatusPanel1", "StatusPanel2", "StatusPanel3", "StatusPanel4",
                                 "StatusPanel5"};
    for (int i = 0; i < 5; ++i) {
        m_panels[i] = Named(new QLabel(bar), panelNames[i]);
        bar->addWidget(m_panels[i], i == 1 ? 2 : 1);
    }
    m_panels[0]->setText(AppTitle());

    connect(m_command1, &QPushButton::clicked, this, [this] {
        const int row = selectedRow();
        m_login->ShowPanel(row >= 0 ? 选择url(m_model->Item(row).key) : QString());
    });
    connect(m_login, &WebLoginPanel::TitleChanged, m_panels[2], &QLabel::setText);
    connect(m_login, &WebLoginPanel::Note, m_panels[2], &QLabel::setText);
    connect(m_command26, &QPushButton::clicked, this, [this] { SetMethod(Method() == 2 ? 1 : 2); });
    connect(m_command4, &QPushButton::clicked, this, &DownloadWindow::StartDownloading);
    connect(m_command31, &QPushButton::clicked, this, &DownloadWindow::StopDownloading);
    connect(m_view->header(), &QHeaderView::sectionClicked, this, &DownloadWindow::headerClicked);
    connect(m_view, &QTreeView::doubleClicked, this, &DownloadWindow::doubleClicked);
    connect(m_view, &QTreeView::clicked, this, &DownloadWindow::clicked);
    connect(m_view, &QWidget::customContextMenuRequested, this, &DownloadWindow::listMenu);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &DownloadWindow::updateCount);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &DownloadWindow::updateCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DownloadWindow::updateCount);
}

void DownloadWindow::buildMenus() {
    auto entry = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QStringLiteral("menu") + text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    // Submenu entries share their texts with other submenus ("选中项"): their
    // names carry the submenu's too.
    auto subEntry = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(menu->objectName() + QLatin1Char('.') + text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto submenu = [](QMenu *parent, const QString &text) {
        QMenu *menu = parent->addMenu(text);
        menu->setObjectName(QStringLiteral("menu") + text);
        return menu;
    };
    DownloadListModel &model = *m_model;
    m_listMenu = menuBar()->addMenu(QStringLiteral("列表操作(&D)"));
    m_listMenu->setObjectName(QStringLiteral("menu列表操作"));
    connect(m_listMenu, &QMenu::aboutToShow, this, &DownloadWindow::updateMenuStates);
    m_selectAll = entry(m_listMenu, QStringLiteral("全选"), [this] { m_view->selectAll(); });
    entry(m_listMenu, QStringLiteral("全不选"), [this] { m_view->clearSelection(); });
    entry(m_listMenu, QStringLiteral("随机排序列表(打乱)"), &DownloadWindow::shuffle);
    entry(m_listMenu, QStringLiteral("自动调整列宽"), [this] {
        for (int c = 0; c < m_model->columnCount(); ++c)
            m_view->resizeColumnToContents(c);
        StripeListRows(m_view, 17);
    });
    m_listMenu->addSeparator();
    QMenu *redo = submenu(m_listMenu, QStringLiteral("重新下载"));
    subEntry(redo, QStringLiteral("选中项"), [this, &model] { RedownloadSelected(model, selectedRows()); });
    subEntry(redo, QStringLiteral("出错项"), [&model] { RedownloadFailed(model); });
    subEntry(redo, QStringLiteral("网页类型文件(HTM/HTML/xml)项"), [&model] { RedownloadWebPages(model); });
    subEntry(redo, QStringLiteral("重新下载出错项和网页类型文件项"),
             [&model] { RedownloadFailedAndWebPages(model); });
    subEntry(redo, QStringLiteral("文件大小小于指定数字的项"), &DownloadWindow::redownloadSmallerThan);
    m_listMenu->addSeparator();
    m_removeMenu = submenu(m_listMenu, QStringLiteral("移除(不删除文件)"));
    subEntry(m_removeMenu, QStringLiteral("选中项"), [this] {
        remove([selected = selectedRows()](int row, const DownloadItem &) {
            return bool(selected[size_t(row)]);
        });
    });
    subEntry(m_removeMenu, QStringLiteral("完成项"),
             [this] { remove([](int, const DownloadItem &item) { return item.state == ItemState::Done; }); });
    subEntry(m_removeMenu, QStringLiteral("未完成项"),
             [this] { remove([](int, const DownloadItem &item) { return item.state != ItemState::Done; }); });
    subEntry(m_removeMenu, QStringLiteral("全部出错项"), [this] {
        remove([](int, const DownloadItem &item) { return item.state == ItemState::Failed; });
    });
    m_clearAll = subEntry(m_removeMenu, QStringLiteral("清空全部"), &DownloadWindow::clearAll);
    QMenu *del = submenu(m_listMenu, QStringLiteral("删除文件(不移除)"));
    subEntry(del, QStringLiteral("网页类型文件(HTM/HTML/xml)项"), [&model] { DeleteWebPageFiles(model); });
    subEntry(del, QStringLiteral("出错项"), [&model] { DeleteFailedFiles(model); });
    subEntry(del, QStringLiteral("选中项"), [this, &model] { DeleteSelectedFiles(model, selectedRows()); });
    subEntry(del, QStringLiteral("文件大小小于指定数的"), &DownloadWindow::deleteSmallerThan);
    m_listMenu->addSeparator();
    m_startAction = entry(m_listMenu, QStringLiteral("开始下载"), &DownloadWindow::StartDownloading);
    m_stopAction = entry(m_listMenu, QStringLiteral("停止下载"), &DownloadWindow::StopDownloading);
    entry(m_listMenu, QStringLiteral("取消下载选中项"), &DownloadWindow::cancelSelected);
    m_listMenu->addSeparator();
    entry(m_listMenu, QStringLiteral("打开下载文件"), &DownloadWindow::openItemFile);
    entry(m_listMenu, QStringLiteral("打开所在文件夹"), &DownloadWindow::openItemFolder);
    entry(m_listMenu, QStringLiteral("用记事本打开文件"), &DownloadWindow::openItemInNotepad);
    m_listMenu->addSeparator();
    entry(m_listMenu, QStringLiteral("复制名称"), &DownloadWindow::copyName);
    entry(m_listMenu, QStringLiteral("批量替换网址"), &DownloadWindow::replaceAddresses);
    entry(m_listMenu, QStringLiteral("打开网址"), [] {}); // has no action of its own
    QMenu *exportMenu = submenu(m_listMenu, QStringLiteral("导出名称"));
    subEntry(exportMenu, QStringLiteral("全部"), [this] { exportNames(false); });
    subEntry(exportMenu, QStringLiteral("未完成项"), [this] { exportNames(true); });
    m_listMenu->addSeparator();
    entry(m_listMenu, QStringLiteral("关闭本下载窗口"), [this] { close(); });

    QMenu *window = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    QAction *search = entry(window, QStringLiteral("资料检索分析窗口"),
                            [this] { WindowHub::Run(WindowHub::Action::ShowWebSearch, this); });
    search->setEnabled(WindowHub::Has(WindowHub::Action::ShowWebSearch));

    QMenu *tools = menuBar()->addMenu(QStringLiteral("工具(&T)"));
    QAction *options = entry(tools, QStringLiteral("设置"),
                             [this] { WindowHub::Run(WindowHub::Action::OpenOptions, this); });
    connect(tools, &QMenu::aboutToShow, options,
            [options] { options->setEnabled(WindowHub::Has(WindowHub::Action::OpenOptions)); });
    options->setEnabled(WindowHub::Has(WindowHub::Action::OpenOptions));
    m_follow = tools->addAction(QStringLiteral("自动定位到下载项"));
    m_follow->setObjectName(QStringLiteral("menu自动定位到下载项"));
    m_follow->setCheckable(true);
    tools->addSeparator();
    entry(tools, QStringLiteral("检查文件是否存在"), &DownloadWindow::checkFilesExist);
    entry(tools, QStringLiteral("检查并纠正磁盘文件类型"), &DownloadWindow::checkAndCorrect);
    tools->addSeparator();
    entry(tools, QStringLiteral("清空IE浏览器缓存"), [] { WindowHub::ClearBrowserCache(true); });
    entry(tools, QStringLiteral("打开文件判断类型"), &DownloadWindow::openAndDetect);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction *about =
        entry(help, QStringLiteral("关于"), [this] { WindowHub::Run(WindowHub::Action::OpenAbout, this); });
    about->setEnabled(WindowHub::Has(WindowHub::Action::OpenAbout));
    help->addSeparator();
    QAction *rights = entry(help, QStringLiteral("软件权限设置方法"),
                            [this] { WindowHub::Run(WindowHub::Action::OpenRightsHelp, this); });
    rights->setEnabled(WindowHub::Has(WindowHub::Action::OpenRightsHelp));
    help->addSeparator();
    AddPublisherEntries(help);
    QAction *mail = entry(help, QStringLiteral("给软件作者建议"), [] { SendSuggestionMail(); });
    mail->setEnabled(!PublisherUrl().isEmpty());
}

void DownloadWindow::loadWindow() {
    setWindowTitle(DialogCaption(QStringLiteral("文件下载")));
    m_combo4->setCurrentIndex(0);
    m_combo2->setCurrentIndex(0);
    WidenDropDown(m_combo4);

    SharedValues &shared = Shared();
    shared.downloadMethod = Settings::ReadInt(Keys::DownloadMethod);
    shared.threadPosition = Settings::ReadInt(Keys::ThreadPosition);
    m_combo5->setCurrentIndex(std::clamp(Settings::ReadInt(Keys::PerSiteLimit), 1, 6) - 1);
    m_scheduler->SetPerSiteLimit(m_combo5->currentIndex() + 1);
    m_scheduler->SetMethod(shared.downloadMethod);
    m_label7->setText(QStringLiteral("下载方式：") + QString::number(shared.downloadMethod));
    if (shared.downloadMethod == 1) {
        m_combo1->setCurrentIndex(0);
        m_combo1->setEnabled(false);
    } else {
        m_combo1->setEnabled(true);
        m_combo1->setCurrentIndex(std::clamp(shared.threadPosition, 0, m_combo1->count() - 1));
    }
    shared.sameNameRule = Settings::Read(Keys::SameNameRule);
    const SameNameRule rule = SameNameRuleFromCaption(shared.sameNameRule);
    m_rules[rule == SameNameRule::Skip ? 0 : rule == SameNameRule::Overwrite ? 1 : 2]->setChecked(true);
    shared.proxyEnabled = Settings::ReadInt(Keys::ProxyEnabled);
    shared.proxyHost = Settings::Read(Keys::ProxyHost).trimmed();
    shared.proxyPort = Settings::Read(Keys::ProxyPort).trimmed();
    shared.fileMaxSize = StoredSizeLimitMb();
    if (shared.downloadFolder.isEmpty())
        shared.downloadFolder =
            WithTrailingSeparator(Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder()));
    RestoreWindowGeometry(this, QSize(1100, 600));
    const QByteArray columns = QByteArray::fromBase64(Settings::Read(Keys::ListColumns).toLatin1());
    if (!columns.isEmpty())
        m_view->header()->restoreState(columns);
}

void DownloadWindow::bindScheduler() {
    DownloadScheduler *s = m_scheduler;
    connect(m_combo1, &QComboBox::currentIndexChanged, s, [s](int index) { s->SetThreads(index + 1); });
    connect(m_combo2, &QComboBox::currentTextChanged, s,
            [s](const QString &text) { s->SetPauseSeconds(ToIntOr(text.trimmed(), 0)); });
    connect(m_check4, &QCheckBox::toggled, s, &DownloadScheduler::SetAutoStart);
    const auto redownload = [this] {
        m_scheduler->SetAutoRedownload(m_check3->isChecked(), m_combo4->currentIndex());
    };
    connect(m_check3, &QCheckBox::toggled, s, redownload);
    connect(m_combo4, &QComboBox::currentIndexChanged, s, redownload);
    connect(m_check5, &QCheckBox::toggled, s, &DownloadScheduler::SetStopRule);
    connect(m_check6, &QCheckBox::toggled, s, &DownloadScheduler::SetSound);
    for (QRadioButton *option : m_rules)
        connect(option, &QRadioButton::toggled, s, [this] { m_scheduler->SetSameNameRule(Rule()); });

    connect(s, &DownloadScheduler::SchedulerStateChanged, m_shape1, &QWidget::setVisible);
    connect(s, &DownloadScheduler::StartEnabledChanged, m_startAction, &QAction::setEnabled);
    connect(s, &DownloadScheduler::Summary, m_panels[3], &QLabel::setText);
    connect(s, &DownloadScheduler::Activity, m_panels[1], &QLabel::setText);
    connect(s, &DownloadScheduler::Stage, m_panels[2], &QLabel::setText);
    connect(s, &DownloadScheduler::TotalSpeed, m_panels[4], [label = m_panels[4]](const QString &text) {
        label->setText(QStringLiteral("总速度: ") + text);
    });
    connect(m_combo5, &QComboBox::currentIndexChanged, s, [s](int index) { s->SetPerSiteLimit(index + 1); });
    connect(s, &DownloadScheduler::AutoOptionsCleared, this, [this] {
        m_check4->setChecked(false);
        m_check3->setChecked(false);
    });
    s->RedownloadFailed = [this] { dh::RedownloadFailed(*m_model); };
    s->RedownloadWebPages = [this] { dh::RedownloadWebPages(*m_model); };
    // Posted: the login outlives the transfer's closing steps that ask for it.
    s->AfterWebPage = [this] {
        if (m_login->AutoLoginTicked())
            QTimer::singleShot(0, m_login, [login = m_login] { login->AutoLogin(false); });
    };
    connect(s, &DownloadScheduler::ItemStarted, this, [this](int row) {
        if (m_follow->isChecked())
            m_view->scrollTo(m_model->index(row, 0));
    });
}

SameNameRule DownloadWindow::Rule() const {
    if (m_rules[0]->isChecked())
        return SameNameRule::Skip;
    return m_rules[1]->isChecked() ? SameNameRule::Overwrite : SameNameRule::Rename;
}

void DownloadWindow::SetMethod(int method) {
    method = method == 1 ? 1 : 2;
    ApplyMethod(method);
    Shared().downloadMethod = method;
    m_combo1->setCurrentIndex(0);
}

void DownloadWindow::ApplyMethod(int method) {
    method = method == 2 ? 2 : 1;
    m_scheduler->SetMethod(method);
    m_label7->setText(QStringLiteral("下载方式：") + QString::number(method));
    m_combo1->setEnabled(method == 2);
    if (method == 2)
        m_combo1->setCurrentIndex(0);
}

void DownloadWindow::headerClicked(int column) {
    if (SchedulerOn() || BusyFlag()) {
        Messages::Show(this, QStringLiteral("停止下载后方可排序！"), MsgIcon::Information);
        return;
    }
    m_model->ClickSort(column);
}

void DownloadWindow::doubleClicked(const QModelIndex &index) {
    if (!index.isValid())
        return;
    const int row = index.row();
    const QString path = m_model->ItemFilePath(row);
    const ItemState state = m_model->Item(row).state;
    if (state == ItemState::Done) {
        if (FileExists(path))
            OpenWithDesktop(path, this);
        else
            Messages::Show(this, QStringLiteral("文件不存在！"), MsgIcon::Error);
    } else if (state == ItemState::Failed) {
        // A failed transfer leaves nothing at the path; a file there is the
        // user's (or an earlier download) and stays.
        m_model->RequeueItem(row);
    }
}

void DownloadWindow::clicked(const QModelIndex &index) {
    const QString path = index.isValid() ? m_model->ItemFilePath(index.row()) : QString();
    m_panels[1]->setText(FileExists(path) ? path : QString());
}

void DownloadWindow::updateMenuStates() {
    const bool running = SchedulerOn() || BusyFlag();
    m_selectAll->setEnabled(!running);
    m_removeMenu->setEnabled(!running);
    m_clearAll->setEnabled(!running);
    m_stopAction->setEnabled(running);
}

void DownloadWindow::listMenu(const QPoint &pos) {
    m_listMenu->popup(m_view->viewport()->mapToGlobal(pos));
}

void DownloadWindow::updateCount() {
    m_label1->setText(QString::number(m_model->Count()) + QStringLiteral("条"));
}

void DownloadWindow::openAndDetect() {
    const QString path = Messages::OpenFile(this, QStringLiteral("*.* (*)"));
    if (path.isEmpty())
        return;
    const QString tag = 打开文件判断文件类型(path);
    Messages::Show(this,
                   tag.isEmpty() ? QStringLiteral("目前还无法判断。") : QStringLiteral("文件类型为：") + tag,
                   MsgIcon::Information);
}

void DownloadWindow::checkAndCorrect() {
    if (IsDownloading()) {
        Messages::Show(this, kGuardText, MsgIcon::Information);
        return;
    }
    if (m_model->Count() == 0)
        return;
    int corrected = 0;
    for (int row = 0; row < m_model->Count(); ++row) {
        DownloadItem item = m_model->Item(row);
        if (CorrectItemType(item)) {
            m_model->SetItem(row, item);
            ++corrected;
        }
    }
    Messages::Show(this,
                   QStringLiteral("纠正文件类型：") + QString::number(corrected) + QStringLiteral("个."),
                   MsgIcon::Information);
}

bool DownloadWindow::refusedWhileDownloading() {
    if (!IsDownloading())
        return false;
    Messages::Show(this, kGuardText, MsgIcon::Information);
    return true;
}

RowFlags DownloadWindow::selectedRows() const {
    RowFlags flags(size_t(m_model->Count()), false);
    // By ranges: a select-all of 100 000 rows is one range.
    for (const QItemSelectionRange &range : m_view->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom() && row < m_model->Count(); ++row)
            flags[size_t(row)] = true;
    }
    return flags;
}

int DownloadWindow::selectedRow() const {
    const QItemSelectionModel *selection = m_view->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), {}))
        return current.row();
    int top = -1;
    for (const QItemSelectionRange &range : selection->selection())
        top = top < 0 ? range.top() : std::min(top, range.top());
    return top;
}

void DownloadWindow::shuffle() {
    if (refusedWhileDownloading())
        return;
    ShuffleList(*m_model, *QRandomGenerator::global());
    Messages::Show(this, QStringLiteral("随机排序完成！"), MsgIcon::Information);
}

void DownloadWindow::redownloadSmallerThan() {
    const std::optional<double> bytes = ParseNumber(Messages::Input(this, QStringLiteral("请输入数字：")));
    if (bytes)
        RedownloadSmallerThan(*m_model, *bytes);
}

void DownloadWindow::remove(const std::function<bool(int, const DownloadItem &)> &inSet) {
    if (refusedWhileDownloading())
        return;
    m_model->RemoveRowsIf(inSet);
    updateCount();
}

void DownloadWindow::clearAll() {
    if (refusedWhileDownloading())
        return;
    if (!Messages::Ask(this, QStringLiteral("您确定要清空列表的所有信息吗？"), MsgIcon::None))
        return;
    m_model->Clear();
    updateCount();
}

void DownloadWindow::deleteSmallerThan() {
    const QString answer =
        Messages::Input(this, QStringLiteral("请输入文件大小（KB），小于这个数的文件将会被全部删除！"),
                        QStringLiteral("删除文件大小小于指定数的全部文件"));
    const std::optional<double> kilobytes = ParseNumber(answer);
    if (!kilobytes) {
        Messages::Show(this, QStringLiteral("文件大小无效！"), MsgIcon::Error);
        return;
    }
    DeleteFilesSmallerThan(*m_model, *kilobytes);
}

void DownloadWindow::cancelSelected() {
    if (BusyFlag()) {
        Messages::Show(this, QStringLiteral("停止下载后方可设置！"), MsgIcon::Error);
        return;
    }
    CancelSelected(*m_model, selectedRows());
}

void DownloadWindow::openItemFile() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString path = m_model->ItemFilePath(row);
    if (!FileExists(path))
        Messages::Show(this, QStringLiteral("该文件不存在！"), MsgIcon::Error);
    else
        OpenWithDesktop(path, this);
}

void DownloadWindow::openItemFolder() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString folder = m_model->Item(row).folder;
    const QString path = m_model->ItemFilePath(row);
    if (!FolderExists(folder))
        Messages::Show(this, QStringLiteral("文件夹不存在！"), MsgIcon::Error);
    else if (!FileExists(path))
        OpenWithDesktop(folder, this);
    else if (!ShowInFolder(path))
        Messages::Show(this, QStringLiteral("打开失败！"), MsgIcon::Error);
}

void DownloadWindow::openItemInNotepad() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString path = m_model->ItemFilePath(row);
    if (!FileExists(path)) {
        Messages::Show(this, QStringLiteral("该文件不存在！"), MsgIcon::Error);
        return;
    }
    if (double(QFileInfo(path).size()) / 1024.0 > 2048.0) {
        Messages::Show(this, QStringLiteral("该文件太大，超过了2M，不便于用记事本打开！"), MsgIcon::Error);
        return;
    }
    OpenInTextViewer(path, this);
}

void DownloadWindow::copyName() {
    const int row = selectedRow();
    if (row < 0)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_model->Item(row).name);
}

void DownloadWindow::replaceAddresses() {
    if (refusedWhileDownloading())
        return;
    ReplaceResult result;
    // Downloads may have started while the dialog was open: a running
    // transfer finds its item by its address.
    const QPointer<UrlReplaceDialog> dialog = new UrlReplaceDialog(
        [this, &result](const QString &find, const QString &replacement) {
            if (refusedWhileDownloading())
                return false;
            result = ReplaceInAddresses(*m_model, find, replacement);
            return true;
        },
        this);
    const int answer = Messages::RunModal(dialog);
    if (!dialog)
        return; // the window went away meanwhile, and the dialog with it
    delete dialog;
    if (answer != QDialog::Accepted)
        return;
    QString text = QStringLiteral("全部网址替换完成！");
    if (result.kept > 0)
        text += QStringLiteral("\n%1项的新网址与列表中其他项的网址相同，保留了原网址。").arg(result.kept);
    Messages::Show(this, text, MsgIcon::Information);
}

void DownloadWindow::exportNames(bool unfinishedOnly) {
    if (m_model->Count() == 0)
        return;
    const QString path = Messages::SaveFile(this, QStringLiteral("*.txt (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const QString error = ExportNames(*m_model, path, unfinishedOnly);
    if (!error.isEmpty())
        Messages::Show(this, error, MsgIcon::Error);
}

void DownloadWindow::checkFilesExist() {
    MarkMissingFiles(*m_model);
}

void DownloadWindow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        updateCount();
    QMainWindow::changeEvent(event);
}

void DownloadWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    StripeListRows(m_view, 17);
}

void DownloadWindow::closeEvent(QCloseEvent *event) {
    Settings::Write(Keys::SameNameRule, SameNameRuleCaption(Rule()));
    Settings::Write(Keys::DownloadMethod, Method());
    Settings::Write(Keys::ThreadPosition, m_combo1->currentIndex());
    Settings::Write(Keys::PerSiteLimit, m_combo5->currentIndex() + 1);
    Settings::Write(Keys::ListColumns, QString::fromLatin1(m_view->header()->saveState().toBase64()));
    Shared().sameNameRule = SameNameRuleCaption(Rule());
    if (IsDownloading() || !m_model->检测是否下载列表完毕()) {
        if (!Messages::Ask(this, QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？"))) {
            event->ignore();
            return;
        }
    }
    m_login->StopRefresh();
    m_interrupted = runningItems();
    StopDownloading();
    m_scheduler->Shutdown();
    m_kept->Flush(m_interrupted);
    SaveWindowGeometry(this);
    event->accept();
    YieldEvents(this);
    YieldEvents(this);
    DeleteOnCloseAfterWaits(this);
    if (!IsWindowOpen(QStringLiteral("fWebSearch")) && !IsWindowOpen(QStringLiteral("fWebSearch2")))
        QTimer::singleShot(0, qApp, [] { WindowHub::Run(WindowHub::Action::ShowStartWindow); });
}

void RegisterDownloadWindow() {
    WindowHub::SetHandOff([](const HandOffItem &item) {
        return DownloadWindow::EnsureInstance()->Model()->加入下载列表(item.address, item.title, item.type,
                                                                       item.folder, item.referrer);
    });
    WindowHub::SetShowDownloads([](bool restore) {
        DownloadWindow *w = DownloadWindow::Instance();
        if (!w)
            return;
        w->View()->viewport()->update();
        if (restore && w->isMinimized())
            w->showNormal();
        else if (!w->isVisible())
            w->show();
    });
    WindowHub::Register(WindowHub::Action::ShowDownloadWindow, [](QWidget *) {
        DownloadWindow *w = DownloadWindow::EnsureInstance();
        w->show();
        w->raise();
    });
}

} // namespace dh
