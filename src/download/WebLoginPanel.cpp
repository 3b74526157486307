#include "download/WebLoginPanel.h"

#include "net/SiteNames.h"
#include "net/WebBrowserView.h"
#include "util/Clock.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dh {

namespace {

// How often a wait looks again when no event woke it (real time).
constexpr int kRecheckMs = 100;

// Fills every account and password field of the page's INPUT elements in
// document order and clicks the first submit element that comes after two
// filled fields; true when it clicked. A field that refuses its value is
// passed over.
const char kFillScript[] = R"JS(
(function (a) {
  var accounts = ['userid', 'user', 'username', 'useruid'];
  var passwords = ['pass', 'password', 'passwd'];
  var put = function (e, value) {
    try {
      e.value = value;
      e.dispatchEvent(new Event('input', {bubbles: true}));
      e.dispatchEvent(new Event('change', {bubbles: true}));
    } catch (x) {}
  };
  var inputs = Array.prototype.slice.call(document.getElementsByTagName('INPUT'));
  var filled = 0;
  for (var i = 0; i < inputs.length; ++i) {
    var e = inputs[i];
    var name = String(e.getAttribute('name') || '').toLowerCase();
    if (accounts.indexOf(name) >= 0) { ++filled; put(e, a[0]); }
    if (passwords.indexOf(name) >= 0) { ++filled; put(e, a[1]); }
    if (String(e.type || '').toLowerCase() === 'submit' && filled > 1) {
      try { e.click(); } catch (x) {}
      return true;
    }
  }
  return false;
})(%1)
)JS";

const char kIpScript[] = R"JS(
(function () {
  var e = document.getElementById('submitip');
  if (!e) return false;
  try { e.click(); } catch (x) {}
  return true;
})()
)JS";

// Runs `then` once `done` holds or `maxMs` of program time passed. It wakes
// when the view reports a finished page and a few times a second; it goes
// away with its owner, and `then` with it.
class PendingWait : public QObject {
public:
    PendingWait(QObject *owner, WebBrowserView *view, std::function<bool()> done, qint64 maxMs,
                std::function<void()> then)
        : QObject(owner), m_done(std::move(done)), m_then(std::move(then)), m_start(Clock::Now()),
          m_max(maxMs) {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &PendingWait::check);
        if (view)
            connect(view, &WebBrowserView::documentComplete, this, [this] { m_timer.start(0); });
        m_timer.start(0);
    }

private:
    void check() {
        if (!(m_done && m_done()) && Clock::Now() - m_start <= m_max) {
            m_timer.start(kRecheckMs);
            return;
        }
        const std::function<void()> then = std::move(m_then);
        deleteLater();
        if (then)
            then();
    }

    std::function<bool()> m_done;
    std::function<void()> m_then;
    qint64 m_start;
    qint64 m_max;
    QTimer m_timer;
};

// What a login script answers on a page of another site.
const QString kElsewhere = QStringLiteral("elsewhere");

// Runs `script` only while the page is on the login address's site, checked
// in the page at the moment the script runs (a script of the page may have
// moved it on since the program looked).
QString OnLoginSiteOnly(const QString &script, const QUrl &login) {
    const QString host = AsciiHost(login);
    const QJsonArray site{host, RegistrableDomain(host)};
    return QStringLiteral("(function (site) {\n"
                          "  var h = String(location.hostname).toLowerCase(), d = site[1];\n"
                          "  if (h !== site[0] && !(d && (h === d || h.slice(-d.length - 1) === '.' + d)))\n"
                          "    return '%1';\n"
                          "  return %2;\n"
                          "})(%3)")
        .arg(kElsewhere, script.trimmed(),
             QString::fromUtf8(QJsonDocument(site).toJson(QJsonDocument::Compact)));
}

bool blankTitle(const QString &title) {
    return title.trimmed().compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0;
}

} // namespace

WebLoginPanel::WebLoginPanel(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("PicWebBK"));
    setFrameShape(QFrame::StyledPanel);
    m_layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    m_layout->addLayout(grid);

    m_text1 = Named(new QLineEdit(this), "Text1");
    m_text2 = Named(new QLineEdit(this), "Text2");
    m_text3 = Named(new QLineEdit(this), "Text3");
    m_text3->setEchoMode(QLineEdit::Password);
    m_option4 = Named(new QRadioButton(QStringLiteral("帐号登录："), this), "Option4");
    m_option5 = Named(new QRadioButton(QStringLiteral("IP登录"), this), "Option5");
    m_option4->setChecked(true);
    m_check1 = Named(new QCheckBox(QStringLiteral("自动刷新(每分钟)"), this), "Check1");
    m_check2 = Named(new QCheckBox(QStringLiteral("自动登录"), this), "Check2");
    m_combo3 = Named(new QComboBox(this), "Combo3");
    m_combo3->addItem(QStringLiteral("下载到网页文件(htm/html/asp)文件!"));
    m_combo3->setCurrentIndex(0);
    m_command2 = Named(new QPushButton(QStringLiteral("浏览"), this), "Command2");
    m_command3 = Named(new QPushButton(QStringLiteral("关闭(隐藏)"), this), "Command3");
    m_command5 = Named(new QPushButton(QStringLiteral("测试登录"), this), "Command5");

    grid->addWidget(Named(new QLabel(QStringLiteral("网址："), this), "Label6"), 0, 0);
    grid->addWidget(m_text1, 0, 1, 1, 5);
    grid->addWidget(m_command2, 0, 6);
    grid->addWidget(m_command5, 0, 7);
    grid->addWidget(m_command3, 0, 8);
    grid->addWidget(m_option4, 1, 0);
    grid->addWidget(m_text2, 1, 1);
    grid->addWidget(Named(new QLabel(QStringLiteral("密码："), this), "Label10"), 1, 2);
    grid->addWidget(m_text3, 1, 3);
    grid->addWidget(m_option5, 1, 4);
    grid->addWidget(m_check1, 1, 5);
    grid->addWidget(m_check2, 1, 6);
    auto *condition = new QHBoxLayout;
    condition->addWidget(Named(new QLabel(QStringLiteral("自动登录条件："), this), "Label11"));
    condition->addWidget(m_combo3);
    condition->addStretch();
    grid->addLayout(condition, 2, 0, 1, 9);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);

    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    connect(m_timer2, &QTimer::timeout, this, [this] { Web()->Reload(); });
    connect(m_check1, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_timer2->start(Clock::RealInterval(60 * Durations::Second));
        else
            m_timer2->stop();
    });
    connect(m_check2, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            settingsUsable(true);
    });
    connect(m_command2, &QPushButton::clicked, this, [this] { OpenLoginPage(); });
    connect(m_command3, &QPushButton::clicked, this, [this] {
        hide();
        if (!m_check1->isChecked())
            Web()->Navigate(QStringLiteral("about:blank"));
    });
    connect(m_command5, &QPushButton::clicked, this, [this] { AutoLogin(true); });
    hide();
}

WebBrowserView *WebLoginPanel::Web() {
    if (m_web)
        return m_web;
    m_web = new WebBrowserView(this);
    m_web->SetSilent(true);
    QWidget *widget = m_web->Widget();
    widget->setObjectName(QStringLiteral("Web1"));
    m_layout->addWidget(widget, 1);
    connect(m_web, &BrowserView::documentComplete, this, [this] { m_pageWait = false; });
    connect(m_web, &BrowserView::titleChanged, this, [this](const QString &title) {
        if (!blankTitle(title))
            emit TitleChanged(title);
    });
    m_web->Navigate(QStringLiteral("about:blank"));
    return m_web;
}

void WebLoginPanel::ShowPanel(const QString &address) {
    WebBrowserView *web = Web();
    show();
    raise();
    if (!m_check1->isChecked() && !m_check2->isChecked() && !address.isEmpty())
        web->Navigate(address);
}

bool WebLoginPanel::LoginRunning() const {
    return !m_command5->isEnabled();
}

bool WebLoginPanel::AutoLoginTicked() const {
    return m_check2->isChecked();
}

void WebLoginPanel::StopRefresh() {
    m_timer2->stop();
}

bool WebLoginPanel::pageDone() const {
    return !m_pageWait && !(m_web && m_web->IsBusy());
}

void WebLoginPanel::waitForPage(std::function<void()> then) {
    new PendingWait(
        this, Web(), [this] { return pageDone(); }, Durations::LoginPageTimeout, std::move(then));
}

void WebLoginPanel::OpenLoginPage(std::function<void()> then) {
    const QString address = m_text1->text().trimmed();
    if (address.isEmpty()) {
        if (then)
            then();
        return;
    }
    m_command2->setEnabled(false);
    m_pageWait = true;
    Web()->Navigate(address);
    waitForPage([this, then = std::move(then)] {
        m_command2->setEnabled(true);
        if (then)
            then();
    });
}

bool WebLoginPanel::settingsUsable(bool messages) {
    QString problem;
    if (m_text1->text().trimmed().isEmpty())
        problem = QStringLiteral("必须先设置登录网址！");
    else if (m_option4->isChecked() &&
             (m_text2->text().trimmed().isEmpty() || m_text3->text().trimmed().isEmpty()))
        problem = QStringLiteral("帐号登录,必须先设置登录帐号和登录密码！");
    if (problem.isEmpty())
        return true;
    if (messages)
        Messages::Show(this, problem, MsgIcon::Error);
    m_check2->setChecked(false);
    return false;
}

void WebLoginPanel::AutoLogin(bool messages) {
    if (!settingsUsable(messages))
        return;
    if (LoginRunning())
        return;
    m_command5->setEnabled(false);
    OpenLoginPage([this] {
        if (!onLoginSite()) {
            finishLogin();
            return;
        }
        if (m_option4->isChecked())
            fillAndSubmit();
        else
            pressIpLogin();
    });
}

QUrl WebLoginPanel::loginUrl() const {
    return QUrl::fromUserInput(m_text1->text().trimmed());
}

bool WebLoginPanel::onLoginSite() {
    const QUrl page(Web()->CurrentUrl());
    if (SameSite(loginUrl(), page))
        return true;
    noteElsewhere(page);
    return false;
}

void WebLoginPanel::noteElsewhere(const QUrl &page) {
    const QString host = page.host().isEmpty() ? page.toDisplayString() : page.host();
    emit Note(QStringLiteral("当前网页属于其他网站（%1），没有登录。").arg(host));
}

void WebLoginPanel::fillAndSubmit() {
    const QJsonArray values{m_text2->text().trimmed(), m_text3->text().trimmed()};
    const QString script = QString::fromUtf8(kFillScript)
                               .arg(QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)));
    // Set before the click: the page it starts clears it when finished.
    m_pageWait = true;
    Web()->RunScriptAsync(
        OnLoginSiteOnly(script, loginUrl()), int(Durations::LoginPageTimeout),
        [this](const std::optional<QVariant> &clicked) { afterClick(clicked.value_or(false)); });
}

void WebLoginPanel::pressIpLogin() {
    m_pageWait = true;
    Web()->RunScriptAsync(
        OnLoginSiteOnly(QString::fromUtf8(kIpScript), loginUrl()), int(Durations::LoginPageTimeout),
        [this](const std::optional<QVariant> &clicked) { afterClick(clicked.value_or(false)); });
}

void WebLoginPanel::afterClick(const QVariant &clicked) {
    if (clicked.toString() == kElsewhere)
        noteElsewhere(QUrl(Web()->CurrentUrl()));
    if (clicked.typeId() != QMetaType::Bool || !clicked.toBool()) {
        m_pageWait = false; // nothing was pressed, no page to wait for
        finishLogin();
        return;
    }
    waitForPage([this] { finishLogin(); });
}

void WebLoginPanel::finishLogin() {
    // The pause lets the site settle its session before the next login may start.
    new PendingWait(this, nullptr, {}, Durations::LoginPause, [this] { m_command5->setEnabled(true); });
}

} // namespace dh
