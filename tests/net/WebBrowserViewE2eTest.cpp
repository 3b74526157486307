// The real browser view against a local HTTP server. Each test starts the
// engine once, so related cases share a test.
#include "net/WebBrowserView.h"
#include "net/WebSession.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace dh;

namespace
{

const char *kHitsPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Hits</title></head><body>
<div id="rso"><ol>
<li class=" g "><a href="/doc/report.pdf"><h3>Annual <b>report</b></h3></a><span class="f">[PDF]&nbsp;</span> <span>x</span></li>
<li class="g"><div class="r"><a href="https://example.org/x?a=1&amp;b=2">Second</a></div><span>plain</span><span>[DOC]</span></li>
<li>no class</li>
<li class="g">no link</li>
</ol>
<div class="related-question-pair"><a href="https://example.org/answer"><h3>Answer</h3></a></div></div>
<a aria-label="Next page" href="/page2?start=10">Next &gt;</a>
<div id="nav"><a href="/page2">1</a><a href="/page2">Next</a></div>
<a id="pnnext" href="/page2">more</a>
<div id="gs_n"><a href="/page2">下一页</a></div>
<iframe id="f" src="/frame"></iframe>
<form><input name="user" value="u0"><input type="password" name="Pass"><input type="SUBMIT" value="Go"></form>
<script>window.addEventListener('load', function () { setTimeout(function () {
  document.getElementById('f').contentWindow.location.replace('/frame?again'); }, 50); });</script>
</body></html>)";

const char *kFramePage =
    R"(<html><body><ul><li class="g"><a href="/framehit">in a frame</a></li></ul></body></html>)";

// A minimal server for these tests; it records the paths and Cookie headers it saw.
class LocalServer
{
public:
    LocalServer()
    {
        html("/hits", kHitsPage);
        html("/frame", kFramePage);
        html("/page2", "<html><head><title>Page two</title></head><body><p>two</p></body></html>");
        html("/other", "<html><head><title>Other</title></head><body>other</body></html>");
        html("/ok", "<html><head><title>OK</title></head><body>ok</body></html>");
        html("/opener", "<html><body><script>window.open('/other');</script></body></html>");
        html("/blanklink", "<html><body><a id='l' target='_blank' href='/page2'>new</a></body></html>");
        html("/closer", "<html><body><script>window.close();</script>closing</body></html>");
        html("/dialogs", "<html><body><script>alert('hello');"
                         "var c = confirm('sure?'); var p = prompt('name?', 'dflt');"
                         "document.title = 'confirm=' + c + ' prompt=' + p;</script></body></html>");
        html("/spin", "<html><head><title>Spin</title></head><body>spin<script>"
                      "window.addEventListener('load', function () { setTimeout(function () {"
                      "document.title = 'spinning'; for (;;) {} }, 0); });</script></body></html>");
        html("/spinparse", "<html><body>parse<script>for (;;) {}</script></body></html>");
        html("/login",
             "<html><body><script>document.cookie = 'js=fromscript; path=/';</script>in</body></html>");
        m_http.Get("/setcookie", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Set-Cookie", "sid=abc123; Path=/; HttpOnly");
            res.set_content("<html><body>set</body></html>", "text/html");
        });
        m_http.Get("/logout", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Set-Cookie", "sid=gone; Path=/; Max-Age=0");
            res.set_content("<html><body>out</body></html>", "text/html");
        });
        m_http.Get("/many", [](const httplib::Request &, httplib::Response &res) {
            std::string page = "<html><body><ol>";
            for (int i = 0; i < 10000; ++i) {
                const std::string n = std::to_string(i);
                page += "<li class=\"g\"><a href=\"/d/" + n + ".pdf\"><h3>Hit " + n +
                        "</h3></a><span>[PDF]</span></li>";
            }
            res.set_content(page + "</ol></body></html>", "text/html; charset=utf-8");
        });
        // Recorded before the answer goes out, so a finished reply has been seen.
        m_http.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &) {
            std::lock_guard lock(m_mutex);
            std::string path = req.path;
            if (!req.params.empty())
                path += "?" + req.params.begin()->first;
            m_paths.push_back(path);
            m_cookies[req.path] = req.get_header_value("Cookie");
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_port = m_http.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_http.listen_after_bind(); });
    }
    ~LocalServer()
    {
        m_http.stop();
        m_thread.join();
    }
    QString Url(const char *path, const char *host = "127.0.0.1") const
    {
        return QStringLiteral("http://%1:%2%3").arg(QLatin1String(host)).arg(m_port).arg(QLatin1String(path));
    }
    bool Saw(const std::string &path)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_paths.begin(), m_paths.end(), path) != m_paths.end();
    }
    std::string CookieHeader(const std::string &path)
    {
        std::lock_guard lock(m_mutex);
        return m_cookies[path];
    }

private:
    void html(const char *path, const char *body)
    {
        m_http.Get(path, [body](const httplib::Request &, httplib::Response &res) {
            res.set_content(body, "text/html; charset=utf-8");
        });
    }
    httplib::Server m_http;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::map<std::string, std::string> m_cookies;
};

// Records the view's notifications.
struct Recorder {
    explicit Recorder(BrowserView &view)
    {
        QObject::connect(&view, &BrowserView::documentComplete, &view,
                         [this](const QString &url) { completed.append(url); });
        QObject::connect(&view, &BrowserView::newWindowRequested, &view,
                         [this](const QString &url) { newWindows.append(url); });
        QObject::connect(&view, &BrowserView::titleChanged, &view,
                         [this](const QString &title) { titles.append(title); });
    }
    QStringList completed, newWindows, titles;
};

// Navigates and waits for the document; false when it did not complete.
bool load(BrowserView &view, Recorder &rec, const QString &url, qint64 maxMs = 15000)
{
    const qsizetype before = rec.completed.size();
    view.Navigate(url);
    EXPECT_TRUE(view.IsBusy());
    return WaitUntil([&] { return rec.completed.size() > before && !view.IsBusy(); }, maxMs);
}

std::unique_ptr<WebBrowserView> shownView()
{
    auto view = std::make_unique<WebBrowserView>();
    view->Widget()->resize(800, 600);
    view->Widget()->show();
    return view;
}

} // namespace

TEST(WebBrowserView, SnapshotReadsTheResultPageAndClicksFollowLinks)
{
    LocalServer server;
    auto view = shownView();
    Recorder rec(*view);

    // Before any page and on a blank page nothing breaks.
    const PageSnapshot fresh = view->Snapshot(3000);
    EXPECT_TRUE(fresh.elements.isEmpty());
    ASSERT_TRUE(load(*view, rec, QStringLiteral("about:blank")));
    const PageSnapshot blank = view->Snapshot();
    ASSERT_TRUE(blank.valid);
    EXPECT_EQ(blank.url, QStringLiteral("about:blank"));
    EXPECT_TRUE(blank.elements.isEmpty());
    EXPECT_FALSE(blank.hasNav);
    EXPECT_EQ(blank.pnnextHandle, -1);

    rec.completed.clear();
    ASSERT_TRUE(load(*view, rec, server.Url("/hits")));
    // The frame loads again after the page is complete: no second notification.
    ASSERT_TRUE(WaitUntil([&] { return server.Saw("/frame?again"); }, 5000));
    SleepFor(300);
    EXPECT_EQ(rec.completed, QStringList{server.Url("/hits")});
    EXPECT_EQ(view->CurrentUrl(), server.Url("/hits"));
    EXPECT_TRUE(rec.titles.contains(QStringLiteral("Hits")));

    const PageSnapshot s = view->Snapshot();
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.url, server.Url("/hits"));
    EXPECT_TRUE(s.html.startsWith(QStringLiteral("<html>")));
    EXPECT_TRUE(s.html.contains(QStringLiteral("id=\"pnnext\"")));
    // LI and DIV of a hit class, in document order; nothing from the frame.
    ASSERT_EQ(s.elements.size(), 3);
    EXPECT_EQ(s.elements[0].tag, QStringLiteral("LI"));
    EXPECT_EQ(s.elements[1].tag, QStringLiteral("LI"));
    EXPECT_EQ(s.elements[2].tag, QStringLiteral("LI"));

    const SnapElement &pdf = s.elements[0];
    EXPECT_EQ(pdf.className, QStringLiteral(" g "));
    ASSERT_TRUE(pdf.hasLink);
    EXPECT_EQ(pdf.linkHref, server.Url("/doc/report.pdf"));
    EXPECT_EQ(pdf.linkText.trimmed(), QStringLiteral("Annual report"));
    EXPECT_TRUE(pdf.linkHasH3);
    EXPECT_EQ(pdf.linkH3Text, QStringLiteral("Annual report"));
    ASSERT_TRUE(pdf.hasSpan);
    EXPECT_EQ(pdf.spanText, QString::fromUtf8("[PDF]\u00a0"));
    EXPECT_EQ(pdf.spanText.trimmed(), QStringLiteral("[PDF]"));
    EXPECT_EQ(pdf.labelText.trimmed(), QStringLiteral("[PDF]"));

    const SnapElement &second = s.elements[1];
    EXPECT_EQ(second.linkHref, QStringLiteral("https://example.org/x?a=1&b=2"));
    EXPECT_EQ(second.linkText, QStringLiteral("Second"));
    EXPECT_FALSE(second.linkHasH3);
    EXPECT_EQ(second.spanText, QStringLiteral("plain"));
    EXPECT_EQ(second.labelText, QStringLiteral("[DOC]"));
    EXPECT_FALSE(s.elements[2].hasLink);
    EXPECT_FALSE(s.elements[2].hasSpan);

    // Links holding a heading in the results area, with their block's label; packs marked.
    ASSERT_EQ(s.headedLinks.size(), 2);
    EXPECT_EQ(s.headedLinks[0].href, server.Url("/doc/report.pdf"));
    EXPECT_EQ(s.headedLinks[0].headingText, QStringLiteral("Annual report"));
    EXPECT_EQ(s.headedLinks[0].labelText.trimmed(), QStringLiteral("[PDF]"));
    EXPECT_FALSE(s.headedLinks[0].inPack);
    EXPECT_TRUE(s.headedLinks[1].inPack);
    EXPECT_GE(s.resultLinks, 3);
    ASSERT_FALSE(s.pagerLinks.isEmpty());
    EXPECT_EQ(s.pagerLinks[0].ariaLabel, QStringLiteral("Next page"));
    EXPECT_EQ(s.pagerLinks[0].href, server.Url("/page2?start=10"));
    EXPECT_FALSE(s.captchaForm);

    ASSERT_TRUE(s.hasNav);
    ASSERT_EQ(s.navLinks.size(), 2);
    EXPECT_EQ(s.navLinks[1].text, QStringLiteral("Next"));
    ASSERT_TRUE(s.hasGsN);
    ASSERT_EQ(s.gsnLinks.size(), 1);
    EXPECT_EQ(s.gsnLinks[0].text, QString::fromUtf8("下一页"));
    EXPECT_GE(s.pnnextHandle, 0);

    // Login-area reads on the same page.
    const QList<SnapInput> inputs = view->Inputs();
    ASSERT_EQ(inputs.size(), 3);
    EXPECT_EQ(inputs[0].name, QStringLiteral("user"));
    EXPECT_EQ(inputs[0].type, QStringLiteral("text"));
    EXPECT_EQ(inputs[0].value, QStringLiteral("u0"));
    EXPECT_EQ(inputs[1].name, QStringLiteral("Pass"));
    EXPECT_EQ(inputs[1].type, QStringLiteral("password"));
    EXPECT_EQ(inputs[2].type, QStringLiteral("submit"));
    EXPECT_TRUE(view->SetValue(inputs[0].handle, QStringLiteral("alice \"quoted\"\n")));
    EXPECT_FALSE(view->SetValue(99, QStringLiteral("x")));
    EXPECT_EQ(view->Inputs().at(0).value, QStringLiteral("alice \"quoted\""));
    EXPECT_GE(view->ElementById(QStringLiteral("nav")), 0);
    EXPECT_EQ(view->ElementById(QStringLiteral("missing")), -1);
    EXPECT_EQ(view->ElementById(QStringLiteral("'); throw 1; ('")), -1);

    // The next-page link of a fresh snapshot navigates; its handle is stale afterwards.
    const int next = view->Snapshot().pnnextHandle;
    rec.completed.clear();
    EXPECT_TRUE(view->Click(next));
    ASSERT_TRUE(WaitUntil([&] { return !rec.completed.isEmpty() && !view->IsBusy(); }, 15000));
    EXPECT_EQ(rec.completed, QStringList{server.Url("/page2")});
    EXPECT_EQ(view->Snapshot().url, server.Url("/page2"));
    EXPECT_FALSE(view->Click(next));

    view->Back();
    EXPECT_TRUE(view->IsBusy());
    ASSERT_TRUE(WaitUntil([&] { return rec.completed.size() == 2 && !view->IsBusy(); }, 15000));
    EXPECT_EQ(view->CurrentUrl(), server.Url("/hits"));
    view->Forward();
    ASSERT_TRUE(WaitUntil([&] { return rec.completed.size() == 3 && !view->IsBusy(); }, 15000));
    EXPECT_EQ(view->CurrentUrl(), server.Url("/page2"));
    view->Forward(); // nothing ahead: ignored
    EXPECT_FALSE(view->IsBusy());
    view->Reload();
    ASSERT_TRUE(WaitUntil([&] { return rec.completed.size() == 4 && !view->IsBusy(); }, 15000));

    // A fragment of the current page completes without a load.
    ASSERT_TRUE(load(*view, rec, server.Url("/page2#part")));
    EXPECT_EQ(view->CurrentUrl(), server.Url("/page2#part"));

    // Ten thousand hits in one snapshot.
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(load(*view, rec, server.Url("/many"), 60000));
    const qint64 loadMs = timer.restart();
    const PageSnapshot many = view->Snapshot(60000);
    const qint64 snapMs = timer.elapsed();
    std::printf("10000 hits: load %lld ms, snapshot %lld ms, %lld KB of markup\n", qint64(loadMs),
                qint64(snapMs), qint64(many.html.size() / 1024));
    ASSERT_TRUE(many.valid);
    ASSERT_EQ(many.elements.size(), 10000);
    EXPECT_EQ(many.elements[9999].linkH3Text, QStringLiteral("Hit 9999"));
    EXPECT_EQ(many.elements[9999].linkHref, server.Url("/d/9999.pdf"));
    EXPECT_EQ(many.elements[9999].labelText, QStringLiteral("[PDF]"));
}

TEST(WebBrowserView, WindowsCloseRequestsAndScriptDialogs)
{
    LocalServer server;
    auto view = shownView();
    Recorder rec(*view);
    QPointer<QWidget> widget = view->Widget();

    // As the first page of a view, a script may ask to close its window.
    ASSERT_TRUE(load(*view, rec, server.Url("/closer")));
    SleepFor(300);
    ASSERT_FALSE(widget.isNull());
    EXPECT_TRUE(widget->isVisible());
    ASSERT_TRUE(load(*view, rec, server.Url("/ok")));

    const auto engineViews = [] {
        int n = 0;
        for (QWidget *w : QApplication::allWidgets())
            n += qobject_cast<QWebEngineView *>(w) ? 1 : 0;
        return n;
    };
    const int viewsBefore = engineViews();
    ASSERT_TRUE(load(*view, rec, server.Url("/opener")));
    ASSERT_TRUE(
        WaitUntil([&] { return view->CurrentUrl() == server.Url("/other") && !view->IsBusy(); }, 15000));
    EXPECT_EQ(rec.newWindows, QStringList{server.Url("/other")});
    EXPECT_EQ(rec.completed.last(), server.Url("/other"));
    EXPECT_EQ(engineViews(), viewsBefore);

    ASSERT_TRUE(load(*view, rec, server.Url("/blanklink")));
    EXPECT_TRUE(view->Click(view->ElementById(QStringLiteral("l"))));
    ASSERT_TRUE(
        WaitUntil([&] { return view->CurrentUrl() == server.Url("/page2") && !view->IsBusy(); }, 15000));
    EXPECT_EQ(rec.newWindows.size(), 2);
    EXPECT_EQ(engineViews(), viewsBefore);

    // Silent: the dialogs are swallowed, confirm says no and prompt cancels.
    Messages::Clear();
    view->SetSilent(true);
    EXPECT_TRUE(view->IsSilent());
    ASSERT_TRUE(load(*view, rec, server.Url("/dialogs")));
    ASSERT_TRUE(WaitUntil([&] { return rec.titles.last().startsWith(QStringLiteral("confirm=")); }, 5000));
    EXPECT_EQ(rec.titles.last(), QStringLiteral("confirm=false prompt=null"));
    EXPECT_TRUE(Messages::Shown().isEmpty());

    // Not silent: they go through the program's message service.
    view->SetSilent(false);
    Messages::QueueAnswer(QStringLiteral("yes"));
    Messages::QueueAnswer(QStringLiteral("typed"));
    ASSERT_TRUE(load(*view, rec, server.Url("/dialogs")));
    ASSERT_TRUE(WaitUntil([&] { return rec.titles.last().startsWith(QStringLiteral("confirm=")); }, 5000));
    EXPECT_EQ(rec.titles.last(), QStringLiteral("confirm=true prompt=typed"));
    ASSERT_EQ(Messages::Shown().size(), 3);
    EXPECT_EQ(Messages::Shown()[0].text, QStringLiteral("hello"));
    EXPECT_EQ(Messages::Shown()[1].text, QStringLiteral("sure?"));
    Messages::Clear();

    // The window may take the widget away; the view then does nothing.
    delete widget;
    EXPECT_EQ(view->Widget(), nullptr);
    view->Navigate(server.Url("/ok"));
    EXPECT_FALSE(view->Snapshot(500).valid);
    EXPECT_FALSE(view->Click(0));
}

TEST(WebBrowserView, AStuckPageGivesUpInTimeAndTheViewRecovers)
{
    LocalServer server;
    auto view = shownView();
    Recorder rec(*view);

    ASSERT_TRUE(load(*view, rec, server.Url("/spin")));
    ASSERT_TRUE(WaitUntil([&] { return rec.titles.contains(QStringLiteral("spinning")); }, 5000));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(view->Snapshot(1000).valid);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(view->Inputs(300).isEmpty());
    EXPECT_EQ(view->ElementById(QStringLiteral("x"), 300), -1);
    ASSERT_TRUE(load(*view, rec, server.Url("/ok")));
    const PageSnapshot after = view->Snapshot();
    ASSERT_TRUE(after.valid);
    EXPECT_EQ(after.url, server.Url("/ok"));

    // A script that never ends while the page is parsed: the load never completes.
    rec.completed.clear();
    view->Navigate(server.Url("/spinparse"));
    EXPECT_TRUE(SleepFor(1500, [&] { return !view->IsBusy(); }));
    EXPECT_FALSE(view->Snapshot(500).valid);
    ASSERT_TRUE(load(*view, rec, server.Url("/page2")));
    EXPECT_EQ(view->Snapshot().url, server.Url("/page2"));
}

TEST(WebSession, LoginCookiesOfTheViewReachTheTransfers)
{
    LocalServer server;
    WebSession &session = WebSession::Instance();
    EXPECT_EQ(&session, &WebSession::Instance());
    {
        WebBrowserView view;
        Recorder rec(view);
        ASSERT_TRUE(load(view, rec, server.Url("/setcookie")));
        ASSERT_TRUE(load(view, rec, server.Url("/login")));
    }
    const QUrl site(server.Url("/"));
    const auto cookieNames = [&](const QUrl &url) {
        QStringList names;
        for (const QNetworkCookie &c : session.CookieJar()->cookiesForUrl(url))
            names.append(QString::fromLatin1(c.name()));
        names.sort();
        return names;
    };
    // The store reports its cookies on its own schedule.
    ASSERT_TRUE(WaitUntil([&] { return cookieNames(site).size() == 2; }, 5000));
    EXPECT_EQ(cookieNames(site), (QStringList{QStringLiteral("js"), QStringLiteral("sid")}));
    EXPECT_TRUE(cookieNames(QUrl(server.Url("/", "localhost"))).isEmpty());

    const auto fetch = [&](QNetworkAccessManager &manager, const char *path) {
        QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(server.Url(path))));
        const bool done = WaitUntil([&] { return reply->isFinished(); }, 10000);
        reply->deleteLater();
        return done && reply->error() == QNetworkReply::NoError;
    };
    QPointer<QNetworkCookieJar> jar = session.CookieJar();
    {
        QNetworkAccessManager manager;
        session.AttachTo(&manager);
        EXPECT_EQ(manager.cookieJar(), jar.data());
        ASSERT_TRUE(fetch(manager, "/ok"));
        const std::string header = server.CookieHeader("/ok");
        EXPECT_NE(header.find("sid=abc123"), std::string::npos) << header;
        EXPECT_NE(header.find("js=fromscript"), std::string::npos) << header;
    }
    // The manager is gone, the jar stays and serves the next one.
    ASSERT_FALSE(jar.isNull());
    EXPECT_EQ(jar->parent(), &session);
    {
        WebBrowserView view;
        Recorder rec(view);
        ASSERT_TRUE(load(view, rec, server.Url("/logout")));
    }
    ASSERT_TRUE(WaitUntil([&] { return cookieNames(site) == QStringList{QStringLiteral("js")}; }, 5000));
    QNetworkAccessManager second;
    session.AttachTo(&second);
    ASSERT_TRUE(fetch(second, "/page2"));
    EXPECT_EQ(server.CookieHeader("/page2"), "js=fromscript");
    session.ClearHttpCache();
}
