// The latest-version check of the start window against a local publisher site.
#include "net/uXMLHTTP.h"
#include "shell/StartWindow.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/AppInfo.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <gtest/gtest.h>

using namespace dh;
using test::DocumentOptions;

namespace {

// Catches the addresses the program hands to the desktop browser.
class BrowserCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class VersionCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.Start());
        SetPublisherUrl(m_server.BaseUrl());
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
        Messages::Clear();
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        SetPublisherUrl({});
    }
    void Serve(const QByteArray &reply)
    {
        m_server.AddDocument(QStringLiteral("/docharvest/newver.txt"), DocumentOptions::Bytes(reply, "text/plain"));
    }
    // Runs one check on a start window and waits until its request ended
    // (the events are raised before the request counts as done).
    void Check(StartWindow &start)
    {
        auto *request = start.findChild<uXMLHTTP *>(QStringLiteral("uXMLHTTP2"));
        ASSERT_TRUE(request);
        const int before = int(m_server.Requests().size());
        start.StartVersionCheck();
        ASSERT_TRUE(WaitUntil([&] { return request->DownOK(); }, 10000));
        EXPECT_EQ(m_server.Requests().size(), before + 1);
    }
    static QLabel *Label3(StartWindow &start) { return start.findChild<QLabel *>(QStringLiteral("Label3")); }
    QString ProductPage() const { return m_server.BaseUrl() + QStringLiteral("/docharvest/"); }

    test::TestServer m_server;
    BrowserCatcher m_browser;
};

TEST_F(VersionCheck, NewerVersionShowsTheClickableLabelOnTheFirstTick)
{
    Serve("9.0.0\r\n");
    StartWindow start;
    start.StartUp();
    ASSERT_TRUE(WaitUntil([&] { return !Label3(start)->isHidden(); }, 5000));
    EXPECT_EQ(Label3(start)->text(), QStringLiteral("有最新版本：V9.0.0可以下载升级"));
    EXPECT_TRUE(start.findChild<QPushButton *>(QStringLiteral("Command1"))->isEnabled());
    ASSERT_EQ(m_server.RequestTargets(), QStringList{QStringLiteral("/docharvest/newver.txt")});
    ASSERT_EQ(m_browser.opened.size(), 1);
    EXPECT_EQ(m_browser.opened.at(0).toString(), ProductPage());
    EXPECT_TRUE(Messages::Shown().isEmpty());

    QMouseEvent click(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(Label3(start), &click);
    ASSERT_EQ(m_browser.opened.size(), 2);
    EXPECT_EQ(m_browser.opened.at(1).toString(), ProductPage());
    start.hide();
}

TEST_F(VersionCheck, SameOrOddRepliesAreIgnoredSilently)
{
    const QByteArray running = VersionText().toLatin1();
    for (const QByteArray &reply : {running, "0" + running, QByteArray("1.2"), QByteArray("1.2.3.4"),
                                    QByteArray("a.b.c"), QByteArray(""), QByteArray(25, '9')}) {
        Serve(reply);
        StartWindow start;
        Check(start);
        EXPECT_TRUE(Label3(start)->isHidden()) << reply.constData();
        EXPECT_TRUE(Messages::Shown().isEmpty()) << reply.constData();
    }
    EXPECT_TRUE(m_browser.opened.isEmpty());
}

TEST_F(VersionCheck, FailuresShowTheMessageOnce)
{
    {
        StartWindow start; // nothing at the address: 404
        Check(start);
        ASSERT_EQ(Messages::Shown().size(), 1);
        EXPECT_EQ(Messages::Last()->text, QStringLiteral("请保持网络畅通！"));
        EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    }
    Messages::Clear();
    StartWindow start;
    m_server.Stop(); // nobody listening
    start.StartVersionCheck();
    ASSERT_TRUE(WaitUntil([&] { return !Messages::Shown().isEmpty(); }, 10000));
    SleepFor(200);
    EXPECT_EQ(Messages::Shown().size(), 1);
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("请保持网络畅通！"));
    EXPECT_TRUE(Label3(start)->isHidden());
}

TEST_F(VersionCheck, NoPublisherMeansNoRequest)
{
    SetPublisherUrl({});
    Serve("9.0.0");
    StartWindow start;
    start.StartUp();
    ASSERT_TRUE(WaitUntil([&] { return start.findChild<QPushButton *>(QStringLiteral("Command1"))->isEnabled(); }, 5000));
    SleepFor(200);
    EXPECT_TRUE(m_server.Requests().isEmpty());
    EXPECT_TRUE(Label3(start)->isHidden());
    start.hide();
}

} // namespace

#include "VersionCheckE2eTest.moc"
