// The batch driver over a scripted view and a host of our own: the order of
// the searches, paging, the done list, the block page and the stop requests;
// then the driver inside a window over the scripted view.
#include "search/ListFile.h"
#include "search/QueryBuilder.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchDriver.h"
#include "search/SearchWindow.h"
#include "support/FakeBrowserView.h"
#include "support/QtPrinters.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dh;
using dh::test::FakeBrowserView;
using dh::test::FakePage;

namespace {

struct Row {
    QString title, url, page, type, folder;
};

class Host : public SearchHost {
public:
    int delay = 0;
    QString base = QStringLiteral("http://s/search");
    QStringList groups;
    QStringList types{QStringLiteral("pdf"), QStringLiteral("doc")};
    bool prompt = false;
    int dialogs = 0;
    QList<Row> rows;

    int DelaySeconds() const override { return delay; }
    ExtractOptions ExtractionOptions() const override { return {}; }
    QString ChooseBase() override { return base; }
    QStringList KeywordGroups() const override { return groups; }
    QStringList Types() const override { return types; }
    QString BuildUrl(const QString &b, const QString &group, const QString &type) const override
    {
        return b + QStringLiteral("?q=") + group + QStringLiteral("&t=") + type;
    }
    bool PromptForSaveLocation() const override { return prompt; }
    void ShowSaveLocationDialog() override { ++dialogs; }
    void AddRow(const QString &title, const QString &url, const QString &pageAddress, const QString &type,
                const QString &folder, const QString &) override
    {
        for (const Row &r : std::as_const(rows))
            if (r.url == url)
                return; // the list keeps one row per address
        rows.append({title, url, pageAddress, type, folder});
    }
    void RowsChanged() override {}
    void FitColumns() override {}
    QString DefaultFolder() const override { return QStringLiteral("/dl"); }
    void PageNote(const QString &text) override { notes.append(text); }
    QStringList notes;
};

// One result page: one LI hit, and a next link (handle 50) when `next` is set.
FakePage resultPage(const QString &hitUrl, const QString &next = {})
{
    FakePage page;
    SnapElement hit;
    hit.handle = 10;
    hit.tag = QStringLiteral("LI");
    hit.className = QStringLiteral("g");
    hit.hasLink = true;
    hit.linkHandle = 11;
    hit.linkHref = hitUrl;
    hit.linkText = QStringLiteral("title of ") + hitUrl.section(QLatin1Char('/'), -1);
    hit.hasSpan = true;
    hit.spanText = QStringLiteral("[PDF]");
    page.snapshot.elements.append(hit);
    page.snapshot.html = QStringLiteral("<html>results</html>");
    if (!next.isEmpty()) {
        page.snapshot.pnnextHandle = 50;
        page.clickTargets.insert(50, next);
    }
    return page;
}

FakePage captchaPage()
{
    FakePage page;
    page.snapshot.html =
        QStringLiteral("<html><body>Our systems have detected unusual traffic from your computer network.</body></html>");
    return page;
}

class SearchDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Messages::Clear();
        Clock::SetSpeed(50); // the one-second settles
    }
    void TearDown() override { Clock::SetSpeed(1); }

    // Each search has two pages: page 1 links to page 2, which has no next link.
    void addSearch(const QString &group, const QString &type)
    {
        const QString url = host.BuildUrl(host.base, group, type);
        const QString p2 = url + QStringLiteral("&start=10");
        view.AddPage(url, resultPage(QStringLiteral("http://d/") + group + type + QStringLiteral("1"), p2));
        view.AddPage(p2, resultPage(QStringLiteral("http://d/") + group + type + QStringLiteral("2")));
    }

    FakeBrowserView view;
    Host host;
    SearchDriver driver{&view, &host};
};

} // namespace

TEST_F(SearchDriverTest, BatchRunsEverySearchInOrderAndPagesThroughEach)
{
    host.groups = {QStringLiteral("a"), QStringLiteral("  "), QStringLiteral("b")};
    for (const QString &g : {QStringLiteral("a"), QStringLiteral("b")})
        for (const QString &t : host.types)
            addSearch(g, t);
    QList<bool> batchStates;
    QObject::connect(&driver, &SearchDriver::batchButtonChanged, &view,
                     [&](bool running, bool) { batchStates.append(running); });

    driver.BatchClicked();

    EXPECT_EQ(driver.DoneText(), QStringLiteral("a(pdf) a(doc) \r\nb(pdf) b(doc) \r\n"));
    const QString blank = QStringLiteral("about:blank");
    QStringList expected;
    for (const QString &g : {QStringLiteral("a"), QStringLiteral("b")})
        for (const QString &t : host.types) {
            const QString url = host.BuildUrl(host.base, g, t);
            expected << url << url + QStringLiteral("&start=10") << blank;
        }
    expected << host.base;
    EXPECT_EQ(view.Navigations(), expected);
    ASSERT_EQ(host.rows.size(), 8);
    EXPECT_EQ(host.rows[0].url, QStringLiteral("http://d/apdf1"));
    EXPECT_EQ(host.rows[1].url, QStringLiteral("http://d/apdf2"));
    EXPECT_EQ(host.rows[1].page, host.BuildUrl(host.base, QStringLiteral("a"), QStringLiteral("pdf")) +
                                     QStringLiteral("&start=10"));
    EXPECT_EQ(host.rows[7].url, QStringLiteral("http://d/bdoc2"));
    EXPECT_EQ(host.rows[0].type, QStringLiteral("PDF")); // from the page's type tag
    EXPECT_TRUE(host.rows[0].folder.isEmpty()); // no prompt: no folder
    EXPECT_EQ(host.dialogs, 0);
    EXPECT_FALSE(driver.BatchRunning());
    EXPECT_TRUE(driver.BatchStop());
    EXPECT_TRUE(driver.AddAllStop());
    EXPECT_EQ(batchStates, (QList<bool>{true, false}));
}

TEST_F(SearchDriverTest, PromptSettingShowsTheDialogOnceAndFillsTheFolder)
{
    host.groups = {QStringLiteral("a")};
    host.types = {QStringLiteral("pdf")};
    host.prompt = true;
    addSearch(QStringLiteral("a"), QStringLiteral("pdf"));
    driver.BatchClicked();
    EXPECT_EQ(host.dialogs, 1); // the add-all runs inside the batch do not ask again
    ASSERT_EQ(host.rows.size(), 2);
    EXPECT_EQ(host.rows[0].folder, QStringLiteral("/dl"));
}

TEST_F(SearchDriverTest, BlockPageEndsTheBatchAndStaysShown)
{
    host.groups = {QStringLiteral("a"), QStringLiteral("b")};
    const QString url = host.BuildUrl(host.base, QStringLiteral("a"), QStringLiteral("pdf"));
    const QString p2 = url + QStringLiteral("&start=10");
    view.AddPage(url, resultPage(QStringLiteral("http://d/1"), p2));
    view.AddPage(p2, captchaPage());

    driver.BatchClicked();

    EXPECT_TRUE(driver.Captcha());
    EXPECT_EQ(view.Navigations(), (QStringList{url, p2})); // neither about:blank nor the base
    EXPECT_EQ(view.CurrentUrl(), p2);
    EXPECT_EQ(driver.DoneText(), QStringLiteral("a(pdf) "));
    EXPECT_EQ(host.rows.size(), 1);
    EXPECT_FALSE(driver.BatchRunning());

    // The next run starts afresh.
    host.groups = {QStringLiteral("c")};
    host.types = {QStringLiteral("pdf")};
    addSearch(QStringLiteral("c"), QStringLiteral("pdf"));
    driver.BatchClicked();
    EXPECT_FALSE(driver.Captcha());
    EXPECT_EQ(host.rows.size(), 3);
}

TEST_F(SearchDriverTest, BlockedBatchGoesOnFromWhereItStoppedWhenTheUserAsks)
{
    host.groups = {QStringLiteral("a"), QStringLiteral("b")};
    host.types = {QStringLiteral("pdf")};
    const QString url = host.BuildUrl(host.base, QStringLiteral("a"), QStringLiteral("pdf"));
    const QString p2 = url + QStringLiteral("&start=10");
    view.AddPage(url, resultPage(QStringLiteral("http://d/a1"), p2));
    view.AddPage(p2, captchaPage());
    view.AddPage(p2, resultPage(QStringLiteral("http://d/a2"))); // after the user's check
    addSearch(QStringLiteral("b"), QStringLiteral("pdf"));

    driver.BatchClicked();
    ASSERT_TRUE(driver.BlockedPlace());
    EXPECT_EQ(driver.BlockedPlace()->address, url); // the last result page read
    EXPECT_EQ(host.rows.size(), 1);

    Messages::Clear();
    Messages::QueueAnswer(QStringLiteral("yes"));
    const qsizetype before = view.Navigations().size();
    driver.BatchClicked();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("上次批量搜索在验证页面中断，是否从中断处继续？"));
    const QString b = host.BuildUrl(host.base, QStringLiteral("b"), QStringLiteral("pdf"));
    EXPECT_EQ(view.Navigations().mid(before),
              (QStringList{url, p2, QStringLiteral("about:blank"), b, b + QStringLiteral("&start=10"),
                           QStringLiteral("about:blank"), host.base}));
    EXPECT_EQ(driver.DoneText(), QStringLiteral("a(pdf) \r\nb(pdf) \r\n"));
    ASSERT_EQ(host.rows.size(), 4);
    EXPECT_EQ(host.rows[1].url, QStringLiteral("http://d/a2"));
    EXPECT_FALSE(driver.BlockedPlace());
}

TEST_F(SearchDriverTest, BlockedPlaceIsForgottenOnNoOrOtherSearches)
{
    host.groups = {QStringLiteral("a")};
    host.types = {QStringLiteral("pdf")};
    const QString url = host.BuildUrl(host.base, QStringLiteral("a"), QStringLiteral("pdf"));
    view.AddPage(url, captchaPage());
    view.AddPage(url, resultPage(QStringLiteral("http://d/a1")));

    driver.BatchClicked();
    ASSERT_TRUE(driver.BlockedPlace());
    EXPECT_EQ(driver.BlockedPlace()->address, url); // blocked on its first page
    // No: the batch starts over, with a fresh done list.
    Messages::QueueAnswer(QStringLiteral("no"));
    driver.BatchClicked();
    EXPECT_EQ(driver.DoneText(), QStringLiteral("a(pdf) \r\n"));
    EXPECT_FALSE(driver.BlockedPlace());

    // Other keyword groups: nothing is asked.
    host.groups = {QStringLiteral("d")};
    view.AddPage(host.BuildUrl(host.base, QStringLiteral("d"), QStringLiteral("pdf")), captchaPage());
    driver.BatchClicked();
    ASSERT_TRUE(driver.BlockedPlace());
    host.groups = {QStringLiteral("c")};
    Messages::Clear();
    driver.BatchClicked();
    EXPECT_FALSE(Messages::Last());
    EXPECT_FALSE(driver.BlockedPlace());
}

TEST_F(SearchDriverTest, UnreadablePageIsNotedInTheStatusBar)
{
    FakePage odd;
    odd.snapshot.html = QStringLiteral("<html>a layout nobody knows</html>");
    odd.snapshot.resultLinks = 25;
    view.AddPage(QStringLiteral("http://s/odd"), odd);
    view.AddPage(QStringLiteral("http://s/ok"), resultPage(QStringLiteral("http://d/1")));
    view.Navigate(QStringLiteral("http://s/odd"));
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    driver.AddThisPage();
    EXPECT_EQ(host.notes.last(), QStringLiteral("本页结果无法识别"));
    view.Navigate(QStringLiteral("http://s/ok"));
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    driver.AddThisPage();
    EXPECT_EQ(host.notes.last(), QString());
}

TEST_F(SearchDriverTest, StopDuringTheDelayEndsTheBatchAtOnce)
{
    Clock::SetSpeed(1);
    host.groups = {QStringLiteral("a"), QStringLiteral("b")};
    host.delay = 100;
    addSearch(QStringLiteral("a"), QStringLiteral("pdf"));
    QTimer::singleShot(300, &view, [this] { driver.BatchClicked(); });
    QElapsedTimer timer;
    timer.start();
    driver.BatchClicked();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(driver.BatchRunning());
    // The stop came during the first delay: no paging, no second group.
    const QString url = host.BuildUrl(host.base, QStringLiteral("a"), QStringLiteral("pdf"));
    EXPECT_EQ(view.Navigations(), (QStringList{url, QStringLiteral("about:blank"), host.base}));
    EXPECT_TRUE(view.Clicks().isEmpty());
    EXPECT_EQ(driver.DoneText(), QStringLiteral("a(pdf) "));
}

TEST_F(SearchDriverTest, RefusalsAndAddAllStop)
{
    host.base.clear();
    driver.BatchClicked();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("镜像网站主网址设置错误！"));
    EXPECT_TRUE(view.Navigations().isEmpty());

    // A batch is refused while an add-all run goes on; a second Command4 press stops the run.
    host.base = QStringLiteral("http://s/search");
    const QString p1 = QStringLiteral("http://s/p1");
    view.AddPage(p1, resultPage(QStringLiteral("http://d/1"), p1)); // a page that links to itself
    view.Navigate(p1);
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    Messages::Clear();
    QTimer::singleShot(100, &view, [this] {
        driver.BatchClicked();
        driver.AddAllClicked();
    });
    driver.AddAllClicked();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("正在提取网页信息，请停止以后使用该功能！"));
    EXPECT_FALSE(driver.AddAllRunning());
    EXPECT_FALSE(driver.BatchRunning());
    EXPECT_EQ(host.rows.size(), 1);
}

TEST_F(SearchDriverTest, PageThatNeverLoadsIsGivenUp)
{
    Clock::SetSpeed(2000); // 60 s in 30 ms
    const QString p1 = QStringLiteral("http://s/p1");
    const QString p2 = QStringLiteral("http://s/p2");
    view.AddPage(p1, resultPage(QStringLiteral("http://d/1"), p2));
    view.Navigate(p1);
    ASSERT_TRUE(WaitUntil([&] { return !view.IsBusy(); }, 2000));
    view.SetHoldLoads(true);
    driver.AddAllClicked(); // ends by itself
    EXPECT_FALSE(driver.AddAllRunning());
    EXPECT_EQ(view.Clicks(), QList<int>{50});
    view.SetHoldLoads(false);
    view.FinishLoad();
}

TEST_F(SearchDriverTest, DelayReadsTheSecondsAnewAtEveryCheck)
{
    Clock::SetSpeed(1);
    host.delay = 100;
    QTimer::singleShot(100, &view, [this] { host.delay = 0; });
    QElapsedTimer timer;
    timer.start();
    driver.延时();
    EXPECT_LT(timer.elapsed(), 3000);
}

// The driver inside its window (not shown): the auto-save box and the close refusals.
TEST_F(SearchDriverTest, WindowKeepsRowsAndRefusesToCloseWhileBusyEvenWhenHidden)
{
    Settings::Write(Keys::AskSaveLocation, 0);
    auto *fake = new FakeBrowserView;
    QPointer<SearchWindow> w = new SearchWindow(Engine::Web, fake);
    w->findChild<QLineEdit *>(QStringLiteral("Text3"))->setText(QStringLiteral("http://s/search?"));
    w->findChild<QRadioButton *>(QStringLiteral("Option7"))->click();
    w->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("0"));
    w->findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QStringLiteral("a"));
    for (const char *name : {"Check8", "Check9", "Check10", "Check11"})
        w->findChild<QCheckBox *>(QString::fromUtf8(name))->setChecked(false);
    w->findChild<QCheckBox *>(QStringLiteral("Check16"))->setChecked(true); // set from code, not clicked
    const QString url = BuildSearchUrl(Engine::Web, QStringLiteral("http://s/search"), QStringLiteral("zh-CN"),
                                       QStringLiteral("a"), QStringLiteral("pdf"));
    fake->AddPage(url, resultPage(QStringLiteral("http://d/1.pdf")));

    bool batchCloseAccepted = true;
    QTimer::singleShot(0, w, [&] { batchCloseAccepted = w->close(); });
    w->Driver()->BatchClicked();
    ASSERT_TRUE(w);
    EXPECT_FALSE(batchCloseAccepted);
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("正在搜索分析，停止以后才能关闭窗口！"));
    QList<ListRecord> saved;
    ASSERT_TRUE(ReadListFile(w->AutoSavePath(), saved).ok());
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].url, QStringLiteral("http://d/1.pdf"));

    // During an import the progress panel is up: closing is refused too.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("other_2.hvls"));
    {
        AutoSaveList list;
        ASSERT_TRUE(list.open(file).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://d/2.pdf"), QStringLiteral("two"), QStringLiteral("PDF"), {}).ok());
    }
    bool importCloseAccepted = true;
    QTimer::singleShot(0, w, [&] { importCloseAccepted = w->close(); });
    w->ImportListFile(file);
    ASSERT_TRUE(w);
    EXPECT_FALSE(importCloseAccepted);
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("导入文件到列表完成，共成功导入：1条数据。"));
    EXPECT_EQ(w->ListPanel()->model()->rowCount(), 2);

    EXPECT_TRUE(w->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}
