// The HTTP request component against the local server: the events it raises,
// what it writes at the save path, and hostile answers.
#include "net/uXMLHTTP.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/Clock.h"
#include "util/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dh;
using test::DocumentOptions;

namespace {

class HttpRequest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&m_http, &uXMLHTTP::OnDateArrived, &m_http, [this] { ++m_arrived; });
        QObject::connect(&m_http, &uXMLHTTP::OnDateErr, &m_http, [this](const QString &text) { m_failed.append(text); });
        ASSERT_TRUE(m_server.Start());
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override { Clock::SetSpeed(1); }

    // Sends a GET and waits for the request to end (an event or DownOK).
    void Get(const QString &path, const QString &savePath = {})
    {
        ASSERT_TRUE(m_http.Open_(QStringLiteral("get"), m_server.Url(path), savePath));
        m_http.Send_();
        // Ten real seconds, whatever the clock's speed.
        ASSERT_TRUE(WaitUntil([&] { return m_http.DownOK(); }, qint64(10000 * Clock::Speed())));
        YieldEvents();
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    static void Write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    test::TestServer m_server;
    QTemporaryDir m_dir;
    uXMLHTTP m_http;
    int m_arrived = 0;
    QStringList m_failed; // texts of OnDateErr
};

TEST_F(HttpRequest, OkBodyReplacesTheFileAtTheSavePath)
{
    DocumentOptions version = DocumentOptions::Bytes("2.0.0\r\n", "text/plain; charset=utf-8");
    version.headers << qMakePair(QByteArray("x-ODD-case"), QByteArray("1"));
    m_server.AddDocument(QStringLiteral("/v/newver.txt"), version);
    const QString target = Path(QStringLiteral("newver.txt"));
    Write(target, "an older and longer file that must go");

    Get(QStringLiteral("/v/newver.txt"), target);
    EXPECT_EQ(m_arrived, 1);
    EXPECT_EQ(m_failed.count(), 0);
    EXPECT_EQ(m_http.ReadyState(), 4);
    EXPECT_EQ(m_http.Status(), 200);
    EXPECT_EQ(m_http.StatusText(), QStringLiteral("OK"));
    EXPECT_EQ(m_http.ResponseText(), QStringLiteral("2.0.0\r\n"));
    EXPECT_EQ(m_http.ResponseBody(), QByteArray("2.0.0\r\n"));
    EXPECT_EQ(m_http.GetResponseHeader(QStringLiteral("content-type")), QStringLiteral("text/plain; charset=utf-8"));
    // Names in one form on every Qt version; any case finds them.
    EXPECT_TRUE(m_http.GetAllResponseHeaders().contains(QStringLiteral("Content-Length: 7\r\n")));
    EXPECT_TRUE(m_http.GetAllResponseHeaders().contains(QStringLiteral("X-Odd-Case: 1\r\n")));
    EXPECT_EQ(m_http.GetResponseHeader(QStringLiteral("X-ODD-CASE")), QStringLiteral("1"));
    EXPECT_EQ(Read(target), QByteArray("2.0.0\r\n"));
    // Nothing but the target is left in the folder (no temporary file).
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("newver.txt")});

    // The same instance runs the next request; a GBK page reads as text.
    m_server.AddDocument(QStringLiteral("/v/gbk.txt"), DocumentOptions::Bytes("\xd6\xd0\xce\xc4", "text/plain; charset=GBK"));
    Get(QStringLiteral("/v/gbk.txt"));
    EXPECT_EQ(m_arrived, 2);
    EXPECT_EQ(m_http.ResponseText(), QStringLiteral("中文"));
}

TEST_F(HttpRequest, EmptyOkBodyLeavesAnExistingFileAlone)
{
    m_server.AddDocument(QStringLiteral("/v/empty.txt"), DocumentOptions::Bytes({}, "text/plain"));
    const QString target = Path(QStringLiteral("keep.txt"));
    Write(target, "keep me");
    Get(QStringLiteral("/v/empty.txt"), target);
    EXPECT_EQ(m_arrived, 1);
    EXPECT_EQ(m_http.Status(), 200);
    EXPECT_EQ(m_http.ResponseText(), QString());
    EXPECT_EQ(Read(target), QByteArray("keep me"));

    // A save path in a folder that does not exist: no file, no crash, the event all the same.
    m_server.AddDocument(QStringLiteral("/v/a.txt"), DocumentOptions::Bytes("abc", "text/plain"));
    Get(QStringLiteral("/v/a.txt"), Path(QStringLiteral("missing/a.txt")));
    EXPECT_EQ(m_arrived, 2);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("missing/a.txt"))));
}

TEST_F(HttpRequest, ErrorStatusesRaiseTheirTableText)
{
    const QString target = Path(QStringLiteral("keep.txt"));
    Write(target, "keep me");
    Get(QStringLiteral("/no/such/file.txt"), target);
    EXPECT_EQ(m_arrived, 0);
    ASSERT_EQ(m_failed.count(), 1);
    EXPECT_EQ(m_failed.at(0), QStringLiteral("没有发现文件?查询或URl"));
    EXPECT_EQ(m_http.Status(), 404);
    EXPECT_EQ(Read(target), QByteArray("keep me")); // an error page is never saved

    DocumentOptions odd = DocumentOptions::Bytes("odd", "text/plain");
    odd.status = 299;
    m_server.AddDocument(QStringLiteral("/v/odd.txt"), odd);
    Get(QStringLiteral("/v/odd.txt"), target);
    ASSERT_EQ(m_failed.count(), 2);
    EXPECT_EQ(m_failed.at(1), QString());
    EXPECT_EQ(m_http.Status(), 299);
    EXPECT_EQ(Read(target), QByteArray("keep me"));

    EXPECT_EQ(uXMLHTTP::StatusDescription(200), QStringLiteral("交易成功"));
    EXPECT_EQ(uXMLHTTP::StatusDescription(505), QStringLiteral("服务器不支持或拒绝支请求头中指定的HTTP版本"));
    EXPECT_EQ(uXMLHTTP::StatusDescription(600), QString());
    EXPECT_EQ(uXMLHTTP::StatusDescription(601), QString());
    EXPECT_EQ(uXMLHTTP::StatusDescription(-1), QString());
}

TEST_F(HttpRequest, ReadyStateEventOnEveryTickAndAbortSilencesTheRest)
{
    DocumentOptions slow = DocumentOptions::Bytes("late", "text/plain");
    slow.headerDelayMs = 400;
    m_server.AddDocument(QStringLiteral("/v/slow.txt"), slow);

    auto *timer = m_http.findChild<QTimer *>(QStringLiteral("tmrReader"));
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_FALSE(timer->isActive());
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, &m_http, [&] { ++ticks; });
    QList<int> states;
    QObject::connect(&m_http, &uXMLHTTP::OnReadyStateChange, &m_http, [&] { states.append(m_http.ReadyState()); });

    ASSERT_TRUE(m_http.Open_(QStringLiteral("GET"), m_server.Url(QStringLiteral("/v/slow.txt"))));
    m_http.Send_();
    EXPECT_TRUE(timer->isActive());
    ASSERT_TRUE(WaitUntil([&] { return m_http.DownOK(); }, 10000));
    EXPECT_EQ(m_arrived, 1);
    EXPECT_EQ(states.size(), ticks);
    // While the server holds the answer, the state stays 1 tick after tick.
    EXPECT_GE(states.count(1), 5);
    EXPECT_EQ(states.last(), 4);
    EXPECT_FALSE(timer->isActive());

    // A new request, aborted while pending: no event, no more polling.
    ASSERT_TRUE(m_http.Open_(QStringLiteral("GET"), m_server.Url(QStringLiteral("/v/slow.txt"))));
    EXPECT_FALSE(m_http.DownOK());
    const int ticksBefore = ticks;
    m_http.Send_();
    ASSERT_TRUE(WaitUntil([&] { return ticks >= ticksBefore + 3; }, 5000));
    m_http.Abort_();
    const int ticksAtAbort = ticks;
    SleepFor(800);
    EXPECT_EQ(m_arrived, 1);
    EXPECT_EQ(m_failed.count(), 0);
    EXPECT_EQ(ticks, ticksAtAbort);
    EXPECT_FALSE(m_http.DownOK());
    EXPECT_EQ(m_http.ReadyState(), 0);
}

TEST_F(HttpRequest, RefusedRequestsNeverStartPolling)
{
    auto *timer = m_http.findChild<QTimer *>(QStringLiteral("tmrReader"));
    for (const char *url : {"file:///etc/passwd", "javascript:alert(1)", "ftp://127.0.0.1/x", "not a url", ""}) {
        EXPECT_FALSE(m_http.Open_(QStringLiteral("GET"), QString::fromUtf8(url))) << url;
        m_http.Send_();
        EXPECT_FALSE(timer->isActive()) << url;
    }
    EXPECT_FALSE(m_http.Open_(QStringLiteral("GE T"), m_server.Url(QStringLiteral("/"))));
    EXPECT_EQ(m_http.Status(), 0);
    EXPECT_EQ(m_http.ResponseText(), QString());

    // A header value with a line break would smuggle a header: it is dropped.
    ASSERT_TRUE(m_http.Open_(QStringLiteral("GET"), m_server.Url(QStringLiteral("/v/h"))));
    m_http.SetRequestHeader(QStringLiteral("X-Test"), QStringLiteral("a\r\nX-Evil: 1"));
    m_http.SetRequestHeader(QStringLiteral("X-Good"), QStringLiteral("yes"));
    m_http.Send_();
    ASSERT_TRUE(WaitUntil([&] { return m_http.DownOK(); }, 10000));
    ASSERT_FALSE(m_server.Requests().isEmpty());
    const test::LoggedRequest request = m_server.Requests().constLast();
    EXPECT_EQ(request.Header("X-Good"), QByteArray("yes"));
    EXPECT_TRUE(request.Header("X-Evil").isEmpty());
    EXPECT_TRUE(request.Header("X-Test").isEmpty());
}

TEST_F(HttpRequest, HostileAnswersEndAsFailuresWithoutHoldingTheBody)
{
    const QString target = Path(QStringLiteral("keep.txt"));
    Write(target, "keep me");
    m_http.SetMaxBodySize(64 * 1024);

    // Declared too large: refused when the headers arrive.
    m_server.AddDocument(QStringLiteral("/v/big.bin"), DocumentOptions::Bytes(QByteArray(200 * 1024, 'x'), "application/octet-stream"));
    Get(QStringLiteral("/v/big.bin"), target);
    ASSERT_EQ(m_failed.count(), 1);
    EXPECT_EQ(m_failed.at(0), uXMLHTTP::TooLargeText());
    EXPECT_TRUE(m_http.ResponseBody().isEmpty());

    // No length at all: cut once the bytes pass the limit.
    DocumentOptions endless = DocumentOptions::Bytes(QByteArray(4 * 1024 * 1024, 'y'), "text/plain");
    endless.framing = test::Framing::CloseWithoutLength;
    m_server.AddDocument(QStringLiteral("/v/endless.txt"), endless);
    Get(QStringLiteral("/v/endless.txt"), target);
    ASSERT_EQ(m_failed.count(), 2);
    EXPECT_EQ(m_failed.at(1), uXMLHTTP::TooLargeText());
    EXPECT_TRUE(m_http.ResponseBody().isEmpty());
    EXPECT_EQ(m_arrived, 0);
    EXPECT_EQ(Read(target), QByteArray("keep me"));

    // A body that stops arriving ends as a transport failure (status 0, empty text).
    DocumentOptions stalled = DocumentOptions::Bytes(QByteArray(1000, 'z'), "text/plain");
    stalled.stallAfter = 10;
    m_server.AddDocument(QStringLiteral("/v/stalled.txt"), stalled);
    Clock::SetSpeed(200); // the 60 s stall rule passes in 0.3 s
    Get(QStringLiteral("/v/stalled.txt"), target);
    ASSERT_EQ(m_failed.count(), 3);
    EXPECT_EQ(m_failed.at(2), QString());
    EXPECT_EQ(m_http.Status(), 0);
    EXPECT_EQ(m_arrived, 0);
    EXPECT_EQ(Read(target), QByteArray("keep me"));
    Clock::SetSpeed(1);

    // Nobody listening: a transport failure, once.
    const QString gone = m_server.Url(QStringLiteral("/v/a.txt"));
    m_server.Stop();
    ASSERT_TRUE(m_http.Open_(QStringLiteral("GET"), gone, target));
    m_http.Send_();
    ASSERT_TRUE(WaitUntil([&] { return m_http.DownOK(); }, 10000));
    SleepFor(100);
    EXPECT_EQ(m_failed.count(), 4);
    EXPECT_EQ(m_http.Status(), 0);
    EXPECT_EQ(Read(target), QByteArray("keep me"));
}

} // namespace
