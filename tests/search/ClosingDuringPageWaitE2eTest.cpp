// Closing a search window while one of its buttons waits for a page that
// never answers (its script spins): the window goes at once, the program
// goes on, and nothing below the wait runs on a deleted window.
#include "net/BrowserView.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchWindow.h"
#include "support/TestServer.h"
#include "util/Clock.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dh;

namespace {

const QString kSpinning = QStringLiteral(
    "<html><head><title>busy</title></head><body><a href='/docs/a.pdf'>a</a><script>"
    "window.addEventListener('load', function () { setTimeout(function () {"
    "document.title = 'spinning'; var x = 0; while (true) { x++; } }, 0); });</script></body></html>");

class ClosingDuringPageWait : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        m_server.AddDocument(QStringLiteral("/busy.html"), test::DocumentOptions::Html(kSpinning));
        Settings::Write(Keys::AskSaveLocation, 0);
        Messages::Clear();
    }

    // A web search window showing the spinning page.
    QPointer<SearchWindow> OpenBusy() {
        auto *w = new SearchWindow(Engine::Web);
        w->show();
        bool spinning = false;
        QObject::connect(w->View(), &BrowserView::titleChanged, w, [&spinning](const QString &title) {
            spinning = spinning || title == QLatin1String("spinning");
        });
        w->View()->Navigate(m_server.Url(QStringLiteral("/busy.html")));
        EXPECT_TRUE(WaitUntil([&] { return spinning; }, 120000));
        return w;
    }

    // Runs `action` with the window closed 300 ms into its wait. The action
    // returns long before its 10 s limit, the window outlives it for the code
    // below, and then it is gone.
    void CloseDuring(QPointer<SearchWindow> &w, const std::function<void()> &action) {
        ASSERT_FALSE(w.isNull());
        bool closed = false;
        QTimer::singleShot(300, qApp, [&] { closed = w && w->close(); });
        QElapsedTimer real;
        real.start();
        action();
        EXPECT_LT(real.elapsed(), 5000);
        EXPECT_TRUE(closed);
        ASSERT_FALSE(w.isNull());
        EXPECT_FALSE(IsWindowOpen(QStringLiteral("fWebSearch")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(w.isNull());
    }

    // The program still searches: a new window reads a result page.
    void ExpectStillWorking() {
        auto *w = new SearchWindow(Engine::Web);
        QPointer<SearchWindow> alive(w);
        w->show();
        w->View()->Navigate(m_server.WebSearchBase() + QStringLiteral("?q=a+filetype:pdf"));
        ASSERT_TRUE(WaitUntil([&] { return !w->View()->IsBusy(); }, 30000));
        w->findChild<QPushButton *>(QStringLiteral("Command9"))->click();
        EXPECT_GT(w->ListPanel()->model()->rowCount(), 0);
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(alive.isNull());
    }

    test::TestServer m_server;
};

} // namespace

TEST_F(ClosingDuringPageWait, AddThisPageAndSavePageSource) {
    QPointer<SearchWindow> w = OpenBusy();
    CloseDuring(w, [&] { w->findChild<QPushButton *>(QStringLiteral("Command9"))->click(); });
    EXPECT_TRUE(Messages::Shown().isEmpty()); // closed at once, not refused

    w = OpenBusy();
    QTemporaryDir dir;
    Messages::QueueAnswer(dir.filePath(QStringLiteral("page.htm"))); // should the save dialog come
    CloseDuring(w, [&] { w->findChild<QAction *>(QStringLiteral("menu网页源码保存到"))->trigger(); });
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("page.htm"))));

    ExpectStillWorking();
}
