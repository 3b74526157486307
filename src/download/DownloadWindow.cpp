#include "download/DownloadWindow.h"

#include "about/PublisherLinks.h"
#include "download/TypeDetection.h"
#include "net/WebSession.h"
#include "util/AppInfo.h"
#include "util/Clock.h"
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
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QNetworkAccessManager>
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
bool isWebPage(const QString &type, bool withXml)
{
    const QString t = type.toLower();
    return t == QLatin1String("htm") || t == QLatin1String("html") || (withXml && t == QLatin1String("xml"));
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
    m_manager = new QNetworkAccessManager(this);
    WebSession::Instance().AttachTo(m_manager);
    buildControls();
    buildMenus();
    loadWindow();
}

DownloadWindow::~DownloadWindow() = default;

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

    m_timerDown = Named(new QTimer(this), "Timer_Down");
    m_timerDown->setInterval(1000);
    m_timer1 = Named(new QTimer(this), "Timer1");
    m_timer1->setInterval(1000);

    connect(m_command26, &QPushButton::clicked, this, &DownloadWindow::switchMethod);
    connect(m_command4, &QPushButton::clicked, this, &DownloadWindow::StartDownloading);
    connect(m_command31, &QPushButton::clicked, this, &DownloadWindow::StopDownloading);
    connect(m_timerDown, &QTimer::timeout, this, &DownloadWindow::SchedulerTick);
    connect(m_timer1, &QTimer::timeout, this, &DownloadWindow::SupervisorTick);
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
    m_lastFinish = Clock::Now();

    SharedValues &shared = Shared();
    shared.downloadMethod = Settings::ReadInt(Keys::DownloadMethod);
    shared.threadPosition = Settings::ReadInt(Keys::ThreadPosition);
    m_method = shared.downloadMethod == 1 ? 1 : 2;
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
    m_timer1->start();
}

SameNameRule DownloadWindow::Rule() const
{
    if (m_rules[0]->isChecked())
        return SameNameRule::Skip;
    return m_rules[1]->isChecked() ? SameNameRule::Overwrite : SameNameRule::Rename;
}

bool DownloadWindow::SchedulerOn() const { return m_timerDown->isActive(); }

bool DownloadWindow::IsDownloading() const { return SchedulerOn() || m_transferRunning; }

void DownloadWindow::StartDownloading()
{
    m_timerDown->start();
    m_shape1->show();
}

void DownloadWindow::StopDownloading()
{
    m_check4->setChecked(false);
    m_check3->setChecked(false);
    m_timerDown->stop();
    m_busy = false; // a running method-one stream sees this at its next chunk
    m_shape1->hide();
    for (int row = 0; row < m_model->Count(); ++row)
        if (m_model->Item(row).state == ItemState::Downloading)
            m_model->SetState(row, ItemState::Failed);
}

void DownloadWindow::switchMethod()
{
    m_method = m_method == 2 ? 1 : 2;
    Shared().downloadMethod = m_method;
    m_label7->setText(QStringLiteral("下载方式：") + QString::number(m_method));
    m_combo1->setCurrentIndex(0);
    m_combo1->setEnabled(m_method == 2);
}

void DownloadWindow::ApplyMethod(int method)
{
    m_method = method == 2 ? 2 : 1;
    m_label7->setText(QStringLiteral("下载方式：") + QString::number(m_method));
    m_combo1->setEnabled(m_method == 2);
    if (m_method == 2)
        m_combo1->setCurrentIndex(0);
}

void DownloadWindow::SchedulerTick()
{
    if (m_model->Count() == 0) {
        m_timerDown->stop();
        return;
    }
    if (Clock::Now() - m_lastFinish <= qint64(ToIntOr(m_combo2->currentText(), 0)) * Durations::Second)
        return;
    // Parallel transfers come with the second method; until then every item goes this way.
    if (m_busy)
        return;
    const SameNameRule rule = Rule();
    int picked = -1;
    for (int row = 0; row < m_model->Count() && picked < 0; ++row) {
        DownloadItem item = m_model->Item(row);
        if (item.state != ItemState::Waiting)
            continue;
        item.name = MakeSafeFileName(item.name);
        item.folder = WithTrailingSeparator(item.folder);
        const bool needed = 确定是需要下载(item, rule);
        m_model->SetItem(row, item);
        if (needed)
            picked = row;
    }
    if (picked < 0)
        return;
    m_model->SetState(picked, ItemState::Downloading);
    if (m_follow->isChecked())
        m_view->scrollTo(m_model->index(picked, 0));
    m_model->SetText(picked, DownloadListModel::SizeColumn, QString());
    m_model->SetText(picked, DownloadListModel::ReceivedColumn, QString());
    m_model->SetText(picked, DownloadListModel::PercentColumn, QString());
    m_slotTable[1] = picked;
    inetDownloadCurrent(picked);
}

void DownloadWindow::inetDownloadCurrent(int row)
{
    if (m_transferRunning || m_busy) {
        m_model->SetState(row, ItemState::Waiting);
        m_model->SetText(row, DownloadListModel::SizeColumn, ResultText::WaitingAgain);
        return;
    }
    const QString key = m_model->Item(row).key;
    m_busy = true;
    m_transferRunning = true;
    TransferOneContext ctx;
    ctx.manager = m_manager;
    ctx.proxyEnabled = Shared().proxyEnabled == 1;
    ctx.proxyHost = Shared().proxyHost;
    ctx.proxyPort = Shared().proxyPort;
    ctx.sizeLimitMb = Shared().fileMaxSize > 0 ? Shared().fileMaxSize : 10;
    ctx.rule = Rule();
    ctx.busy = &m_busy;
    QPointer<QLabel> panel2 = m_panels[1];
    QPointer<QLabel> panel3 = m_panels[2];
    ctx.activity = [panel2](const QString &t) {
        if (panel2)
            panel2->setText(t);
    };
    ctx.stage = [panel3](const QString &t) {
        if (panel3)
            panel3->setText(t);
    };
    Inet下载文件(*m_model, row, ctx);
    m_transferRunning = false;
    m_busy = false;
    closingSteps(m_model->RowOfKey(key));
}

void DownloadWindow::closingSteps(int row)
{
    m_lastFinish = Clock::Now();
    if (row < 0)
        return;
    const DownloadItem &item = m_model->Item(row);
    m_panels[1]->setText(QStringLiteral("完成下载:") + item.name);
    if (m_check6->isChecked()) {
        if (isWebPage(item.type, true))
            PlayNumberedSound(101);
        if (item.state == ItemState::Failed)
            PlayNumberedSound(103);
    }
}

void DownloadWindow::SupervisorTick()
{
    if (m_model->检测是否下载列表完毕()) {
        m_startAction->setEnabled(true);
        if (SchedulerOn()) {
            m_timerDown->stop();
            if (m_check6->isChecked())
                PlayNumberedSound(102);
        }
    } else {
        m_startAction->setEnabled(!SchedulerOn());
    }
    m_shape1->setVisible(SchedulerOn());
    if (!m_transferRunning && !SchedulerOn())
        m_busy = false;
    m_panels[3]->setText(m_model->StatusSummary());
    if (m_check4->isChecked() && m_model->统计未下载项数目() >= 1)
        StartDownloading();
    if (m_check3->isChecked() && !SchedulerOn())
        StartDownloading(); // the re-queue operations arrive with the list commands
    if (m_check5->isChecked() && m_model->CountProblemItems() >= 5 && SchedulerOn()) {
        m_timerDown->stop();
        if (m_check6->isChecked())
            PlayNumberedSound(102);
    }
}

void DownloadWindow::headerClicked(int column)
{
    if (SchedulerOn() || m_busy) {
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
        if (FileExists(path))
            QFile::remove(path);
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
    const bool running = SchedulerOn() || m_busy;
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
    Settings::Write(Keys::DownloadMethod, m_method);
    Settings::Write(Keys::ThreadPosition, m_combo1->currentIndex());
    Shared().sameNameRule = SameNameRuleCaption(Rule());
    if (IsDownloading() || !m_model->检测是否下载列表完毕()) {
        if (!Messages::Ask(this, QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？"))) {
            event->ignore();
            return;
        }
    }
    m_timer1->stop();
    m_timerDown->stop();
    StopDownloading();
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
