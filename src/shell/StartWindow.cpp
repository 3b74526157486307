#include "shell/StartWindow.h"

#include "about/AboutResources.h"
#include "about/PublisherLinks.h"
#include "net/uXMLHTTP.h"
#include "search/SearchWindow.h"
#include "shell/ShellWindows.h"
#include "shell/VersionCheck.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dh {

namespace {
QPixmap startPicture() {
    QPixmap pix(480, 200);
    QPainter p(&pix);
    QLinearGradient g(0, 0, 480, 200);
    g.setColorAt(0, QColor(30, 90, 160));
    g.setColorAt(1, QColor(90, 170, 120));
    p.fillRect(pix.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(28);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pix.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, AppTitle());
    f.setPointSize(12);
    f.setBold(false);
    p.setFont(f);
    p.drawText(pix.rect().adjusted(0, 80, 0, 0), Qt::AlignCenter, QStringLiteral("网络文档批量搜索与下载"));
    return pix;
}
constexpr int kMarginPx = 2; // 30 twips
} // namespace

StartWindow::StartWindow(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fCover"));
    RegisterShellWindows();
    QApplication::setWindowIcon(AppIcon());
    setWindowIcon(AppIcon());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMarginPx, kMarginPx, kMarginPx, kMarginPx);
    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setPixmap(startPicture());
    m_loading = new QLabel(QStringLiteral("正在加载组件，请稍候..."), this);
    m_loading->setObjectName(QStringLiteral("Label1"));
    m_version = new QLabel(this);
    m_version->setObjectName(QStringLiteral("Label2"));
    auto *notice = new QLabel(
        QStringLiteral("(该软件仅用于爱学习的人们辅助少量下载；请不要恶意下载和大量下载！)"), this);
    notice->setObjectName(QStringLiteral("Label4"));
    notice->setWordWrap(true);
    m_latest = new QLabel(QStringLiteral("最新版本："), this);
    m_latest->setObjectName(QStringLiteral("Label3"));
    m_latest->setStyleSheet(QStringLiteral("color: red;"));
    m_latest->setCursor(Qt::PointingHandCursor);
    m_latest->hide();
    m_latest->installEventFilter(this);
    m_web1 = new QPushButton(QStringLiteral("网页搜索文档下载"), this);
    m_web1->setObjectName(QStringLiteral("Command1"));
    m_web2 = new QPushButton(QStringLiteral("学术搜索文档下载"), this);
    m_web2->setObjectName(QStringLiteral("Command2"));
    m_quit = new QPushButton(QStringLiteral("退出软件"), this);
    m_quit->setObjectName(QStringLiteral("Command3"));
    m_web1->setEnabled(false);
    m_web2->setEnabled(false);
    for (QWidget *w :
         {static_cast<QWidget *>(m_image), static_cast<QWidget *>(m_loading),
          static_cast<QWidget *>(m_version), static_cast<QWidget *>(notice), static_cast<QWidget *>(m_latest),
          static_cast<QWidget *>(m_web1), static_cast<QWidget *>(m_web2), static_cast<QWidget *>(m_quit)})
        layout->addWidget(w);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(100);
    m_timer1->setSingleShot(true);

    m_http = new uXMLHTTP(this);
    m_http->setObjectName(QStringLiteral("uXMLHTTP2"));
    m_http->SetMaxBodySize(4096); // a version text is a few bytes

    connect(m_timer1, &QTimer::timeout, this, &StartWindow::timer1Tick);
    connect(m_http, &uXMLHTTP::OnDateArrived, this, &StartWindow::versionArrived);
    connect(m_http, &uXMLHTTP::OnDateErr, this, &StartWindow::versionFailed);
    connect(m_web1, &QPushButton::clicked, this, &StartWindow::OpenWebSearch);
    connect(m_web2, &QPushButton::clicked, this, &StartWindow::OpenScholarSearch);
    connect(m_quit, &QPushButton::clicked, this, &QWidget::close);

    // The hub outlives this window: a handler must not reach a deleted one.
    const QPointer<StartWindow> self(this);
    WindowHub::Register(WindowHub::Action::ShowStartWindow, [self](QWidget *) {
        if (!self)
            return;
        self->show();
        self->raise();
    });
    WindowHub::Register(WindowHub::Action::ShowWebSearch, [self](QWidget *) {
        if (self)
            self->OpenWebSearch();
    });
}

void StartWindow::StartUp() {
    setWindowTitle(AppTitle());
    m_version->setText(QStringLiteral("版本:") + VersionText());
    show();
    YieldEvents(this);
    PrepareMachine();
    Shared().fileMaxSize = StoredSizeLimitMb();
    m_timer1->start();
    m_loading->hide();
}

void StartWindow::timer1Tick() {
    m_timer1->stop();
    StartVersionCheck();
    m_web1->setEnabled(true);
    m_web2->setEnabled(true);
}

void StartWindow::StartVersionCheck() {
    const QString url = NewVersionUrl(PublisherUrl());
    if (url.isEmpty())
        return;
    if (m_http->Open_(QStringLiteral("GET"), url))
        m_http->Send_();
}

void StartWindow::versionArrived() {
    const QString reply = m_http->ResponseText();
    if (!IsNewerVersion(reply, RunningVersionValue()))
        return;
    m_latest->setText(NewerVersionLabel(reply));
    m_latest->show();
    OpenWebAddress(ProductPageUrl(PublisherUrl()), false);
}

void StartWindow::versionFailed() {
    Messages::Show(this, QStringLiteral("请保持网络畅通！"), MsgIcon::Error);
}

bool StartWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_latest && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        OpenWebAddress(ProductPageUrl(PublisherUrl()), false);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void StartWindow::OpenWebSearch() {
    hide();
    if (!m_web || IsClosing(m_web))
        m_web = new SearchWindow(Engine::Web);
    m_web->show();
    m_web->raise();
}

void StartWindow::OpenScholarSearch() {
    hide();
    if (!m_scholar || IsClosing(m_scholar))
        m_scholar = new SearchWindow(Engine::Scholar);
    m_scholar->show();
    m_scholar->raise();
}

void StartWindow::closeEvent(QCloseEvent *event) {
    hide();
    WindowHub::ClearBrowserCache(false);
    event->accept();
    // Other windows may refuse to close (a running batch); the program ends all the same.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == this)
            continue;
        // Let a running batch leave its waits before the window goes.
        if (auto *search = qobject_cast<SearchWindow *>(w))
            search->Driver()->SetStopFlags();
        DeleteAfterWaits(w);
    }
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace dh
