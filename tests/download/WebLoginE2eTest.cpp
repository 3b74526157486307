// The web login area of the download window against the local server's
// login pages, with the real browser view: the form is filled and submitted
// once, the documents behind the login then download with both methods, and
// a transfer that brought a login page logs in by itself.
#include "DownloadWindowKit.h"
#include "download/WebLoginPanel.h"
#include "net/WebBrowserView.h"
#include "net/WebSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkCookieJar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace dh {
namespace {

class WebLogin : public ::testing::Test {
protected:
    void SetUp() override { Messages::Clear(); }
    void TearDown() override {
        kit.Close();
        Messages::Clear();
        WebSession::Instance().Profile()->cookieStore()->deleteAllCookies();
    }

    // Opens the window with a login page that sets `cookie` (a name of its own
    // per test: cookies do not tell the ports of the local server apart).
    void Open(int method, test::LoginOptions login) {
        Clock::SetSpeed(4); // the five-second pause after a login, the supervisor's ticks
        kit.Open(method);
        kit.server.SetLogin(login);
        panel = kit.window->LoginPanel();
        ASSERT_NE(panel, nullptr);
    }
    template <class T> T *Control(const char *name) const {
        T *control = panel->findChild<T *>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void Fill(const QString &account, const QString &password) {
        Control<QLineEdit>("Text1")->setText(QStringLiteral("  ") + kit.server.LoginUrl() +
                                             QStringLiteral(" "));
        Control<QLineEdit>("Text2")->setText(account);
        Control<QLineEdit>("Text3")->setText(password);
    }
    // The view shows `url` (a first page starts the renderer, which may take a while).
    bool Load(const QString &url) {
        WebBrowserView *web = panel->Web();
        web->Navigate(url);
        return WaitUntil([&] { return !web->IsBusy() && web->CurrentUrl() == url; }, 120000);
    }
    int Posts(const char *path) const {
        int n = 0;
        for (const test::LoggedRequest &r : kit.server.Requests())
            n += r.method == QLatin1String("POST") && r.path == QLatin1String(path);
        return n;
    }
    bool LoggedIn(const QByteArray &cookie) const {
        const QList<QNetworkCookie> cookies = WebSession::Instance().CookieJar()->cookiesForUrl(
            QUrl(kit.server.BaseUrl() + QStringLiteral("/")));
        return std::any_of(cookies.begin(), cookies.end(),
                           [&](const QNetworkCookie &c) { return c.name() + '=' + c.value() == cookie; });
    }
    bool LoginOver() const { return !panel->LoginRunning(); }

    test::DownloadWindowKit kit;
    WebLoginPanel *panel = nullptr;
};

test::LoginOptions Account(const QByteArray &cookie) {
    test::LoginOptions login;
    login.cookie = cookie;
    login.account = QStringLiteral("张三");
    login.password = QStringLiteral("p&ss 1");
    return login;
}

// Fields named in mixed case, the submit element after them: filled and
// submitted once; the protected document then downloads with method one and
// with method two.
TEST_F(WebLogin, AccountLoginThenBothMethodsDownloadBehindIt) {
    test::LoginOptions login = Account("dh_both=ok");
    login.accountField = QStringLiteral("UserName");
    login.passwordField = QStringLiteral("PassWord");
    Open(1, login);
    test::DocumentOptions doc;
    doc.body = QByteArray("%PDF-1.4\n") + QByteArray(5000, 's');
    doc.requiresLogin = true;
    kit.server.AddDocument(QStringLiteral("/secret.pdf"), doc);
    const QString url = kit.server.DocumentUrl(QStringLiteral("/secret.pdf"));

    ASSERT_TRUE(Load(kit.server.LoginUrl()));
    Fill(login.account, login.password);
    auto *test = Control<QPushButton>("Command5");
    test->click();
    EXPECT_FALSE(test->isEnabled()) << "a login is running";
    const qint64 start = Clock::Now();
    ASSERT_TRUE(WaitUntil([&] { return LoginOver(); }, 60000));
    EXPECT_GE(Clock::Now() - start, Durations::LoginPause);
    EXPECT_TRUE(Messages::Shown().isEmpty());
    EXPECT_EQ(Posts("/login/submit"), 1);
    ASSERT_TRUE(WaitUntil([&] { return LoggedIn(login.cookie); }, 10000));

    const int one = kit.Add(url + QStringLiteral("?one"), QStringLiteral("一"), QStringLiteral("pdf"));
    ASSERT_TRUE(kit.RunAll());
    EXPECT_EQ(kit.Item(one).state, ItemState::Done);
    EXPECT_EQ(kit.Read(QStringLiteral("一.pdf")), doc.body);

    kit.window->SetMethod(2);
    const int two = kit.Add(url + QStringLiteral("?two"), QStringLiteral("二"), QStringLiteral("pdf"));
    ASSERT_TRUE(kit.RunAll());
    EXPECT_EQ(kit.Item(two).state, ItemState::Done);
    EXPECT_EQ(kit.Read(QStringLiteral("二.pdf")), doc.body);
    EXPECT_EQ(Posts("/login/submit"), 1);
}

// Forms the fields walk passes over: a submit element before the fields is
// not pressed (the fields are filled all the same); two "user" fields count
// as two and press the submit element after them.
TEST_F(WebLogin, SubmitOnlyAfterTwoFilledFields) {
    test::LoginOptions login = Account("dh_order=ok");
    login.formHtml =
        QStringLiteral("<form action=\"/login/submit\" method=\"post\"><input type=\"SUBMIT\" value=\"go\">"
                       "<input name=\"username\"><input name=\"Passwd\" type=\"password\"></form>");
    Open(2, login);
    ASSERT_TRUE(Load(kit.server.LoginUrl()));
    Fill(QStringLiteral("甲"), QStringLiteral("乙"));
    panel->AutoLogin(true);
    ASSERT_TRUE(WaitUntil([&] { return LoginOver(); }, 60000));
    EXPECT_EQ(Posts("/login/submit"), 0);
    QStringList values;
    for (const SnapInput &input : panel->Web()->Inputs())
        values << input.value;
    EXPECT_EQ(values, (QStringList{QStringLiteral("go"), QStringLiteral("甲"), QStringLiteral("乙")}));

    login.formHtml = QStringLiteral(
        "<form action=\"/login/submit\" method=\"post\"><input name=\"user\"><input name=\"USER\">"
        "<input type=\"submit\"><input type=\"submit\" name=\"second\"></form>");
    kit.server.SetLogin(login);
    panel->AutoLogin(true);
    ASSERT_TRUE(WaitUntil([&] { return LoginOver(); }, 60000));
    EXPECT_EQ(Posts("/login/submit"), 1);
}

// A login address that redirects to another site: nothing is typed into the
// page it ends on, nothing is submitted, and status panel 3 says why.
TEST_F(WebLogin, NothingIsFilledIntoAPageOfAnotherSite) {
    test::LoginOptions login = Account("dh_elsewhere=ok");
    Open(1, login);
    QString elsewhere = kit.server.LoginUrl();
    elsewhere.replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    ASSERT_NE(elsewhere, kit.server.LoginUrl());
    test::DocumentOptions away;
    away.redirectTo = elsewhere;
    kit.server.AddDocument(QStringLiteral("/away"), away);
    Fill(login.account, login.password);
    Control<QLineEdit>("Text1")->setText(kit.server.Url(QStringLiteral("/away")));
    panel->AutoLogin(true);
    ASSERT_TRUE(WaitUntil([&] { return LoginOver(); }, 60000));
    ASSERT_EQ(QUrl(panel->Web()->CurrentUrl()).host(), QStringLiteral("localhost"));
    EXPECT_EQ(Posts("/login/submit"), 0);
    for (const SnapInput &input : panel->Web()->Inputs()) {
        EXPECT_NE(input.value, login.account);
        EXPECT_NE(input.value, login.password);
    }
    auto *note = kit.window->findChild<QLabel *>(QStringLiteral("StatusPanel3"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("当前网页属于其他网站（localhost），没有登录。"));
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

// IP login: the "submitip" element is pressed when there is one; on a page
// without it nothing is pressed and Command5 comes back after the pause.
TEST_F(WebLogin, IpLogin) {
    test::LoginOptions login;
    login.cookie = "dh_ip=ok";
    login.account = QStringLiteral("someone"); // opening the page alone does not log in
    login.formHtml = QStringLiteral(
        "<form action=\"/login/ip\" method=\"post\"><input type=\"submit\" id=\"other\"></form>");
    Open(2, login);
    ASSERT_TRUE(Load(kit.server.LoginUrl()));
    Control<QLineEdit>("Text1")->setText(kit.server.LoginUrl());
    Control<QRadioButton>("Option5")->setChecked(true);
    auto *test = Control<QPushButton>("Command5");
    test->click();
    EXPECT_FALSE(test->isEnabled());
    const qint64 start = Clock::Now();
    ASSERT_TRUE(WaitUntil([&] { return test->isEnabled(); }, 60000));
    EXPECT_GE(Clock::Now() - start, Durations::LoginPause);
    EXPECT_EQ(Posts("/login/ip"), 0);
    EXPECT_TRUE(Messages::Shown().isEmpty()) << "IP login needs no account";

    login.formHtml.clear(); // the page with "submitip"
    kit.server.SetLogin(login);
    test->click();
    ASSERT_TRUE(WaitUntil([&] { return test->isEnabled(); }, 60000));
    EXPECT_EQ(Posts("/login/ip"), 1);
    EXPECT_TRUE(WaitUntil([&] { return LoggedIn(login.cookie); }, 10000));
}

// A download that brings the site's login page instead of the document logs
// in by itself; the automatic re-download of web pages then fetches the
// document.
TEST_F(WebLogin, AutomaticLoginAfterALoginPageArrived) {
    const test::LoginOptions login = Account("dh_auto=ok");
    Open(2, login);
    test::DocumentOptions doc;
    doc.body = QByteArray("%PDF-1.4\n") + QByteArray(4000, 'a');
    doc.requiresLogin = true;
    kit.server.AddDocument(QStringLiteral("/auto.pdf"), doc);
    ASSERT_TRUE(Load(kit.server.LoginUrl()));

    Fill(login.account, login.password);
    Control<QCheckBox>("Check2")->click();
    ASSERT_TRUE(Control<QCheckBox>("Check2")->isChecked());
    kit.Control<QComboBox>("Combo4")->setCurrentIndex(1); // web-page items
    kit.Control<QCheckBox>("Check3")->setChecked(true);
    const int row = kit.Add(kit.server.DocumentUrl(QStringLiteral("/auto.pdf")), QStringLiteral("自动"),
                            QStringLiteral("pdf"));
    kit.window->StartDownloading();
    ASSERT_TRUE(WaitUntil(
        [&] { return kit.Item(row).state == ItemState::Done && kit.Item(row).type == QStringLiteral("pdf"); },
        120000));
    EXPECT_EQ(kit.Read(QStringLiteral("自动.pdf")), doc.body);
    EXPECT_GE(Posts("/login/submit"), 1);
    EXPECT_TRUE(LoggedIn(login.cookie));
    EXPECT_TRUE(Messages::Shown().isEmpty()) << "the automatic login shows nothing";
    kit.window->StopDownloading();
    ASSERT_TRUE(WaitUntil([&] { return LoginOver(); }, 60000));
}

// Closing the window while a login waits for its page ends the login with
// the window; nothing of it runs afterwards.
TEST_F(WebLogin, ClosingTheWindowDuringALogin) {
    Open(2, Account("dh_close=ok"));
    ASSERT_TRUE(Load(kit.server.LoginUrl()));
    kit.server.SetLogin([] {
        test::LoginOptions slow = Account("dh_close=ok");
        slow.formHtml = QStringLiteral("<img src=\"/docs/slow.gif\">"); // the page never finishes
        return slow;
    }());
    test::DocumentOptions never;
    never.stallAfter = 0;
    kit.server.AddDocument(QStringLiteral("/docs/slow.gif"), never);
    Fill(QStringLiteral("a"), QStringLiteral("b"));
    panel->AutoLogin(true);
    ASSERT_TRUE(panel->LoginRunning());
    kit.Close();
    ASSERT_TRUE(WaitUntil([&] { return kit.window.isNull(); }, 10000));
    SleepFor(1500); // the page wait and the script answer would have come by now
    EXPECT_EQ(Posts("/login/submit"), 0);
}

// A page whose script spins leaves its renderer stuck once a script of the
// area got no answer, so the area's next navigation ends that renderer and
// waits for it. The window closed in that wait goes at once and outlives
// only the code below the wait.
TEST_F(WebLogin, ClosingTheWindowWhileTheAreaEndsAStuckPage) {
    Open(2, Account("dh_stuck=ok"));
    kit.server.AddDocument(QStringLiteral("/spin.html"),
                           test::DocumentOptions::Html(QStringLiteral(
                               "<html><body><script>window.addEventListener('load', function () {"
                               "setTimeout(function () { document.title = 'spinning'; while (true) {} }, 0);"
                               "});</script></body></html>")));
    WebBrowserView *web = panel->Web();
    bool spinning = false;
    QObject::connect(web, &BrowserView::titleChanged, panel, [&](const QString &title) {
        spinning = spinning || title == QLatin1String("spinning");
    });
    const QString spin = kit.server.Url(QStringLiteral("/spin.html"));
    web->Navigate(spin);
    ASSERT_TRUE(WaitUntil([&] { return spinning; }, 120000));
    std::optional<std::optional<QVariant>> answer;
    web->RunScriptAsync(QStringLiteral("1"), 300, [&](std::optional<QVariant> value) { answer = value; });
    ASSERT_TRUE(WaitUntil([&] { return answer.has_value(); }, 10000));
    ASSERT_FALSE(answer->has_value());

    Control<QLineEdit>("Text1")->setText(spin);
    bool closed = false;
    QTimer::singleShot(0, qApp, [&] { closed = kit.window && kit.window->close(); });
    Control<QPushButton>("Command2")->click();
    EXPECT_TRUE(closed);
    ASSERT_FALSE(kit.window.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(kit.window.isNull());
    SleepFor(500);
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

// The checks of Check2 and of a login without its settings: messages only
// when asked for, Check2 cleared in every case.
TEST_F(WebLogin, MissingSettings) {
    Open(2, {});
    auto *check2 = Control<QCheckBox>("Check2");
    check2->click();
    EXPECT_FALSE(check2->isChecked());
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("必须先设置登录网址！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);

    Fill(QStringLiteral("a"), QStringLiteral("   "));
    Messages::Clear();
    check2->click();
    EXPECT_FALSE(check2->isChecked());
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("帐号登录,必须先设置登录帐号和登录密码！"));

    // From a transfer: no message, Check2 cleared, nothing started.
    check2->setChecked(true);
    Messages::Clear();
    panel->AutoLogin(false);
    EXPECT_TRUE(Messages::Shown().isEmpty());
    EXPECT_FALSE(check2->isChecked());
    EXPECT_FALSE(panel->LoginRunning());

    // IP login needs only the address.
    Control<QRadioButton>("Option5")->setChecked(true);
    check2->click();
    EXPECT_TRUE(check2->isChecked());
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

// Command1 shows the area and the selected item's first address; titles go to
// panel 3; a new-window link opens in Web1; Check1 reloads every minute;
// Command3 hides the area and blanks the view.
TEST_F(WebLogin, AreaViewAndRefresh) {
    kit.Open(2);
    panel = kit.window->LoginPanel();
    kit.server.AddDocument(
        QStringLiteral("/first.html"),
        test::DocumentOptions::Html(QStringLiteral(
            "<html><head><title>第一页</title></head><body>"
            "<a id=\"pop\" href=\"/second.html\" target=\"_blank\">新窗口</a></body></html>")));
    kit.server.AddDocument(
        QStringLiteral("/second.html"),
        test::DocumentOptions::Html(QStringLiteral("<html><head><title>第二页</title></head></html>")));
    const QString first = kit.server.Url(QStringLiteral("/first.html"));
    const int row = kit.Add(first + QStringLiteral("|http://other.example/"), QStringLiteral("页"),
                            QStringLiteral("htm"));
    kit.window->View()->setCurrentIndex(kit.window->Model()->index(row, 0));
    EXPECT_FALSE(panel->isVisible());
    kit.window->show();
    kit.Control<QPushButton>("Command1")->click();
    EXPECT_TRUE(panel->isVisible());
    WebBrowserView *web = panel->Web();
    ASSERT_TRUE(WaitUntil([&] { return !web->IsBusy() && web->CurrentUrl() == first; }, 30000));
    auto *panel3 = kit.Control<QLabel>("StatusPanel3");
    EXPECT_TRUE(WaitUntil([&] { return panel3->text() == QStringLiteral("第一页"); }, 10000));

    const int windows = QApplication::topLevelWidgets().size();
    web->Click(web->ElementById(QStringLiteral("pop")));
    EXPECT_TRUE(WaitUntil(
        [&] { return web->CurrentUrl() == kit.server.Url(QStringLiteral("/second.html")) && !web->IsBusy(); },
        30000));
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    EXPECT_TRUE(WaitUntil([&] { return panel3->text() == QStringLiteral("第二页"); }, 10000));

    const auto loads = [&] {
        int n = 0;
        for (const test::LoggedRequest &r : kit.server.Requests())
            n += r.path == QLatin1String("/second.html");
        return n;
    };
    const int before = loads();
    auto *check1 = Control<QCheckBox>("Check1");
    Clock::SetSpeed(600); // a minute is 100 ms
    check1->click();
    EXPECT_TRUE(WaitUntil([&] { return loads() >= before + 2; }, 6000000)) << "two reloads in a few minutes";
    check1->click();
    Clock::SetSpeed(1);
    auto *timer2 = panel->findChild<QTimer *>(QStringLiteral("Timer2"));
    ASSERT_NE(timer2, nullptr);
    EXPECT_FALSE(timer2->isActive());

    Control<QPushButton>("Command3")->click();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return web->CurrentUrl() == QStringLiteral("about:blank"); }, 10000));
}

// CancelSelected refuses while a transfer is busy.
TEST_F(WebLogin, CancelSelectedRefusedWhileBusy) {
    kit.Open(1);
    test::DocumentOptions slow;
    slow.size = 100000;
    slow.stallAfter = 10;
    const int running = kit.AddDocument(QStringLiteral("/docs/slow.pdf"), slow, QStringLiteral("慢"));
    const int waiting = kit.Add(kit.server.DocumentUrl(QStringLiteral("/docs/later.pdf")),
                                QStringLiteral("后"), QStringLiteral("pdf"));
    kit.window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return kit.window->BusyFlag(); }, 10000));
    kit.window->View()->selectAll();
    auto *cancel = kit.window->findChild<QAction *>(QStringLiteral("menu取消下载选中项"));
    ASSERT_NE(cancel, nullptr);
    cancel->trigger();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("停止下载后方可设置！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    EXPECT_EQ(kit.Item(waiting).state, ItemState::Waiting);
    EXPECT_EQ(kit.Item(running).state, ItemState::Downloading);
}

} // namespace
} // namespace dh
