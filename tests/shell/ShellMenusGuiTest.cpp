// The menus of the search and download windows open the options, about,
// usage and run-rights windows; the publisher's pages follow the build.
#include "download/DownloadWindow.h"
#include "search/SearchWindow.h"
#include "shell/StartWindow.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QAction>
#include <QDialog>
#include <QPointer>
#include <gtest/gtest.h>

using namespace dh;

namespace {

// Triggers a menu entry and returns "<objectName>|<caption>" of the modal window it opened.
QString Open(QWidget *window, const char *entry)
{
    auto *action = window->findChild<QAction *>(QString::fromUtf8(entry));
    EXPECT_TRUE(action) << entry;
    if (!action)
        return {};
    EXPECT_TRUE(action->isEnabled()) << entry;
    QString seen;
    Messages::SetModalHook([&](QDialog *dialog) {
        seen = dialog->objectName() + QLatin1Char('|') + dialog->windowTitle();
        return int(QDialog::Rejected);
    });
    action->trigger();
    Messages::SetModalHook({});
    return seen;
}

bool Enabled(QWidget *window, const char *entry)
{
    auto *action = window->findChild<QAction *>(QString::fromUtf8(entry));
    EXPECT_TRUE(action) << entry;
    return action && action->isEnabled();
}

} // namespace

TEST(ShellMenus, EveryWindowOpensTheHelpAndOptionWindows)
{
    Settings::Write(Keys::AskSaveLocation, 0);
    StartWindow start;
    start.OpenWebSearch();
    QPointer<SearchWindow> web = start.WebSearch();
    ASSERT_TRUE(web);
    EXPECT_EQ(Open(web, "menu设置"), QStringLiteral("fOption|设置-Docharvest"));
    EXPECT_EQ(Open(web, "menu关于"), QStringLiteral("frmAbout|关于『Docharvest』 "));
    EXPECT_EQ(Open(web, "menu使用说明"), QStringLiteral("fUse|使用说明、技巧和注意事项-Docharvest"));
    EXPECT_EQ(Open(web, "menu软件权限设置方法"), QStringLiteral("Net352|软件权限设置方法-Docharvest"));
    // A build without a publisher site keeps its pages and the suggestion mail disabled.
    for (const char *entry : {"menu最新版本", "menu作者网站", "menu软件教程和问答", "menu软件定制", "menu给软件作者建议"})
        EXPECT_FALSE(Enabled(web, entry)) << entry;

    QPointer<DownloadWindow> downloads = DownloadWindow::EnsureInstance();
    EXPECT_EQ(Open(downloads, "menu设置"), QStringLiteral("fOption|设置-Docharvest"));
    EXPECT_EQ(Open(downloads, "menu关于"), QStringLiteral("frmAbout|关于『Docharvest』 "));
    EXPECT_EQ(Open(downloads, "menu软件权限设置方法"), QStringLiteral("Net352|软件权限设置方法-Docharvest"));
    for (const char *entry : {"menu最新版本", "menu作者网站", "menu软件教程和问答", "menu软件定制", "menu给软件作者建议"})
        EXPECT_FALSE(Enabled(downloads, entry)) << entry;

    downloads->close();
    EXPECT_TRUE(web->close());
    ASSERT_TRUE(WaitUntil([&] { return web.isNull() && downloads.isNull(); }, 5000));
    start.hide();
}
