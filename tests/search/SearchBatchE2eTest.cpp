// Batch searches through the real search windows and the real browser view
// against the local search server used as the mirror site.
#include "net/BrowserView.h"
#include "search/ListFile.h"
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
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dh;

namespace {

class SearchBatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        Settings::Write(Keys::AskSaveLocation, 0); // no save-location dialog in the way
        Clock::SetSpeed(20);                       // the one-second settles pass quickly
        Messages::Clear();
    }
    void TearDown() override { Clock::SetSpeed(1); }

    // A window whose mirror is the local server, with only pdf and doc ticked.
    SearchWindow *OpenWindow(Engine engine, const QString &groups,
                             const QString &delay = QStringLiteral("0")) {
        auto *w = new SearchWindow(engine);
        w->show();
        const QString base = engine == Engine::Web ? m_server.WebSearchBase() : m_server.ScholarSearchBase();
        w->findChild<QLineEdit *>(QStringLiteral("Text3"))->setText(base + QStringLiteral("?"));
        w->findChild<QRadioButton *>(QStringLiteral("Option7"))->click();
        w->findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(groups);
        for (const char *name : {"Check9", "Check10", "Check11"})
            w->findChild<QCheckBox *>(QString::fromUtf8(name))->setChecked(false);
        w->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(delay);
        return w;
    }

    QStringList SearchTargets(const QString &path) const {
        QStringList out;
        for (const QString &t : m_server.RequestTargets())
            if (t.startsWith(path + QLatin1Char('?')))
                out << t;
        return out;
    }

    test::TestServer m_server;
};

QString PathAndQuery(const QString &url, const QString &serverBase) {
    return url.mid(serverBase.size());
}

} // namespace

TEST_F(SearchBatch, TwoGroupsTwoTypesPageThroughEveryResultPage) {
    test::SerpConfig config;
    config.resultsPerPage = 3;
    config.pages = 3;
    m_server.SetSearchConfig(test::Engine::Web, config);
    QPointer<SearchWindow> w = OpenWindow(Engine::Web, QStringLiteral("a\r\n  \r\nb"));
    w->findChild<QCheckBox *>(QStringLiteral("Check16"))->click(); // auto-save on
    m_server.ClearRequests();

    w->Driver()->BatchClicked();

    // Exactly the four query URLs, in order, each followed by its pages.
    const QString base = m_server.WebSearchBase();
    QStringList expected;
    for (const QString &group : {QStringLiteral("a"), QStringLiteral("b")})
        for (const QString &type : {QStringLiteral("pdf"), QStringLiteral("doc")})
            expected << PathAndQuery(BuildSearchUrl(Engine::Web, base, QStringLiteral("zh-CN"), group, type),
                                     m_server.BaseUrl());
    QStringList firstPages;
    QStringList all = SearchTargets(QStringLiteral("/search"));
    for (const QString &t : all)
        if (!t.contains(QLatin1String("start=")))
            firstPages << t;
    EXPECT_EQ(firstPages, expected);
    for (int q = 0; q < 4; ++q) {
        const int at = all.indexOf(expected[q]);
        ASSERT_GE(at, 0);
        const QString later = all.mid(at, 3).join(QLatin1Char(' '));
        EXPECT_TRUE(later.contains(QLatin1String("start=3")) || later.contains(QLatin1String("start=10")))
            << later.toStdString();
    }

    EXPECT_EQ(w->Driver()->DoneText(), QStringLiteral("a(pdf) a(doc) \r\nb(pdf) b(doc) \r\n"));
    EXPECT_FALSE(w->Driver()->BatchRunning());
    EXPECT_EQ(w->findChild<QPushButton *>(QStringLiteral("Command1"))->text(),
              QStringLiteral("开始批量搜索提取"));

    ResultListModel *model = w->ListPanel()->model();
    ASSERT_EQ(model->rowCount(), 4 * 3 * 3);
    int pdf = 0, doc = 0;
    for (int r = 0; r < model->rowCount(); ++r) {
        pdf += model->Type(r) == QStringLiteral("PDF");
        doc += model->Type(r) == QStringLiteral("doc");
        EXPECT_TRUE(model->Folder(r).isEmpty());
        EXPECT_TRUE(model->Tag(r).startsWith(base + QStringLiteral("?"))) << model->Tag(r).toStdString();
        EXPECT_TRUE(model->Key(r).startsWith(m_server.BaseUrl() + QStringLiteral("/docs/")));
    }
    EXPECT_EQ(pdf, 18);
    EXPECT_EQ(doc, 18);

    QList<ListRecord> saved;
    ASSERT_TRUE(ReadListFile(w->AutoSavePath(), saved).ok());
    ASSERT_EQ(saved.size(), model->rowCount());
    EXPECT_EQ(saved.first().url, model->Key(0));
    EXPECT_EQ(saved.first().type, model->Type(0));

    // After the batch the view returns to the base; closing saves the keywords.
    EXPECT_TRUE(w->close());
    WaitUntil([&] { return w.isNull(); }, 5000);
    EXPECT_EQ(Settings::Read(Keys::Keywords, QStringLiteral("fWebSearch")), QStringLiteral("a\n  \nb"));
}

TEST_F(SearchBatch, UnusualTrafficPageStopsTheBatchAndStaysOnScreen) {
    test::SerpConfig config;
    config.resultsPerPage = 2;
    config.pages = 2;
    m_server.SetSearchConfig(test::Engine::Web, config);
    test::CaptchaRule rule;
    rule.kind = test::CaptchaKind::English;
    rule.atSearchRequest = 3;
    m_server.SetCaptcha(rule);
    SearchWindow *w = OpenWindow(Engine::Web, QStringLiteral("a\r\nb"));

    w->Driver()->BatchClicked();

    EXPECT_TRUE(w->Driver()->Captcha());
    EXPECT_FALSE(w->Driver()->BatchRunning());
    EXPECT_EQ(m_server.SearchRequestCount(), 3); // nothing asked after the block page
    const PageSnapshot page = w->View()->Snapshot();
    EXPECT_TRUE(page.html.contains(QStringLiteral("unusual traffic"))) << page.url.toStdString();
    EXPECT_NE(w->View()->CurrentUrl(), QStringLiteral("about:blank"));
    EXPECT_EQ(w->Driver()->DoneText(), QStringLiteral("a(pdf) a(doc) "));

    // The user answers the check; the next press offers to go on from there.
    m_server.ClearCaptcha();
    m_server.ClearRequests();
    Messages::QueueAnswer(QStringLiteral("yes"));
    w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("上次批量搜索在验证页面中断，是否从中断处继续？"));
    EXPECT_FALSE(w->Driver()->Captcha());
    EXPECT_EQ(w->Driver()->DoneText(), QStringLiteral("a(pdf) a(doc) \r\nb(pdf) b(doc) \r\n"));
    const QStringList asked = SearchTargets(QStringLiteral("/search"));
    ASSERT_FALSE(asked.isEmpty());
    EXPECT_TRUE(asked.first().contains(QLatin1String("as_filetype=doc"))) << asked.first().toStdString();
    EXPECT_EQ(asked.size(), 6); // a(doc), b(pdf), b(doc): two pages each
    EXPECT_EQ(w->ListPanel()->model()->Count(), 2 * 2 * 2 * 2);
    delete w;
}

TEST_F(SearchBatch, TodaysLayoutIsReadAndPagedByItsLabelledAndNumberedLinks) {
    // Rewritten: labelled in a language the program does not know, to the
    // search as the engine writes it, reached through its start=.
    for (const test::NextStyle style :
         {test::NextStyle::MoreResults, test::NextStyle::PageNumbers, test::NextStyle::Rewritten}) {
        SCOPED_TRACE(int(style));
        test::SerpConfig config;
        config.resultsPerPage = 4;
        config.pages = 3;
        config.layout = test::HitLayout::Today;
        config.next = style;
        m_server.SetSearchConfig(test::Engine::Web, config);
        m_server.ClearRequests();
        QPointer<SearchWindow> w = OpenWindow(Engine::Web, QStringLiteral("solar cells"));
        w->findChild<QCheckBox *>(QStringLiteral("Check8"))->setChecked(false); // pdf only

        w->Driver()->BatchClicked();

        const QStringList asked = SearchTargets(QStringLiteral("/search"));
        // The three pages in order, reached through the page's own paging links.
        ASSERT_EQ(asked.size(), 3) << asked.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(asked[0].contains(QLatin1String("start=")));
        EXPECT_TRUE(asked[1].endsWith(QLatin1String("&start=4")));
        EXPECT_TRUE(asked[2].endsWith(QLatin1String("&start=8")));
        ResultListModel *model = w->ListPanel()->model();
        ASSERT_EQ(model->Count(), 3 * 4);
        for (int r = 0; r < model->Count(); ++r) {
            EXPECT_EQ(model->Type(r), QStringLiteral("PDF"));
            EXPECT_TRUE(model->Key(r).startsWith(m_server.BaseUrl() + QStringLiteral("/docs/")))
                << model->Key(r).toStdString();
        }
        EXPECT_EQ(model->Title(0), QStringLiteral("solar cells PDF document 1-1"));
        delete w;
    }
}

TEST_F(SearchBatch, StopDuringDelayEndsAtOnceAndCloseIsRefusedMeanwhile) {
    Clock::SetSpeed(1);
    test::SerpConfig config;
    config.resultsPerPage = 1;
    config.pages = 1;
    m_server.SetSearchConfig(test::Engine::Web, config);
    SearchWindow *w = OpenWindow(Engine::Web, QStringLiteral("a\r\nb"), QStringLiteral("100"));
    auto *command1 = w->findChild<QPushButton *>(QStringLiteral("Command1"));

    bool closed = true;
    QTimer::singleShot(1500, w, [&] {
        EXPECT_EQ(command1->text(), QStringLiteral("停止批量搜索"));
        closed = w->close();
        command1->click(); // the stop request
        EXPECT_FALSE(command1->isEnabled());
    });
    QElapsedTimer timer;
    timer.start();
    w->Driver()->BatchClicked();

    EXPECT_LT(timer.elapsed(), 20000);
    EXPECT_FALSE(closed);
    ASSERT_TRUE(Messages::Shown().size() >= 1);
    bool refused = false;
    for (const ShownMessage &m : Messages::Shown())
        refused |=
            m.text == QStringLiteral("正在搜索分析，停止以后才能关闭窗口！") && m.icon == MsgIcon::Error;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(command1->isEnabled());
    EXPECT_EQ(command1->text(), QStringLiteral("开始批量搜索提取"));
    EXPECT_EQ(w->Driver()->DoneText(), QStringLiteral("a(pdf) "));
    delete w;
}

TEST_F(SearchBatch, ScholarWindowReadsGsRiHitsAndFollowsGsN) {
    test::SerpConfig config;
    config.resultsPerPage = 3;
    config.pages = 2;
    m_server.SetSearchConfig(test::Engine::Scholar, config);
    SearchWindow *w = OpenWindow(Engine::Scholar, QStringLiteral("deep"));
    w->findChild<QCheckBox *>(QStringLiteral("Check8"))->setChecked(false); // pdf only
    m_server.ClearRequests();

    w->Driver()->BatchClicked();

    const QStringList targets = SearchTargets(QStringLiteral("/scholar"));
    ASSERT_GE(targets.size(), 2);
    EXPECT_EQ(targets.first(), PathAndQuery(BuildSearchUrl(Engine::Scholar, m_server.ScholarSearchBase(),
                                                           QStringLiteral("zh-CN"), QStringLiteral("deep"),
                                                           QStringLiteral("pdf")),
                                            m_server.BaseUrl()));
    EXPECT_TRUE(targets.join(QLatin1Char(' ')).contains(QLatin1String("start=")));
    EXPECT_EQ(w->ListPanel()->model()->rowCount(), 6);
    EXPECT_TRUE(w->AutoSavePath().endsWith(QStringLiteral("_2.hvls")));
    delete w;
}

// Every search address reaches the engine once, also the first one, asked
// for while the window's first blank page may still be loading.
TEST_F(SearchBatch, OneGroupOneTypeAsksTheEngineOnce) {
    test::SerpConfig config;
    config.resultsPerPage = 3;
    config.pages = 1;
    m_server.SetSearchConfig(test::Engine::Web, config);
    QPointer<SearchWindow> w = OpenWindow(Engine::Web, QStringLiteral("a"));
    w->findChild<QCheckBox *>(QStringLiteral("Check8"))->setChecked(false); // pdf only
    m_server.ClearRequests();

    w->Driver()->BatchClicked();

    EXPECT_EQ(SearchTargets(QStringLiteral("/search")).size(), 1)
        << SearchTargets(QStringLiteral("/search")).join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(w->ListPanel()->model()->rowCount(), 3);
    EXPECT_EQ(w->Driver()->DoneText(), QStringLiteral("a(pdf) \r\n"));
    w->close();
}
