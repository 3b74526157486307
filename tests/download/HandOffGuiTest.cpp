// The analysis run of a search window hands rows to the download list: a row
// reads "成功" only when the list took it, and a stopped run does not bring
// the download window up.
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchWindow.h"
#include "support/QtPrinters.h"
#include "util/Settings.h"
#include "util/WindowHub.h"

#include <QPushButton>
#include <gtest/gtest.h>

using namespace dh;

TEST(HandOff, RowStatesFollowTheAnswerAndAStoppedRunShowsNothing) {
    Settings::Write(Keys::AskSaveLocation, 1); // no save-location question
    auto *w = new SearchWindow(Engine::Web);
    ResultListModel *rows = w->ListPanel()->model();
    for (int i = 0; i < 4; ++i)
        rows->加入LV1(QStringLiteral("t%1").arg(i), QStringLiteral("http://h.example/%1.pdf").arg(i),
                      QStringLiteral("http://h.example/list"), QStringLiteral("pdf"), QString(), QString());
    // Not flushed: rows found a moment ago are analysed too.
    int shown = 0;
    WindowHub::SetShowDownloads([&](bool) { ++shown; });
    QStringList handed;
    WindowHub::SetHandOff([&](const HandOffItem &item) {
        handed << item.address;
        return !item.address.endsWith(QLatin1String("1.pdf")); // the list refuses one row
    });

    w->RunAnalysis(SearchWindow::AnalysisSet::All);
    EXPECT_EQ(handed.size(), 4);
    EXPECT_EQ(rows->State(0), QStringLiteral("成功"));
    EXPECT_EQ(rows->State(1), QStringLiteral("分析失败"));
    EXPECT_EQ(rows->State(2), QStringLiteral("成功"));
    EXPECT_EQ(shown, 1);

    // "停止" pressed while the second row is handed over.
    handed.clear();
    WindowHub::SetHandOff([&](const HandOffItem &item) {
        handed << item.address;
        if (handed.size() == 2)
            w->findChild<QPushButton *>(QStringLiteral("Command5"))->click();
        return true;
    });
    w->RunAnalysis(SearchWindow::AnalysisSet::All);
    EXPECT_EQ(handed.size(), 2);
    EXPECT_EQ(shown, 1) << "a stopped run leaves the download window as it was";

    WindowHub::SetHandOff({});
    WindowHub::SetShowDownloads({});
    delete w;
}
