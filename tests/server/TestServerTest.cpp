// The local test server itself: the search, paging and download tests rely on
// its pages, its log and its headers being exactly what was configured.
#include "support/TestServer.h"
#include "support/QtPrinters.h"
#include "support/TestHelpers.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <gtest/gtest.h>

using namespace dh::test;

namespace {

struct RawResponse {
    QByteArray head; // status line and headers, without the blank line
    QByteArray body;
    bool closed = false; // the server closed the connection

    QByteArray StatusLine() const { return head.left(head.indexOf("\r\n")); }
    bool HasHeader(const QByteArray &name) const
    {
        return head.toLower().contains("\r\n" + name.toLower() + ":");
    }
};

// Sends a request byte for byte and reads until the server closes or the
// time is up, so that status lines and framing can be checked as sent.
RawResponse RawRequest(int port, const QByteArray &request, int timeoutMs = 5000)
{
    RawResponse out;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return out;
    }
    ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray all;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[8192];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            out.closed = true;
            break;
        }
        all.append(buf, n);
    }
    ::close(fd);
    const qsizetype end = all.indexOf("\r\n\r\n");
    out.head = end < 0 ? all : all.left(end);
    out.body = end < 0 ? QByteArray() : all.mid(end + 4);
    return out;
}

RawResponse RawGet(int port, const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return RawRequest(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
}

QString Html(const httplib::Result &res)
{
    return res ? QString::fromUtf8(QByteArray::fromStdString(res->body)) : QString();
}

int Count(const QString &text, const QString &what)
{
    return int(text.count(what));
}

// href of the #nav / #gs_n anchor whose text is the next-page word, "&amp;" undone.
QString NextHref(const QString &html, const QString &word)
{
    const QRegularExpression re(
        QStringLiteral("<a href=\"([^\"]*)\">(?:<span[^>]*></span>)?(?:<b>)?%1(?:</b>)?</a>")
            .arg(QRegularExpression::escape(word)));
    QString href = re.match(html).captured(1);
    return href.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

class TestServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        client = std::make_unique<httplib::Client>("127.0.0.1", server.Port());
        client->set_url_encode(false);
        client->set_read_timeout(5, 0);
    }

    TestServer server;
    std::unique_ptr<httplib::Client> client;
};

const char *kWebQuery =
    "/search?hl=zh-CN&safe=off&as_rights=%E4%B8%8D%E6%8C%89%E7%85%A7%E8%AE%B8%E5%8F%AF%E8%BF%87%E6%BB%A4"
    "&as_q=deep%20learning&as_qdr=all&as_filetype=pdf";

TEST_F(TestServerTest, WebPagesDifferPerPageAndCarryNextLinksUntilTheLast)
{
    SerpConfig config;
    config.resultsPerPage = 4;
    config.pages = 3;
    server.SetSearchConfig(Engine::Web, config);

    QString target = QString::fromLatin1(kWebQuery);
    QStringList firstTitles;
    for (int page = 1; page <= 3; ++page) {
        const QString html = Html(client->Get(target.toStdString()));
        EXPECT_TRUE(html.contains(QLatin1String("<meta charset=\"utf-8\">")));
        EXPECT_EQ(Count(html, QStringLiteral("<li class=\"g\">")), 4) << "page " << page;
        const QString title =
            SerpPages::HitTitle(QStringLiteral("deep learning"), QStringLiteral("pdf"), page, 1);
        EXPECT_TRUE(html.contains(title)) << title.toStdString();
        firstTitles << title;
        EXPECT_TRUE(html.contains(
            QStringLiteral("href=\"%1\"")
                .arg(server.HitUrl(QStringLiteral("deep learning"), QStringLiteral("pdf"), page, 4))));
        EXPECT_EQ(Count(html, QStringLiteral("<span class=\"mime\">[PDF]</span>")), 4);
        EXPECT_TRUE(html.contains(QLatin1String("<table id=\"nav\">")));
        const QString next = NextHref(html, QStringLiteral("下一页"));
        if (page < 3) {
            ASSERT_FALSE(next.isEmpty()) << "page " << page;
            EXPECT_TRUE(next.startsWith(QLatin1String("/search?hl=zh-CN&safe=off")));
            EXPECT_TRUE(next.endsWith(QStringLiteral("&start=%1").arg(page * 4)));
            target = next;
        } else {
            EXPECT_TRUE(next.isEmpty());
        }
    }
    EXPECT_EQ(firstTitles.removeDuplicates(), 0);

    // Past the last page: no hits and no next link.
    const QString beyond =
        Html(client->Get((QString::fromLatin1(kWebQuery) + QStringLiteral("&start=12")).toStdString()));
    EXPECT_EQ(Count(beyond, QStringLiteral("class=\"g\"")), 0);
    EXPECT_TRUE(NextHref(beyond, QStringLiteral("下一页")).isEmpty());
    EXPECT_EQ(server.SearchRequestCount(), 4);
}

TEST_F(TestServerTest, QueryDecodingAndLayouts)
{
    // Code page 936 escapes (深度) and UTF-8 escapes give the same group.
    const QString gbk = Html(client->Get("/search?hl=en&as_q=%C9%EE%B6%C8&as_filetype=doc"));
    const QString utf8 = Html(client->Get("/search?hl=en&as_q=%E6%B7%B1%E5%BA%A6&as_filetype=doc"));
    const QString title = SerpPages::HitTitle(QStringLiteral("深度"), QStringLiteral("doc"), 1, 1);
    EXPECT_TRUE(gbk.contains(title));
    EXPECT_TRUE(utf8.contains(title));
    EXPECT_FALSE(NextHref(gbk, QStringLiteral("Next")).isEmpty()) << "English next text for hl=en";
    EXPECT_TRUE(gbk.contains(QLatin1String("[DOC]")));

    // Scholar: the type comes from "+filetype:", hits are gs_ri blocks, paging through #gs_n.
    const QString scholar = Html(client->Get("/scholar?hl=zh-CN&q=C%23+filetype:doc"));
    EXPECT_EQ(Count(scholar, QStringLiteral("<div class=\"gs_ri\">")), 10);
    EXPECT_TRUE(scholar.contains(SerpPages::HitTitle(QStringLiteral("C#"), QStringLiteral("doc"), 1, 10)));
    EXPECT_TRUE(scholar.contains(server.HitUrl(QStringLiteral("C#"), QStringLiteral("doc"), 1, 1)));
    EXPECT_TRUE(scholar.contains(QLatin1String("<div id=\"gs_n\"")));
    EXPECT_TRUE(NextHref(scholar, QStringLiteral("下一页"))
                    .startsWith(QLatin1String("/scholar?hl=zh-CN&q=C%23+filetype:doc&start=10")));

    // DIV g hits, #pnnext, redirect links and per-hit overrides.
    SerpConfig config;
    config.layout = HitLayout::DivG;
    config.next = NextStyle::PnNext;
    config.links = LinkForm::Redirect;
    config.nbspAfterType = true;
    HitOverride sharing;
    sharing.rank = 2;
    sharing.title = QStringLiteral("报告_百度文库");
    HitOverride plain;
    plain.rank = 3;
    plain.typeTag = QString();
    plain.href = QStringLiteral("javascript:void(0)");
    config.overrides = {sharing, plain};
    server.SetSearchConfig(Engine::Web, config);
    const QString div = Html(client->Get("/search?hl=en&as_q=x&as_filetype=pdf"));
    EXPECT_EQ(Count(div, QStringLiteral("<div class=\"g\">")), 10);
    EXPECT_FALSE(div.contains(QLatin1String("id=\"nav\"")));
    EXPECT_TRUE(div.contains(QLatin1String(
        "<a id=\"pnnext\" href=\"/search?hl=en&amp;as_q=x&amp;as_filetype=pdf&amp;start=10\">")));
    EXPECT_TRUE(div.contains(QLatin1String("[PDF]</span>&nbsp;</span>")));
    EXPECT_TRUE(div.contains(QStringLiteral(">报告_百度文库</a>")));
    EXPECT_TRUE(div.contains(QLatin1String("<h3 class=\"r\"><a href=\"javascript:void(0)\">")));
    EXPECT_EQ(Count(div, QStringLiteral("[PDF]")), 9);

    // The redirect form unwraps (first "&amp;" -> "&", cut at "&") to the hit URL, and /url follows it.
    const QString url = server.HitUrl(QStringLiteral("x"), QStringLiteral("pdf"), 1, 1);
    const QString href = QStringLiteral("/url?q=%1&amp;sa=U&amp;ved=x").arg(url);
    EXPECT_TRUE(div.contains(QStringLiteral("href=\"%1").arg(href)));
    const auto redirect =
        client->Get((QStringLiteral("/url?q=") + url + QStringLiteral("&sa=U")).toStdString());
    ASSERT_TRUE(redirect);
    EXPECT_EQ(redirect->status, 302);
    EXPECT_EQ(redirect->get_header_value("Location"), url.toStdString());
}

TEST_F(TestServerTest, CaptchaAtTheConfiguredRequestForAQueryAndViaRedirect)
{
    const QString english =
        QStringLiteral("Our systems have detected unusual traffic from your computer network");
    server.SetCaptcha({CaptchaKind::English, 3, QString(), false});
    QList<bool> blocked;
    for (int i = 0; i < 4; ++i)
        blocked << Html(client->Get("/search?hl=en&as_q=a&as_filetype=pdf")).contains(english);
    EXPECT_EQ(blocked, (QList<bool>{false, false, true, false}));

    server.SetCaptcha({CaptchaKind::Chinese, 0, QStringLiteral("b"), false});
    EXPECT_FALSE(Html(client->Get("/search?as_q=a&as_filetype=pdf")).contains(QStringLiteral("异常流量")));
    const QString chinese = Html(client->Get("/search?as_q=b&as_filetype=pdf"));
    EXPECT_TRUE(chinese.contains(QStringLiteral("我们的系统检测到您的计算机网络中存在异常流量")));
    EXPECT_EQ(Count(chinese, QStringLiteral("class=\"g\"")), 0);

    server.SetCaptcha({CaptchaKind::SorryImage, 1, QString(), true});
    const RawResponse sorry = RawGet(server.Port(), "/scholar?hl=en&q=a+filetype:pdf");
    EXPECT_EQ(sorry.StatusLine(), QByteArray("HTTP/1.1 302 Found"));
    const QByteArray location =
        "\r\nLocation: " + server.BaseUrl().toUtf8() + "/sorry/index?continue=" +
        QUrl::toPercentEncoding(server.BaseUrl() + QStringLiteral("/scholar?hl=en&q=a+filetype:pdf"));
    ASSERT_TRUE(sorry.head.contains(location)) << sorry.head.toStdString();
    const qsizetype at = sorry.head.indexOf(location) + 12 + server.BaseUrl().size();
    const QByteArray sorryTarget = sorry.head.mid(at, sorry.head.indexOf("\r\n", at) - at);
    const QString page = QString::fromUtf8(RawGet(server.Port(), sorryTarget).body);
    EXPECT_TRUE(page.contains(QLatin1String("<img src=\"/sorry/image?id=123&amp;hl=en\"")))
        << sorryTarget.toStdString();
    EXPECT_FALSE(page.contains(english));

    server.ClearCaptcha();
    EXPECT_EQ(Count(Html(client->Get("/scholar?hl=en&q=a+filetype:pdf")), QStringLiteral("class=\"gs_ri\"")),
              10);
}

TEST_F(TestServerTest, RequestLogKeepsOrderRawTargetsAndHeaders)
{
    client->Get(kWebQuery, {{"Referer", "http://r.example/x?q=%C9%EE+a%20b"}, {"User-Agent", "UA/1"}});
    client->Get("/favicon.ico");
    client->Get("/scholar?hl=zh-CN&q=C%23+filetype:doc", {{"Cookie", "a=1; dh_session=ok"}});
    RawGet(server.RawPort(), "/docs/q%2Bx-1-1.pdf?a=%7E&b=c+d");

    const QList<LoggedRequest> log = server.Requests();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0].target, QString::fromLatin1(kWebQuery));
    EXPECT_EQ(log[0].path, QStringLiteral("/search"));
    EXPECT_EQ(log[0].referer, QByteArray("http://r.example/x?q=%C9%EE+a%20b"))
        << "header values stay escaped";
    EXPECT_EQ(log[0].userAgent, QByteArray("UA/1"));
    EXPECT_EQ(log[0].port, server.Port());
    EXPECT_EQ(log[1].target, QStringLiteral("/scholar?hl=zh-CN&q=C%23+filetype:doc"));
    EXPECT_EQ(log[1].query, QByteArray("hl=zh-CN&q=C%23+filetype:doc"));
    EXPECT_EQ(log[1].cookie, QByteArray("a=1; dh_session=ok"));
    EXPECT_EQ(log[2].target, QStringLiteral("/docs/q%2Bx-1-1.pdf?a=%7E&b=c+d"));
    EXPECT_EQ(log[2].path, QStringLiteral("/docs/q+x-1-1.pdf"));
    EXPECT_EQ(log[2].port, server.RawPort());
    EXPECT_EQ(log[2].Header("host"), QByteArray("127.0.0.1"));

    // A proxy-style absolute target is logged as sent and routed by its path.
    const RawResponse proxied = RawGet(server.Port(), "http://docs.example.invalid/docs/p-1-1.pdf");
    EXPECT_EQ(proxied.StatusLine(), QByteArray("HTTP/1.1 200 OK"));
    EXPECT_TRUE(proxied.body.startsWith("%PDF-1.4"));
    EXPECT_EQ(server.RequestTargets().constLast(),
              QStringLiteral("http://docs.example.invalid/docs/p-1-1.pdf"));

    server.ClearRequests();
    EXPECT_TRUE(server.Requests().isEmpty());
}

TEST_F(TestServerTest, DefaultDocumentsAreValidFilesOfTheirType)
{
    const auto pdf = client->Get(
        SerpPages::DocumentPath(QStringLiteral("deep learning"), QStringLiteral("pdf"), 2, 3).toStdString());
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->status, 200);
    EXPECT_EQ(pdf->get_header_value("Content-Type"), "application/pdf");
    EXPECT_EQ(pdf->get_header_value("Content-Length"), std::to_string(pdf->body.size()));
    EXPECT_EQ(pdf->body.substr(0, 8), "%PDF-1.4");

    const auto doc = client->Get("/docs/x-1-1.doc");
    ASSERT_TRUE(doc);
    const QByteArray bytes = QByteArray::fromStdString(doc->body);
    ASSERT_GE(bytes.size(), 516);
    EXPECT_EQ(bytes.left(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
    EXPECT_EQ(bytes.mid(512, 4), QByteArray::fromHex("ECA5C100"));
    EXPECT_EQ(SerpPages::DocumentBody(QStringLiteral("xls")).mid(512, 4), QByteArray::fromHex("09081000"));
    EXPECT_EQ(SerpPages::DocumentBody(QStringLiteral("ppt")).at(515), char(0xF0));
    EXPECT_EQ(SerpPages::DocumentBody(QStringLiteral("pdf"), 5000).size(), 5000);
    EXPECT_EQ(SerpPages::DocumentBody(QStringLiteral("pdf"), 3), QByteArray("%PD"));

    EXPECT_EQ(client->Get("/nothing/here.pdf")->status, 404);
    EXPECT_EQ(client->Get("/files/../SOURCES.md")->status, 404);
}

TEST_F(TestServerTest, DocumentHeadersFramingAndStatusLines)
{
    DocumentOptions sized;
    sized.size = 5000;
    sized.contentDisposition = "attachment; filename=\"\xE6\x8A\xA5\xE5\x91\x8A.PDF\"";
    server.AddDocument(QStringLiteral("/files/5000.pdf"), sized);
    const RawResponse a = RawGet(server.Port(), "/files/5000.pdf");
    EXPECT_EQ(a.StatusLine(), QByteArray("HTTP/1.1 200 OK"));
    EXPECT_TRUE(a.head.contains("\r\nContent-Length: 5000"));
    EXPECT_TRUE(
        a.head.contains("\r\nContent-Disposition: attachment; filename=\"\xE6\x8A\xA5\xE5\x91\x8A.PDF\""));
    EXPECT_EQ(a.body, SerpPages::DocumentBody(QStringLiteral("pdf"), 5000));
    EXPECT_TRUE(a.closed);

    // No length, "200 OK": the body runs until the connection closes.
    DocumentOptions open;
    open.size = 3000;
    open.framing = Framing::CloseWithoutLength;
    server.AddDocument(QStringLiteral("/files/open.pdf"), open);
    EXPECT_EQ(server.DocumentUrl(QStringLiteral("/files/open.pdf")),
              server.Url(QStringLiteral("/files/open.pdf")));
    for (int port : {server.Port(), server.RawPort()}) {
        const RawResponse r = RawGet(port, "/files/open.pdf");
        EXPECT_EQ(r.StatusLine(), QByteArray("HTTP/1.1 200 OK")) << port;
        EXPECT_FALSE(r.HasHeader("Content-Length")) << port;
        EXPECT_FALSE(r.HasHeader("Transfer-Encoding")) << port;
        EXPECT_EQ(r.body.size(), 3000) << port;
        EXPECT_TRUE(r.closed);
    }

    // "200 Success" exists only on the raw port; the main port refuses loudly.
    DocumentOptions success = open;
    success.reason = "Success";
    server.AddDocument(QStringLiteral("/files/success.doc"), success);
    EXPECT_EQ(server.DocumentUrl(QStringLiteral("/files/success.doc")),
              server.RawBaseUrl() + QStringLiteral("/files/success.doc"));
    const RawResponse s = RawGet(server.RawPort(), "/files/success.doc");
    EXPECT_EQ(s.StatusLine(), QByteArray("HTTP/1.1 200 Success"));
    EXPECT_TRUE(s.head.contains("\r\nContent-Type: application/msword"));
    EXPECT_FALSE(s.HasHeader("Content-Length"));
    EXPECT_EQ(s.body, SerpPages::DocumentBody(QStringLiteral("doc"), 3000));
    EXPECT_EQ(RawGet(server.Port(), "/files/success.doc").StatusLine(),
              QByteArray("HTTP/1.1 500 Internal Server Error"));

    DocumentOptions chunked;
    chunked.size = 70000;
    chunked.framing = Framing::Chunked;
    chunked.contentType = "text/html; charset=utf-8";
    server.AddDocument(QStringLiteral("/files/chunked.htm"), chunked);
    for (int port : {server.Port(), server.RawPort()}) {
        httplib::Client c("127.0.0.1", port);
        const auto res = c.Get("/files/chunked.htm");
        ASSERT_TRUE(res) << port;
        EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
        EXPECT_FALSE(res->has_header("Content-Encoding"));
        EXPECT_EQ(QByteArray::fromStdString(res->body),
                  SerpPages::DocumentBody(QStringLiteral("htm"), 70000));
    }

    DocumentOptions slow;
    slow.body = QByteArray(400, 'z');
    slow.bytesPerSecond = 4000;
    server.AddDocument(QStringLiteral("/files/slow.bin"), slow);
    EXPECT_EQ(client->Get("/files/slow.bin")->body, std::string(400, 'z'));
}

TEST_F(TestServerTest, RedirectNotFoundHtmlAndFixtures)
{
    DocumentOptions moved;
    moved.redirectTo = QStringLiteral("/docs/target-1-1.pdf");
    server.AddDocument(QStringLiteral("/files/moved.pdf"), moved);
    DocumentOptions gone;
    gone.status = 404;
    server.AddDocument(QStringLiteral("/files/gone.pdf"), gone);
    server.AddDocument(QStringLiteral("/files/page.pdf"),
                       DocumentOptions::Html(QStringLiteral("<html><body>登录页</body></html>")));

    const auto r = client->Get("/files/moved.pdf");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->get_header_value("Location"), "/docs/target-1-1.pdf");
    EXPECT_EQ(client->Get("/files/gone.pdf")->status, 404);
    const auto page = client->Get("/files/page.pdf");
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(Html(page), QStringLiteral("<html><body>登录页</body></html>"));

    const QString name = QStringLiteral("scholar-2020-gs_ri-gs_n.html");
    QFile file(FixturePath(QStringLiteral("serp/") + name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto fixture = client->Get((QStringLiteral("/fixture/") + name).toStdString());
    EXPECT_EQ(fixture->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(QByteArray::fromStdString(fixture->body), file.readAll());
    EXPECT_TRUE(server.FixtureUrl(name).endsWith(QStringLiteral("/fixture/") + name));

    QFile doc(FixturePath(QStringLiteral("files/msoffcrypto-plain.doc")));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    const auto served = client->Get("/files/msoffcrypto-plain.doc");
    EXPECT_EQ(served->get_header_value("Content-Type"), "application/msword");
    EXPECT_EQ(QByteArray::fromStdString(served->body), doc.readAll());
}

TEST_F(TestServerTest, CookieProtectedDocumentAndLogin)
{
    DocumentOptions secret;
    secret.requiresLogin = true;
    server.AddDocument(QStringLiteral("/files/secret.pdf"), secret);

    const auto without = client->Get("/files/secret.pdf", {{"Cookie", "other=1"}});
    EXPECT_EQ(without->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_TRUE(Html(without).contains(QStringLiteral("请先登录")));
    const auto with = client->Get("/files/secret.pdf", {{"Cookie", "other=1; dh_session=ok"}});
    EXPECT_EQ(with->get_header_value("Content-Type"), "application/pdf");
    EXPECT_EQ(with->body.substr(0, 5), "%PDF-");

    // No account configured: opening the login page logs in.
    const auto open = client->Get("/login");
    EXPECT_EQ(open->get_header_value("Set-Cookie"), "dh_session=ok; Path=/");
    EXPECT_TRUE(Html(open).contains(QLatin1String("document.cookie = \"dh_session=ok; path=/\"")));
    EXPECT_TRUE(Html(open).contains(QLatin1String("id=\"submitip\"")));

    server.SetLogin({"sid=42", QStringLiteral("user"), QStringLiteral("密码")});
    EXPECT_FALSE(client->Get("/login")->has_header("Set-Cookie"));
    EXPECT_FALSE(
        client->Post("/login/submit", "username=user&password=bad", "application/x-www-form-urlencoded")
            ->has_header("Set-Cookie"));
    const auto good = client->Post("/login/submit", "username=user&password=%E5%AF%86%E7%A0%81",
                                   "application/x-www-form-urlencoded");
    EXPECT_EQ(good->get_header_value("Set-Cookie"), "sid=42; Path=/");
    EXPECT_EQ(
        client->Post("/login/ip", "", "application/x-www-form-urlencoded")->get_header_value("Set-Cookie"),
        "sid=42; Path=/");
    EXPECT_EQ(client->Get("/files/secret.pdf", {{"Cookie", "sid=42"}})->get_header_value("Content-Type"),
              "application/pdf");

    // Cookie values are compared as sent, escapes included.
    server.SetLogin({"sid=a%2Fb", QString(), QString()});
    EXPECT_EQ(client->Get("/files/secret.pdf", {{"Cookie", "sid=a%2Fb"}})->get_header_value("Content-Type"),
              "application/pdf");
    EXPECT_EQ(client->Get("/files/secret.pdf", {{"Cookie", "sid=a/b"}})->get_header_value("Content-Type"),
              "text/html; charset=utf-8");
}

TEST_F(TestServerTest, StopReturnsPromptlyWithStalledBodiesAndDelayedPages)
{
    DocumentOptions stalled;
    stalled.size = 5000;
    stalled.stallAfter = 100;
    server.AddDocument(QStringLiteral("/files/stalled.pdf"), stalled);
    DocumentOptions stalledRaw = stalled;
    stalledRaw.reason = "Success";
    server.AddDocument(QStringLiteral("/files/stalled-raw.pdf"), stalledRaw);
    SerpConfig slowPages;
    slowPages.delayMs = 60000;
    server.SetSearchConfig(Engine::Web, slowPages);

    auto main = std::async(std::launch::async, [&] { return RawGet(server.Port(), "/files/stalled.pdf"); });
    auto raw =
        std::async(std::launch::async, [&] { return RawGet(server.RawPort(), "/files/stalled-raw.pdf"); });
    auto search = std::async(std::launch::async, [&] { return RawGet(server.Port(), "/search?as_q=a"); });
    // Give all three time to arrive and the two bodies time to stall.
    for (int i = 0; i < 200 && server.Requests().size() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.Requests().size(), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto before = std::chrono::steady_clock::now();
    server.Stop();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_FALSE(server.IsRunning());

    for (auto *f : {&main, &raw}) {
        const RawResponse r = f->get();
        EXPECT_TRUE(r.head.contains("Content-Length: 5000"));
        EXPECT_EQ(r.body.size(), 100) << "the body stalls after 100 bytes";
        EXPECT_TRUE(r.closed);
    }
    EXPECT_TRUE(search.get().body.isEmpty());
}

TEST_F(TestServerTest, ClientsLeavingStalledBodiesFreeTheServer)
{
    DocumentOptions stalled;
    stalled.stallAfter = 10;
    server.AddDocument(QStringLiteral("/files/stalled.pdf"), stalled);
    // More abandoned stalls than the library has workers.
    std::vector<std::future<RawResponse>> leavers;
    for (int i = 0; i < 40; ++i)
        leavers.push_back(std::async(std::launch::async, [&] {
            return RawRequest(server.Port(), "GET /files/stalled.pdf HTTP/1.1\r\nHost: x\r\n\r\n", 300);
        }));
    int stalledOnes = 0;
    for (auto &f : leavers)
        stalledOnes += f.get().body.size() == 10;
    EXPECT_GT(stalledOnes, 0);
    const RawResponse after = RawGet(server.Port(), "/docs/after-1-1.pdf");
    EXPECT_EQ(after.StatusLine(), QByteArray("HTTP/1.1 200 OK"));
    EXPECT_TRUE(after.body.startsWith("%PDF"));
}

} // namespace
