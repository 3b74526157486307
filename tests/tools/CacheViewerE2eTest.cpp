// The cache viewer over what a search window's real browser view cached:
// opened from the search window's menu, a cached document copied out, and
// the whole cache cleared from every place that offers it.
#include "download/DownloadWindow.h"
#include "net/BrowserCache.h"
#include "search/SearchWindow.h"
#include "support/CacheEntries.h"
#include "support/QtPrinters.h"
#include "support/TestHelpers.h"
#include "support/TestServer.h"
#include "tools/CacheListModel.h"
#include "tools/CacheViewerWindow.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace dh;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList cachedAddresses() {
    BrowserCache cache = BrowserCache::ForProfile();
    return test::ListedAddresses(cache);
}

// Opens an address the way a user does: "打开指定网址" and the input box.
void openAddress(QWidget *window, const QString &url) {
    Messages::QueueAnswer(url);
    window->findChild<QAction *>(QStringLiteral("menu打开指定网址"))->trigger();
    // The engine writes the entry when the request ends, a moment after the page.
    ASSERT_TRUE(WaitUntil([&] { return cachedAddresses().contains(url); }, 20000)) << url.toStdString();
}

} // namespace

TEST(CacheViewerE2e, SearchWindowPagesAreListedCopiedOutAndClearedFromEveryPlace) {
    test::TestServer server;
    ASSERT_TRUE(server.Start());
    const QByteArray pdf = readAll(test::FixturePath(QStringLiteral("files/textract-standardized_text.pdf")));
    server.AddDocument(QStringLiteral("/files/report.pdf"),
                       test::DocumentOptions::Bytes(pdf, "application/pdf"));
    server.AddDocument(QStringLiteral("/p/page.html"),
                       test::DocumentOptions::Html(QStringLiteral("<html><body>结果页</body></html>")));
    const QString pdfUrl = server.DocumentUrl(QStringLiteral("/files/report.pdf"));
    const QString pageUrl = server.DocumentUrl(QStringLiteral("/p/page.html"));
    Settings::Write(Keys::AskSaveLocation, 0);
    RegisterToolWindows();
    Messages::Clear();

    QPointer<SearchWindow> search = new SearchWindow(Engine::Web);
    search->show();
    openAddress(search, pageUrl);
    openAddress(search, pdfUrl);

    // "查看IE浏览器缓存": the viewer lists both; the PDF goes to a folder byte for byte.
    QTemporaryDir target;
    QStringList listed;
    QString label;
    QString copyCaption;
    Messages::SetModalHook([&](QDialog *d) {
        if (d->objectName() == QStringLiteral("Form_Copy_Move")) {
            copyCaption = d->windowTitle();
            d->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(target.path());
            d->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
            return 0;
        }
        EXPECT_EQ(d->objectName(), QStringLiteral("fIEcache"));
        EXPECT_EQ(d->windowTitle(), QStringLiteral("IE浏览器Cookie 缓存和历史列表-Docharvest"));
        d->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        auto *list = d->findChild<QTreeView *>(QStringLiteral("ListView1"));
        auto *model = static_cast<CacheListModel *>(list->model());
        for (int r = 0; r < model->Count(); ++r)
            listed << model->Row(r).url;
        label = d->findChild<QLabel *>(QStringLiteral("Label1"))->text();
        const int row = int(listed.indexOf(pdfUrl));
        EXPECT_GE(row, 0);
        list->selectionModel()->select(model->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        d->findChild<QPushButton *>(QStringLiteral("Command6"))->click();
        return 0;
    });
    search->findChild<QAction *>(QStringLiteral("menu查看IE浏览器缓存"))->trigger();
    Messages::SetModalHook({});
    EXPECT_TRUE(listed.contains(pageUrl));
    EXPECT_TRUE(listed.contains(pdfUrl));
    EXPECT_EQ(label, QStringLiteral("共有") + QString::number(listed.size()) + QStringLiteral(" 个文件"));
    EXPECT_EQ(copyCaption, QStringLiteral("复制文件：1 个文件..."));
    EXPECT_EQ(readAll(target.filePath(QStringLiteral("report.pdf"))), pdf);

    // "清空IE浏览器缓存" of the search window.
    search->findChild<QAction *>(QStringLiteral("menu清空IE浏览器缓存"))->trigger();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("IE缓存清空完毕！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Information);
    EXPECT_EQ(cachedAddresses(), QStringList());
    EXPECT_TRUE(QDir(BrowserCache::DefaultExportFolder())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                    .isEmpty());

    // Check12: the tenth minute of Timer2 clears silently, only when ticked.
    auto *timer = search->findChild<QTimer *>(QStringLiteral("Timer2"));
    auto tenMinutes = [&] {
        for (int i = 0; i < 600; ++i)
            QMetaObject::invokeMethod(timer, "timeout");
    };
    openAddress(search, pageUrl);
    search->findChild<QCheckBox *>(QStringLiteral("Check12"))->setChecked(false);
    tenMinutes();
    EXPECT_TRUE(cachedAddresses().contains(pageUrl));
    search->findChild<QCheckBox *>(QStringLiteral("Check12"))->setChecked(true);
    Messages::Clear();
    tenMinutes();
    EXPECT_EQ(cachedAddresses(), QStringList());
    EXPECT_FALSE(Messages::Last());

    // "清空IE浏览器缓存" of the download window.
    openAddress(search, pdfUrl);
    QPointer<DownloadWindow> downloads = new DownloadWindow;
    downloads->findChild<QAction *>(QStringLiteral("menu清空IE浏览器缓存"))->trigger();
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("IE缓存清空完毕！"));
    EXPECT_EQ(cachedAddresses(), QStringList());

    // The silent clear the start window runs when it closes.
    openAddress(search, pageUrl);
    Messages::Clear();
    EXPECT_TRUE(WindowHub::ClearBrowserCache(false));
    EXPECT_EQ(cachedAddresses(), QStringList());
    EXPECT_FALSE(Messages::Last());

    delete downloads.data();
    search->close();
    WaitUntil([&] { return search.isNull(); }, 5000);
}
