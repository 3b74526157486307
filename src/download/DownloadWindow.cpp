#include "download/DownloadWindow.h"

#include "about/PublisherLinks.h"
#include "download/TypeDetection.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace dh {

namespace {
QPointer<DownloadWindow> &instance()
{
    static QPointer<DownloadWindow> w;
    return w;
}
const QString kGuardText = QStringLiteral("停止下载以后，才能执行此操作！");
} // namespace

DownloadWindow *DownloadWindow::Instance() { return instance(); }

DownloadWindow *DownloadWindow::EnsureInstance()
{
    if (!instance())
        instance() = new DownloadWindow;
    return instance();
}

DownloadWindow::DownloadWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("fFileDownload"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_model = new DownloadListModel(this);
    m_scheduler = new DownloadScheduler(m_model, std::make_unique<NetworkTransferFactory>(), this);
    buildControls();
    buildMenus();
    bindScheduler();
    loadWindow();
}

// Transfers end before the list and the controls go; no event of theirs
// reaches the window afterwards.
DownloadWindow::~DownloadWindow() { m_scheduler->Shutdown(); }

void DownloadWindow::buildControls()
{
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
    m_check5 = Named(new QCheckBox(QStringLiteral("有5个以上下载出错或者网页文件，就停止下载"), central), "Check5");
    m_check6 = Named(new QCheckBox(QStringLiteral("声音提示"), central), "Check6");
    m_combo3 = Named(new QComboBox(central), "Combo3");
    m_combo3->addItem(QStringLiteral("下载到网页文件(htm/html/asp)文件!"));
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
    panel->addWidget(m_combo1, 0, 3);
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
    panel->addWidget(m_combo3, 2, 1, 1, 3);
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
    layout->addWidget(m_view, 1);

    auto *bar = Named(new QStatusBar(this), "StatusBar1");
    setStatusBar(bar);
    const char *panelNames[4] = {"StatusPanel1", "StatusPanel2", "StatusPanel3", "StatusPanel4"};
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = Named(new QLabel(bar), panelNames[i]);
        bar->addWidget(m_panels[i], i == 1 ? 2 : 1);
    }
    m_panels[0]->setText(AppTitle());

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

void DownloadWindow::buildMenus()
{
    auto entry = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QStringLiteral("menu") + text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    // Entries whose operations come with the list commands: present, not yet usable.
    auto later = [](QMenu *menu, const QString &text) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QStringLiteral("menu") + text);
        a->setEnabled(false);
        return a;
    };
    m_listMenu = menuBar()->addMenu(QStringLiteral("列表操作(&D)"));
    m_listMenu->setObjectName(QStringLiteral("menu列表操作"));
    m_selectAll = entry(m_listMenu, QStringLiteral("全选"), [this] { m_view->selectAll(); });
    entry(m_listMenu, QStringLiteral("全不选"), [this] { m_view->clearSelection(); });
    later(m_listMenu, QStringLiteral("随机排序列表(打乱)"));
    entry(m_listMenu, QStringLiteral("自动调整列宽"), [this] {
        for (int c = 0; c < m_model->columnCount(); ++c)
            m_view->resizeColumnToContents(c);
        StripeListRows(m_view, 17);
    });
    m_listMenu->addSeparator();
    QMenu *redo = m_listMenu->addMenu(QStringLiteral("重新下载"));
    for (const char *t : {"选中项", "出错项", "网页类型文件(HTM/HTML/xml)项", "重新下载出错项和网页类型文件项", "文件大小小于指定数字的项"})
        later(redo, QString::fromUtf8(t));
    m_listMenu->addSeparator();
    m_removeMenu = m_listMenu->addMenu(QStringLiteral("移除(不删除文件)"));
    for (const char *t : {"选中项", "完成项", "未完成项", "全部出错项"})
        later(m_removeMenu, QString::fromUtf8(t));
    m_clearAll = later(m_removeMenu, QStringLiteral("清空全部"));
    QMenu *del = m_listMenu->addMenu(QStringLiteral("删除文件(不移除)"));
    for (const char *t : {"网页类型文件(HTM/HTML/xml)项", "出错项", "选中项", "文件大小小于指定数的"})
        later(del, QString::fromUtf8(t));
    m_listMenu->addSeparator();
    m_startAction = entry(m_listMenu, QStringLiteral("开始下载"), &DownloadWindow::StartDownloading);
    m_stopAction = entry(m_listMenu, QStringLiteral("停止下载"), &DownloadWindow::StopDownloading);
    later(m_listMenu, QStringLiteral("取消下载选中项"));
    m_listMenu->addSeparator();
    for (const char *t : {"打开下载文件", "打开所在文件夹", "用记事本打开文件"})
        later(m_listMenu, QString::fromUtf8(t));
    m_listMenu->addSeparator();
    for (const char *t : {"复制名称", "批量替换网址", "打开网址"})
        later(m_listMenu, QString::fromUtf8(t));
    QMenu *exportMenu = m_listMenu->addMenu(QStringLiteral("导出名称"));
    later(exportMenu, QStringLiteral("全部"));
    later(exportMenu, QStringLiteral("未完成项"));
    m_listMenu->addSeparator();
    entry(m_listMenu, QStringLiteral("关闭本下载窗口"), [this] { close(); });

    QMenu *window = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    QAction *search = entry(window, QStringLiteral("资料检索分析窗口"),
                            [this] { WindowHub::Run(WindowHub::Action::ShowWebSearch, this); });
    search->setEnabled(WindowHub::Has(WindowHub::Action::ShowWebSearch));

    QMenu *tools = menuBar()->addMenu(QStringLiteral("工具(&T)"));
    QAction *options = entry(tools, QStringLiteral("设置"), [this] { WindowHub::Run(WindowHub::Action::OpenOptions, this); });
    connect(tools, &QMenu::aboutToShow, options, [options] { options->setEnabled(WindowHub::Has(WindowHub::Action::OpenOptions)); });
    options->setEnabled(WindowHub::Has(WindowHub::Action::OpenOptions));
    m_follow = tools->addAction(QStringLiteral("自动定位到下载项"));
    m_follow->setObjectName(QStringLiteral("menu自动定位到下载项"));
    m_follow->setCheckable(true);
    tools->addSeparator();
    later(tools, QStringLiteral("检查文件是否存在"));
    entry(tools, QStringLiteral("检查并纠正磁盘文件类型"), &DownloadWindow::checkAndCorrect);
    tools->addSeparator();
    entry(tools, QStringLiteral("清空IE浏览器缓存"), [] { WindowHub::ClearBrowserCache(true); });
    entry(tools, QStringLiteral("打开文件判断类型"), &DownloadWindow::openAndDetect);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction *about = entry(help, QStringLiteral("关于"), [this] { WindowHub::Run(WindowHub::Action::OpenAbout, this); });
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

void DownloadWindow::loadWindow()
{
    setWindowTitle(DialogCaption(QStringLiteral("文件下载")));
    m_combo3->setCurrentIndex(0);
    m_combo4->setCurrentIndex(0);
    m_combo2->setCurrentIndex(0);
    WidenDropDown(m_combo4);

    SharedValues &shared = Shared();
    shared.downloadMethod = Settings::ReadInt(Keys::DownloadMethod);
    shared.threadPosition = Settings::ReadInt(Keys::ThreadPosition);
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
    shared.fileMaxSize = Settings::ReadDouble(Keys::FileMaxSize);
    if (shared.downloadFolder.isEmpty())
        shared.downloadFolder = WithTrailingSeparator(Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder()));
    RestoreWindowGeometry(this);
}

void DownloadWindow::bindScheduler()
{
    DownloadScheduler *s = m_scheduler;
    connect(m_combo1, &QComboBox::currentIndexChanged, s, [s](int index) { s->SetThreads(index + 1); });
    connect(m_combo2, &QComboBox::currentTextChanged, s,
            [s](const QString &text) { s->SetPauseSeconds(ToIntOr(text.trimmed(), 0)); });
    connect(m_check4, &QCheckBox::toggled, s, &DownloadScheduler::SetAutoStart);
    const auto redownload = [this] { m_scheduler->SetAutoRedownload(m_check3->isChecked(), m_combo4->currentIndex()); };
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
    connect(s, &DownloadScheduler::AutoOptionsCleared, this, [this] {
        m_check4->setChecked(false);
        m_check3->setChecked(false);
    });
    connect(s, &DownloadScheduler::ItemStarted, this, [this](int row) {
        if (m_follow->isChecked())
            m_view->scrollTo(m_model->index(row, 0));
    });
}

SameNameRule DownloadWindow::Rule() const
{
    if (m_rules[0]->isChecked())
        return SameNameRule::Skip;
    return m_rules[1]->isChecked() ? SameNameRule::Overwrite : SameNameRule::Rename;
}

void DownloadWindow::SetMethod(int method)
{
    method = method == 1 ? 1 : 2;
    ApplyMethod(method);
    Shared().downloadMethod = method;
    m_combo1->setCurrentIndex(0);
}

void DownloadWindow::ApplyMethod(int method)
{
    method = method == 2 ? 2 : 1;
    m_scheduler->SetMethod(method);
    m_label7->setText(QStringLiteral("下载方式：") + QString::number(method));
    m_combo1->setEnabled(method == 2);
    if (method == 2)
        m_combo1->setCurrentIndex(0);
}

void DownloadWindow::headerClicked(int column)
{
    if (SchedulerOn() || BusyFlag()) {
        Messages::Show(this, QStringLiteral("停止下载后方可排序！"), MsgIcon::Information);
        return;
    }
    m_model->ClickSort(column);
}

void DownloadWindow::doubleClicked(const QModelIndex &index)
{
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

void DownloadWindow::clicked(const QModelIndex &index)
{
    const QString path = index.isValid() ? m_model->ItemFilePath(index.row()) : QString();
    m_panels[1]->setText(FileExists(path) ? path : QString());
}

void DownloadWindow::listMenu(const QPoint &pos)
{
    const bool running = SchedulerOn() || BusyFlag();
    m_selectAll->setEnabled(!running);
    m_removeMenu->setEnabled(!running);
    m_stopAction->setEnabled(running);
    m_listMenu->popup(m_view->viewport()->mapToGlobal(pos));
}

void DownloadWindow::updateCount() { m_label1->setText(QString::number(m_model->Count()) + QStringLiteral("条")); }

void DownloadWindow::openAndDetect()
{
    const QString path = Messages::OpenFile(this, QStringLiteral("*.* (*)"));
    if (path.isEmpty())
        return;
    const QString tag = 打开文件判断文件类型(path);
    Messages::Show(this, tag.isEmpty() ? QStringLiteral("目前还无法判断。") : QStringLiteral("文件类型为：") + tag,
                   MsgIcon::Information);
}

void DownloadWindow::checkAndCorrect()
{
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
    Messages::Show(this, QStringLiteral("纠正文件类型：") + QString::number(corrected) + QStringLiteral("个."),
                   MsgIcon::Information);
}

void DownloadWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        updateCount();
    QMainWindow::changeEvent(event);
}

void DownloadWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    StripeListRows(m_view, 17);
}

void DownloadWindow::closeEvent(QCloseEvent *event)
{
    Settings::Write(Keys::SameNameRule, SameNameRuleCaption(Rule()));
    Settings::Write(Keys::DownloadMethod, Method());
    Settings::Write(Keys::ThreadPosition, m_combo1->currentIndex());
    Shared().sameNameRule = SameNameRuleCaption(Rule());
    if (IsDownloading() || !m_model->检测是否下载列表完毕()) {
        if (!Messages::Ask(this, QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？"))) {
            event->ignore();
            return;
        }
    }
    StopDownloading();
    m_scheduler->Shutdown();
    SaveWindowGeometry(this);
    event->accept();
    YieldEvents();
    YieldEvents();
    if (!IsWindowOpen(QStringLiteral("fWebSearch")) && !IsWindowOpen(QStringLiteral("fWebSearch2")))
        QTimer::singleShot(0, qApp, [] { WindowHub::Run(WindowHub::Action::ShowStartWindow); });
}

void RegisterDownloadWindow()
{
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
