// The start window's own controls and its hub entries; the window lifetime
// with real search windows is exercised end to end elsewhere.
#include "search/SearchWindow.h"
#include "shell/StartWindow.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"
#include "util/WindowHub.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dh;

TEST(StartWindowGui, SearchButtonsWaitForTheFirstTimerTick)
{
    StartWindow start;
    auto *web = start.findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *scholar = start.findChild<QPushButton *>(QStringLiteral("Command2"));
    ASSERT_TRUE(web && scholar);
    start.StartUp();
    EXPECT_TRUE(start.isVisible());
    EXPECT_TRUE(start.findChild<QLabel *>(QStringLiteral("Label1"))->isHidden());
    EXPECT_EQ(start.findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("版本:1.0.0"));
    // Shown, but the tick has not come yet.
    EXPECT_FALSE(web->isEnabled());
    EXPECT_FALSE(scholar->isEnabled());
    web->click();
    EXPECT_TRUE(start.isVisible());
    EXPECT_FALSE(start.WebSearch());
    ASSERT_TRUE(WaitUntil([&] { return web->isEnabled(); }, 5000));
    EXPECT_TRUE(scholar->isEnabled());
    start.hide();
}

TEST(StartWindowGui, HubEntriesReachTheLiveWindowOnly)
{
    Settings::Write(Keys::AskSaveLocation, 0);
    {
        StartWindow gone;
    }
    // A window that is gone leaves nothing behind to call.
    WindowHub::Run(WindowHub::Action::ShowStartWindow);
    WindowHub::Run(WindowHub::Action::ShowWebSearch);
    YieldEvents();

    StartWindow start;
    start.show();
    ASSERT_TRUE(WindowHub::Run(WindowHub::Action::ShowWebSearch));
    QPointer<SearchWindow> web = start.WebSearch();
    ASSERT_TRUE(web);
    EXPECT_TRUE(web->isVisible());
    EXPECT_FALSE(start.isVisible());
    ASSERT_TRUE(WindowHub::Run(WindowHub::Action::ShowWebSearch));
    EXPECT_EQ(start.WebSearch(), web.data()); // the same window again

    EXPECT_TRUE(web->close());
    ASSERT_TRUE(WaitUntil([&] { return web.isNull() && start.isVisible(); }, 5000));
    start.hide();
}
