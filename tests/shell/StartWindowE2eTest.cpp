// Window lifetime: the start window hides while a main window is open and
// returns when the last one closes.
#include "search/SearchWindow.h"
#include "shell/StartWindow.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dh;

TEST(StartWindowLifetime, ClosingTheLastMainWindowShowsTheStartWindow)
{
    StartWindow start;
    EXPECT_FALSE(start.findChild<QPushButton *>(QStringLiteral("Command1"))->isEnabled());
    start.StartUp();
    EXPECT_EQ(start.windowTitle(), QStringLiteral("Docharvest"));
    WaitUntil([&] { return start.findChild<QPushButton *>(QStringLiteral("Command1"))->isEnabled(); }, 5000);
    start.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    EXPECT_FALSE(start.isVisible());
    QPointer<SearchWindow> web = start.WebSearch();
    ASSERT_TRUE(web);
    EXPECT_TRUE(web->isVisible());
    start.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    QPointer<SearchWindow> scholar = start.ScholarSearch();
    ASSERT_TRUE(scholar);

    EXPECT_TRUE(scholar->close());
    WaitUntil([&] { return scholar.isNull(); }, 5000);
    YieldEvents();
    EXPECT_FALSE(start.isVisible()); // the web window is still open

    EXPECT_TRUE(web->close());
    EXPECT_TRUE(WaitUntil([&] { return start.isVisible(); }, 5000));
}

TEST(StartWindowLifetime, OneWebSearchWindowAtATime)
{
    StartWindow start;
    start.StartUp();
    WaitUntil([&] { return start.findChild<QPushButton *>(QStringLiteral("Command1"))->isEnabled(); }, 5000);
    start.OpenWebSearch();
    QPointer<SearchWindow> first = start.WebSearch();
    start.OpenWebSearch();
    EXPECT_EQ(start.WebSearch(), first.data());
    EXPECT_TRUE(first->close());
    WaitUntil([&] { return first.isNull(); }, 5000);
    start.OpenWebSearch();
    ASSERT_TRUE(start.WebSearch());
    EXPECT_EQ(start.WebSearch()->objectName(), QStringLiteral("fWebSearch"));
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        count += w->objectName() == QStringLiteral("fWebSearch");
    EXPECT_EQ(count, 1);
}
