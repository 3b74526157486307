// Transfer method one through the download window against the local server.
#include "download/DownloadWindow.h"
#include "net/WebBrowserView.h"
#include "net/WebSession.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QNetworkCookieJar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <gtest/gtest.h>

using namespace dh;

namespace {

class TransferOne : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        Shared().fileMaxSize = 10;
        m_window = new DownloadWindow;
        m_window->SetMethod(1);
        m_folder = m_dir.path() + QLatin1Char('/');
    }
    void TearDown() override {
        Messages::QueueAnswer(QStringLiteral("yes"));
        m_window->close();
        Clock::SetSpeed(1);
    }
    int Add(const QString &url, const QString &title, const QString &type, const QString &referrer = {}) {
        DownloadListModel *m = m_window->Model();
        m->加入下载列表(url, title, type, m_folder, referrer);
        return m->RowOfKey(url);
    }
    // Runs the scheduler until the list is finished.
    bool RunAll(qint64 maxMs = 20000) {
        m_window->StartDownloading();
        return WaitUntil([&] { return m_window->Model()->检测是否下载列表完毕() && !m_window->BusyFlag(); },
                         maxMs);
    }
    const DownloadItem &Item(int row) const { return m_window->Model()->Item(row); }

    test::TestServer m_server;
    QTemporaryDir m_dir;
    QString m_folder;
    DownloadWindow *m_window = nullptr;
};

} // namespace

TEST_F(TransferOne, LengthNoLengthAndFallbackEndWithTheFileOnDisk) {
    test::DocumentOptions known;
    known.body = QByteArray("%PDF-1.4\n") + QByteArray(4991, 'x');
    m_server.AddDocument(QStringLiteral("/a.pdf"), known);
    test::DocumentOptions noLength = known;
    noLength.framing = test::Framing::CloseWithoutLength;
    m_server.AddDocument(QStringLiteral("/b.pdf"), noLength);
    test::DocumentOptions success = noLength;
    success.reason = "Success";
    m_server.AddDocument(QStringLiteral("/c.pdf"), success);
    // An HTML page where a document was expected gets its true extension.
    m_server.AddDocument(QStringLiteral("/d.pdf"),
                         test::DocumentOptions::Html(
                             QStringLiteral("<html><head><title>x</title></head><body>login</body></html>")));

    const int a = Add(m_server.DocumentUrl(QStringLiteral("/a.pdf")), QStringLiteral("甲"),
                      QStringLiteral("PDF"), QStringLiteral("http://page.example/list"));
    const int b =
        Add(m_server.DocumentUrl(QStringLiteral("/b.pdf")), QStringLiteral("乙"), QStringLiteral("pdf"));
    const int c =
        Add(m_server.DocumentUrl(QStringLiteral("/c.pdf")), QStringLiteral("丙"), QStringLiteral("pdf"));
    const int d =
        Add(m_server.DocumentUrl(QStringLiteral("/d.pdf")), QStringLiteral("丁"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());

    EXPECT_EQ(Item(a).state, ItemState::Done);
    EXPECT_EQ(Item(a).size, QStringLiteral("5000"));
    EXPECT_EQ(Item(a).received, QStringLiteral("5000"));
    EXPECT_EQ(Item(a).percent, QStringLiteral("100%"));
    EXPECT_EQ(QFile(m_folder + QStringLiteral("甲.pdf")).size(), 5000);

    EXPECT_EQ(Item(b).state, ItemState::Done);
    EXPECT_EQ(Item(b).size, QStringLiteral("5000"));
    EXPECT_EQ(Item(b).percent, QStringLiteral("100%"));

    EXPECT_EQ(Item(c).state, ItemState::Done) << "fallback";
    EXPECT_EQ(Item(c).received, QStringLiteral("5000"));
    EXPECT_TRUE(QFile::exists(m_folder + QStringLiteral("丙.pdf")));

    EXPECT_EQ(Item(d).state, ItemState::Done);
    EXPECT_EQ(Item(d).type, QStringLiteral("htm")); // media type text/html
    EXPECT_TRUE(QFile::exists(m_folder + QStringLiteral("丁.htm")));

    // The referrer, or the site root when there is none.
    bool sawReferrer = false, sawRoot = false;
    for (const test::LoggedRequest &r : m_server.Requests()) {
        sawReferrer |=
            r.path == QStringLiteral("/a.pdf") && r.referer == QByteArray("http://page.example/list");
        sawRoot |= r.path == QStringLiteral("/b.pdf") && r.referer.startsWith("http://127.0.0.1:");
    }
    EXPECT_TRUE(sawReferrer);
    EXPECT_TRUE(sawRoot);
}

TEST_F(TransferOne, SizeLimitIsStrictAndTestedBeforeAnyByteIsWritten) {
    test::DocumentOptions exact;
    exact.size = 10 * 1024 * 1024;
    exact.type = QStringLiteral("pdf");
    m_server.AddDocument(QStringLiteral("/exact.pdf"), exact);
    test::DocumentOptions over = exact;
    over.size = exact.size + 1;
    m_server.AddDocument(QStringLiteral("/over.pdf"), over);
    const int e = Add(m_server.DocumentUrl(QStringLiteral("/exact.pdf")), QStringLiteral("exact"),
                      QStringLiteral("pdf"));
    const int o =
        Add(m_server.DocumentUrl(QStringLiteral("/over.pdf")), QStringLiteral("over"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll(60000));
    EXPECT_EQ(Item(e).state, ItemState::Done);
    EXPECT_EQ(Item(e).percent, QStringLiteral("100%"));
    EXPECT_EQ(QFile(m_folder + QStringLiteral("exact.pdf")).size(), 10 * 1024 * 1024);
    EXPECT_EQ(Item(o).state, ItemState::Done);
    EXPECT_EQ(Item(o).percent, QStringLiteral("大文件，跳过"));
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("over.pdf")));
}

TEST_F(TransferOne, StopDuringStreamingDeletesThePartialFile) {
    test::DocumentOptions slow;
    slow.size = 400000;
    slow.type = QStringLiteral("pdf");
    slow.bytesPerSecond = 40000;
    m_server.AddDocument(QStringLiteral("/slow.pdf"), slow);
    const int s =
        Add(m_server.DocumentUrl(QStringLiteral("/slow.pdf")), QStringLiteral("slow"), QStringLiteral("pdf"));
    QTimer::singleShot(2500, m_window,
                       [this] { m_window->findChild<QPushButton *>(QStringLiteral("Command31"))->click(); });
    m_window->StartDownloading();
    EXPECT_TRUE(
        WaitUntil([&] { return Item(s).state == ItemState::Failed && !m_window->BusyFlag(); }, 20000));
    EXPECT_EQ(Item(s).size, QStringLiteral("下载取消"));
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("slow.pdf")));
}

TEST_F(TransferOne, OnlyHttpAddressesAreFetched) {
    m_server.ClearRequests();
    const int f = Add(QStringLiteral("file:///etc/passwd"), QStringLiteral("passwd"), QStringLiteral("pdf"));
    const int j = Add(QStringLiteral("javascript:alert(1)"), QStringLiteral("js"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(f).state, ItemState::Failed);
    EXPECT_EQ(Item(j).state, ItemState::Failed);
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("passwd.pdf")));
}

TEST_F(TransferOne, SameNameRules) {
    m_server.AddDocument(QStringLiteral("/r.pdf"),
                         test::DocumentOptions::Bytes("%PDF-1.4 new", "application/pdf"));
    auto existing = [&] {
        QFile old(m_folder + QStringLiteral("r.pdf"));
        old.open(QIODevice::WriteOnly);
        old.write("old");
    };
    existing();
    const QString url = m_server.DocumentUrl(QStringLiteral("/r.pdf"));
    // skip
    m_window->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
    int row = Add(url, QStringLiteral("r"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).percent, QStringLiteral("已存在，跳过"));
    EXPECT_EQ(Item(row).size, QStringLiteral("3"));
    // rename
    m_window->findChild<QRadioButton *>(QStringLiteral("Option3"))->setChecked(true);
    m_window->Model()->RequeueItem(row);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).name, QStringLiteral("r[001]"));
    EXPECT_TRUE(QFile::exists(m_folder + QStringLiteral("r[001].pdf")));
    // overwrite
    m_window->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
    m_window->Model()->SetText(row, DownloadListModel::NameColumn, QStringLiteral("r"));
    m_window->Model()->RequeueItem(row);
    ASSERT_TRUE(RunAll());
    QFile now(m_folder + QStringLiteral("r.pdf"));
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), QByteArray("%PDF-1.4 new"));
}

TEST_F(TransferOne, CloseAsksWhileTheListIsUnfinished) {
    Add(m_server.DocumentUrl(QStringLiteral("/never.pdf")), QStringLiteral("n"), QStringLiteral("pdf"));
    Messages::Clear();
    Messages::QueueAnswer(QStringLiteral("no"));
    EXPECT_FALSE(m_window->close());
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Question);
}

TEST_F(TransferOne, StalledBodyFailsAndTheHeadersNameTheType) {
    Clock::SetSpeed(100); // the 120 s stall passes in about a second
    test::DocumentOptions stalled;
    stalled.size = 100000;
    stalled.type = QStringLiteral("pdf");
    stalled.stallAfter = 1000;
    m_server.AddDocument(QStringLiteral("/stall.pdf"), stalled);
    // application/octet-stream maps to nothing: the suggested name gives the type.
    test::DocumentOptions named = test::DocumentOptions::Bytes("{\\rtf1 hello}", "application/octet-stream");
    named.contentDisposition = "attachment; filename=\"%E6%8A%A5%E5%91%8A.rtf\"; charset=utf-8";
    m_server.AddDocument(QStringLiteral("/get"), named);
    const int s = Add(m_server.DocumentUrl(QStringLiteral("/stall.pdf")), QStringLiteral("stall"),
                      QStringLiteral("pdf"));
    const int n =
        Add(m_server.DocumentUrl(QStringLiteral("/get")), QStringLiteral("名字"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll(600000));
    EXPECT_EQ(Item(s).state, ItemState::Failed);
    EXPECT_EQ(Item(s).size, QStringLiteral("下载失败"));
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("stall.pdf")));
    EXPECT_EQ(Item(n).state, ItemState::Done);
    EXPECT_EQ(Item(n).type, QStringLiteral("rtf"));
    EXPECT_TRUE(QFile::exists(m_folder + QStringLiteral("名字.rtf")));
}

// A login made in the browser session is seen by the downloads.
TEST_F(TransferOne, CookieFromTheBrowserSessionOpensAProtectedDocument) {
    test::DocumentOptions doc;
    doc.body = QByteArray("%PDF-1.4\n") + QByteArray(3000, 'y');
    doc.requiresLogin = true;
    m_server.SetLogin({});
    m_server.AddDocument(QStringLiteral("/secret.pdf"), doc);
    const QUrl url(m_server.DocumentUrl(QStringLiteral("/secret.pdf")));

    // Without the cookie the server answers with its login page.
    const int before =
        Add(url.toString() + QStringLiteral("?first"), QStringLiteral("前"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(before).type, QStringLiteral("htm")) << "without the cookie the login page arrives";

    // Log in inside a browser view; the server sets its session cookie there.
    WebBrowserView view;
    view.Navigate(m_server.LoginUrl());
    ASSERT_TRUE(
        WaitUntil([&] { return !WebSession::Instance().CookieJar()->cookiesForUrl(url).isEmpty(); }, 20000));

    const int row = Add(url.toString(), QStringLiteral("后"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).state, ItemState::Done);
    EXPECT_EQ(Item(row).type, QStringLiteral("pdf"));
    QFile file(m_folder + QStringLiteral("后.pdf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), doc.body);
    WebSession::Instance().Profile()->cookieStore()->deleteAllCookies();
}

// The scheduler's own rules, driven tick by tick.
TEST_F(TransferOne, SchedulerRules) {
    // An empty list turns the scheduler off at its first tick.
    m_window->StartDownloading();
    EXPECT_TRUE(m_window->SchedulerOn());
    m_window->SchedulerTick();
    EXPECT_FALSE(m_window->SchedulerOn());

    // The pause is counted from the load (or the last finish).
    m_server.AddDocument(QStringLiteral("/p.pdf"),
                         test::DocumentOptions::Bytes(QByteArray("%PDF-1.4\nabc"), "application/pdf"));
    auto *pause = m_window->findChild<QComboBox *>(QStringLiteral("Combo2"));
    ASSERT_NE(pause, nullptr);
    pause->setCurrentText(QStringLiteral("5"));
    const int row =
        Add(m_server.DocumentUrl(QStringLiteral("/p.pdf")), QStringLiteral("停"), QStringLiteral("pdf"));
    m_window->SchedulerTick();
    EXPECT_EQ(Item(row).state, ItemState::Waiting);
    Clock::Advance(6000);
    m_window->SchedulerTick();
    EXPECT_TRUE(WaitUntil([&] { return Item(row).state == ItemState::Done; }, 10000));

    // Four web pages and one failed document stop a running scheduler.
    auto *stopRule = m_window->findChild<QCheckBox *>(QStringLiteral("Check5"));
    ASSERT_NE(stopRule, nullptr);
    stopRule->setChecked(true);
    DownloadListModel *m = m_window->Model();
    for (int i = 0; i < 4; ++i)
        m->加入下载列表(QStringLiteral("http://127.0.0.1:1/p%1.html").arg(i), QStringLiteral("页"),
                        QStringLiteral("html"), m_folder, {});
    m_window->StartDownloading();
    m_window->SupervisorTick();
    EXPECT_TRUE(m_window->SchedulerOn()) << "four problems are not yet enough";
    m->SetState(row, ItemState::Failed);
    m_window->SupervisorTick();
    EXPECT_FALSE(m_window->SchedulerOn());
}
