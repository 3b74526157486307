// The road of a document: a batch search on the local server, the analysis of
// its rows, and method-one downloads that leave named files on disk; and a
// login made in a browser view that the downloads share.
#include "download/DownloadWindow.h"
#include "net/WebBrowserView.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchWindow.h"
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
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

TEST(DocumentRoad, FromKeywordGroupToNamedFilesOnDisk)
{
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    test::SerpConfig config;
    config.resultsPerPage = 2;
    config.pages = 2;
    server.SetSearchConfig(test::Engine::Web, config);
    QTemporaryDir dir;
    Settings::Write(Keys::AskSaveLocation, 1); // rows carry the folder chosen at extraction
    Settings::Write(Keys::DownloadFolder, dir.path() + QLatin1Char('/')); // what the dialog shows and keeps
    Shared().fileMaxSize = 10;
    Messages::SetModalHook([](QDialog *) { return 1; }); // accept the save-location dialog as shown
    RegisterDownloadWindow();
    Clock::SetSpeed(20);

    auto *w = new SearchWindow(Engine::Web);
    w->show();
    w->findChild<QLineEdit *>(QStringLiteral("Text3"))->setText(server.WebSearchBase() + QStringLiteral("?"));
    w->findChild<QRadioButton *>(QStringLiteral("Option7"))->click();
    w->findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QStringLiteral("solar"));
    for (const char *name : {"Check8", "Check9", "Check10", "Check11"})
        w->findChild<QCheckBox *>(QString::fromUtf8(name))->setChecked(false);
    w->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("0"));
    w->Driver()->BatchClicked();
    Clock::SetSpeed(1);

    ResultListModel *rows = w->ListPanel()->model();
    ASSERT_EQ(rows->rowCount(), 4);
    w->RunAnalysis(SearchWindow::AnalysisSet::All);
    for (int r = 0; r < rows->rowCount(); ++r)
        EXPECT_EQ(rows->State(r), QStringLiteral("成功"));

    DownloadWindow *d = DownloadWindow::Instance();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isVisible());
    DownloadListModel *items = d->Model();
    ASSERT_EQ(items->Count(), 4);
    EXPECT_EQ(items->Item(0).referrer, rows->Tag(0));
    d->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return items->检测是否下载列表完毕() && !d->BusyFlag(); }, 60000));
    for (int i = 0; i < items->Count(); ++i) {
        const DownloadItem &item = items->Item(i);
        EXPECT_EQ(item.state, ItemState::Done) << item.key.toStdString();
        EXPECT_EQ(item.type, QStringLiteral("pdf"));
        EXPECT_EQ(item.percent, QStringLiteral("100%"));
        // Named after the result title, in the folder chosen before the search.
        EXPECT_EQ(item.name, rows->Title(rows->IndexOf(item.key)));
        EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath(item.name + QStringLiteral(".pdf"))));
    }
    Messages::SetModalHook({});
    Messages::QueueAnswer(QStringLiteral("yes"));
    d->close();
    delete w;
}

TEST(DocumentRoad, LoginInTheBrowserViewIsSharedWithTheDownloads)
{
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    server.SetLogin({});
    test::DocumentOptions protectedDoc = test::DocumentOptions::Bytes("%PDF-1.4 members only", "application/pdf");
    protectedDoc.requiresLogin = true;
    server.AddDocument(QStringLiteral("/members/paper.pdf"), protectedDoc);
    QTemporaryDir dir;
    Shared().fileMaxSize = 10;

    auto *d = new DownloadWindow;
    const QString url = server.Url(QStringLiteral("/members/paper.pdf"));
    d->Model()->加入下载列表(url, QStringLiteral("paper"), QStringLiteral("pdf"), dir.path() + QLatin1Char('/'), QString());
    d->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return d->Model()->检测是否下载列表完毕() && !d->BusyFlag(); }, 20000));
    EXPECT_EQ(d->Model()->Item(0).type, QStringLiteral("htm")) << "without the login the server answers a page";

    // Log in inside the browser view, then download again.
    WebBrowserView view;
    bool loaded = false;
    QObject::connect(&view, &BrowserView::documentComplete, &view, [&](const QString &) { loaded = true; });
    view.Navigate(server.LoginUrl());
    ASSERT_TRUE(WaitUntil([&] { return loaded; }, 20000));
    WaitUntil([] { return false; }, 500); // the cookie store reports asynchronously

    d->Model()->加入下载列表(url + QStringLiteral("?again"), QStringLiteral("paper2"), QStringLiteral("pdf"),
                          dir.path() + QLatin1Char('/'), QString());
    d->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return d->Model()->检测是否下载列表完毕() && !d->BusyFlag(); }, 20000));
    const DownloadItem &second = d->Model()->Item(1);
    EXPECT_EQ(second.state, ItemState::Done);
    EXPECT_EQ(second.type, QStringLiteral("pdf"));
    QFile f(QDir(dir.path()).filePath(QStringLiteral("paper2.pdf")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("%PDF-1.4 members only"));
    Messages::QueueAnswer(QStringLiteral("yes"));
    d->close();
}
