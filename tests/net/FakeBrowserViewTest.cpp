#include "support/FakeBrowserView.h"
#include "support/QtPrinters.h"
#include "util/Wait.h"

#include <gtest/gtest.h>

using namespace dh;
using dh::test::FakeBrowserView;
using dh::test::FakePage;

namespace
{
FakePage pageWithNext(const QString &title, int nextHandle, const QString &target)
{
    FakePage page;
    page.title = title;
    page.snapshot.html = title;
    page.snapshot.pnnextHandle = nextHandle;
    page.clickTargets.insert(nextHandle, target);
    return page;
}
} // namespace

TEST(FakeBrowserView, LoadsCompleteOnTheNextTurnAndFollowClicks)
{
    FakeBrowserView view;
    view.AddPage(QStringLiteral("http://s/1"),
                 pageWithNext(QStringLiteral("one"), 3, QStringLiteral("http://s/2")));
    view.AddPage(QStringLiteral("http://s/2"),
                 pageWithNext(QStringLiteral("two"), 3, QStringLiteral("http://s/3")));
    QStringList completed;
    QObject::connect(&view, &BrowserView::documentComplete, &view,
                     [&](const QString &url) { completed.append(url); });

    view.Navigate(QStringLiteral("http://s/1"));
    EXPECT_TRUE(view.IsBusy());
    EXPECT_TRUE(completed.isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    EXPECT_EQ(completed, QStringList{QStringLiteral("http://s/1")});
    EXPECT_EQ(view.Snapshot().html, QStringLiteral("one"));
    EXPECT_EQ(view.Snapshot().url, QStringLiteral("http://s/1"));

    // The same handle names a different link on each page.
    EXPECT_TRUE(view.Click(3));
    ASSERT_TRUE(WaitUntil([&] { return completed.size() == 2; }, 2000));
    EXPECT_EQ(view.CurrentUrl(), QStringLiteral("http://s/2"));
    EXPECT_TRUE(view.Click(3));
    ASSERT_TRUE(WaitUntil([&] { return completed.size() == 3; }, 2000));
    EXPECT_EQ(view.CurrentUrl(), QStringLiteral("http://s/3"));
    EXPECT_TRUE(view.Snapshot().valid); // an unknown address is an empty page
    EXPECT_FALSE(view.Click(3));
    EXPECT_EQ(view.Clicks(), (QList<int>{3, 3}));

    view.Back();
    ASSERT_TRUE(WaitUntil([&] { return completed.size() == 4; }, 2000));
    EXPECT_EQ(view.CurrentUrl(), QStringLiteral("http://s/2"));
    view.Forward();
    ASSERT_TRUE(WaitUntil([&] { return completed.size() == 5; }, 2000));
    EXPECT_EQ(view.CurrentUrl(), QStringLiteral("http://s/3"));
    view.Forward(); // nothing ahead
    YieldEvents();
    EXPECT_EQ(completed.size(), 5);
    EXPECT_EQ(view.Navigations().size(), 5);
}

TEST(FakeBrowserView, QueuedPagesHeldLoadsAndStuckPages)
{
    FakeBrowserView view;
    const QString url = QStringLiteral("http://s/q");
    FakePage first;
    first.snapshot.html = QStringLiteral("first");
    FakePage second;
    second.snapshot.html = QStringLiteral("second");
    second.answers = false;
    second.inputs = {{0, QStringLiteral("user"), QStringLiteral("text"), {}}};
    FakePage third;
    third.snapshot.html = QStringLiteral("third");
    third.inputs = {{0, QStringLiteral("user"), QStringLiteral("text"), {}}};
    third.ids.insert(QStringLiteral("submitip"), 1);
    view.AddPage(url, first);
    view.AddPage(url, second);
    view.AddPage(url, third);

    EXPECT_FALSE(view.Snapshot().valid); // nothing loaded yet
    view.SetHoldLoads(true);
    view.Navigate(url);
    EXPECT_TRUE(SleepFor(50, [&] { return !view.IsBusy(); })); // stays busy while held
    view.FinishLoad();
    EXPECT_FALSE(view.IsBusy());
    EXPECT_EQ(view.Snapshot().html, QStringLiteral("first"));

    view.SetHoldLoads(false);
    view.Reload();
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    EXPECT_FALSE(view.Snapshot().valid);
    EXPECT_TRUE(view.Inputs().isEmpty());
    EXPECT_FALSE(view.SetValue(0, QStringLiteral("a")));

    view.Reload();
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    view.Reload(); // the last page stays
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    EXPECT_EQ(view.Snapshot().html, QStringLiteral("third"));
    EXPECT_EQ(view.ElementById(QStringLiteral("submitip")), 1);
    EXPECT_EQ(view.ElementById(QStringLiteral("other")), -1);
    EXPECT_TRUE(view.SetValue(0, QStringLiteral("alice")));
    EXPECT_EQ(view.Inputs().at(0).value, QStringLiteral("alice"));
    EXPECT_EQ(view.Values().size(), 1);
    EXPECT_EQ(view.SnapshotCount(), 4);
}
