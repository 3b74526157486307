// Hostile answers of a local server against the real scheduler, with both
// transfer methods: the folder and the user's files end as a careful user
// expects.
#include "DownloadWindowKit.h"
#include "Undeletable.h"

#include <QTreeView>

using namespace dh;
using namespace dh::test;

namespace {

class Hostile : public ::testing::TestWithParam<int>, public DownloadWindowKit {
protected:
    void SetUp() override { Open(GetParam(), 3); }
    void TearDown() override { Close(); }
    bool MethodOne() const { return GetParam() == 1; }
};

INSTANTIATE_TEST_SUITE_P(Methods, Hostile, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == 1 ? std::string("MethodOne") : std::string("MethodTwo");
                         });

} // namespace

TEST_P(Hostile, ErrorAnswersAndEmptyBodiesNeverReplaceAGoodFile) {
    SetRule(2); // overwrite
    QStringList expected;
    QList<QPair<int, int>> rows; // row, status
    for (int status : {401, 403, 404, 429, 500, 503}) {
        DocumentOptions page = DocumentOptions::Html(QStringLiteral("<html><body>error</body></html>"));
        page.status = status;
        const QString name = QStringLiteral("s%1").arg(status);
        Write(name + QStringLiteral(".pdf"), "GOOD");
        expected << QStringLiteral("in/") + name + QStringLiteral(".pdf");
        rows << qMakePair(AddDocument(QStringLiteral("/") + name, page, name), status);
    }
    // An error page that claims to be the document.
    DocumentOptions fake = DocumentOptions::Bytes("Service Unavailable: try later", "application/pdf");
    fake.status = 503;
    Write(QStringLiteral("fake.pdf"), "GOOD");
    expected << QStringLiteral("in/fake.pdf");
    rows << qMakePair(AddDocument(QStringLiteral("/fake.pdf"), fake, QStringLiteral("fake")), 503);
    Write(QStringLiteral("empty.pdf"), "GOOD");
    expected << QStringLiteral("in/empty.pdf");
    rows << qMakePair(AddDocument(QStringLiteral("/empty.pdf"), DocumentOptions::Bytes({}, "application/pdf"),
                                  QStringLiteral("empty")),
                      0);

    // 429 and 503 are waited out twice (30 s, then 60 s of program time) before the third ends the item.
    Clock::SetSpeed(200);
    ASSERT_TRUE(RunAll(200 * 20000));
    for (const char *busy : {"/s429", "/s503", "/fake.pdf"}) {
        int asked = 0;
        for (const LoggedRequest &r : server.Requests())
            asked += r.path == QLatin1String(busy);
        EXPECT_EQ(asked, 3) << busy;
    }
    for (const auto &[row, status] : rows) {
        EXPECT_EQ(Item(row).state, ItemState::Failed) << Item(row).name.toStdString();
        EXPECT_NE(Item(row).percent, QStringLiteral("100%")) << Item(row).name.toStdString();
        if (MethodOne()) {
            EXPECT_EQ(Item(row).size,
                      status ? QStringLiteral("下载失败 %1").arg(status) : QStringLiteral("下载失败"));
        }
        EXPECT_EQ(Read(Item(row).name + QStringLiteral(".pdf")), QByteArray("GOOD"))
            << Item(row).name.toStdString();
    }
    expected.sort();
    EXPECT_EQ(Files(), expected); // and no temporary file left behind
}

TEST_P(Hostile, SizeLimitHoldsOnTheBytesWritten) {
    Shared().fileMaxSize = 1; // MB
    SetRule(2);
    const int bomb = AddDocument(QStringLiteral("/bomb.pdf"), DocumentOptions::GzipBomb(300LL * 1024 * 1024),
                                 QStringLiteral("bomb"));
    DocumentOptions endless = DocumentOptions::Bytes(QByteArray(64 * 1024, 'e'), "application/pdf");
    endless.endless = true;
    endless.framing = Framing::CloseWithoutLength;
    const int open = AddDocument(QStringLiteral("/open.pdf"), endless, QStringLiteral("open"));
    DocumentOptions success = endless;
    success.reason = "Success"; // method one reads this one in a single call
    const int single = AddDocument(QStringLiteral("/single.pdf"), success, QStringLiteral("single"));
    DocumentOptions lying = endless;
    lying.framing = Framing::ContentLength;
    lying.announcedLength = 1LL << 40;
    const int huge = AddDocument(QStringLiteral("/huge.pdf"), lying, QStringLiteral("huge"));
    Write(QStringLiteral("bomb.pdf"), "GOOD");

    ASSERT_TRUE(RunAll(30000));
    for (int row : {bomb, open, single, huge}) {
        EXPECT_EQ(Item(row).state, ItemState::Done) << Item(row).name.toStdString();
        EXPECT_EQ(Item(row).percent, QStringLiteral("大文件，跳过")) << Item(row).name.toStdString();
    }
    if (MethodOne()) {
        EXPECT_EQ(Item(open).size, QStringLiteral("未知"));
        EXPECT_EQ(Item(huge).size, QString()) << "skipped before any byte";
    } else {
        EXPECT_EQ(Item(huge).size, QString::number(1LL << 40));
    }
    EXPECT_EQ(Read(QStringLiteral("bomb.pdf")), QByteArray("GOOD"));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("in/bomb.pdf")});
}

TEST_P(Hostile, ATrickleEndsAsAStall) {
    DocumentOptions trickle;
    trickle.size = 5000;
    trickle.bytesPerSecond = 2;
    AddDocument(QStringLiteral("/trickle.pdf"), trickle, QStringLiteral("trickle"));
    const int speed = MethodOne() ? 40 : 100; // the stall window passes in about three seconds
    Clock::SetSpeed(speed);
    ASSERT_TRUE(RunAll(10000LL * speed));
    Clock::SetSpeed(1);
    EXPECT_EQ(Item(0).state, ItemState::Failed);
    if (MethodOne()) {
        EXPECT_EQ(Item(0).size, QStringLiteral("下载失败"));
    }
    EXPECT_EQ(Files(), QStringList());
}

// Names and types from titles and imported list files cannot reach outside
// the chosen folder.
TEST_P(Hostile, TraversalInNamesAndTypesStaysInTheFolder) {
    const QString url = server.DocumentUrl(QStringLiteral("/docs/t.pdf"));
    window->Model()->加入下载列表(url, QStringLiteral("../../escape"), QStringLiteral("/../../x"), folder,
                                  {});
    DocumentOptions named = DocumentOptions::Bytes("{\\rtf1 x}", "application/octet-stream");
    named.contentDisposition = "attachment; filename=\"../../../up.rtf\"";
    AddDocument(QStringLiteral("/get"), named,
                QStringLiteral("..\\..\\\x01"
                               "ctl"),
                QStringLiteral("../rtf"));
    ASSERT_TRUE(RunAll());
    for (const QString &file : Files())
        EXPECT_TRUE(file.startsWith(QLatin1String("in/")) && !file.mid(3).contains(QLatin1Char('/')))
            << file.toStdString();
    EXPECT_EQ(Files().size(), 2);
    EXPECT_EQ(Item(0).state, ItemState::Done);
    EXPECT_EQ(Item(1).state, ItemState::Done);
}

TEST_P(Hostile, AFileThatMayNotBeReplacedStaysWhole) {
    SetRule(2);
    Write(QStringLiteral("locked.pdf"), "1234567");
    Undeletable lock(folder, folder + QStringLiteral("locked.pdf"));
    if (!lock.Holds())
        GTEST_SKIP() << "no way to make a file undeletable here";
    const int row = AddDocument(QStringLiteral("/locked.pdf"), DocumentOptions(), QStringLiteral("locked"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).state, ItemState::Failed);
    if (MethodOne()) {
        EXPECT_EQ(Item(row).percent, QStringLiteral("无法替换"));
        EXPECT_EQ(Item(row).size, QStringLiteral("7"));
    }
    EXPECT_EQ(Read(QStringLiteral("locked.pdf")), QByteArray("1234567"));
}

// The skip test looks for the file that would really be written: "PDF" in
// the list is written as ".pdf".
TEST_P(Hostile, SkipRuleFindsTheFileAsItWouldBeWritten) {
    SetRule(1);
    Write(QStringLiteral("doc.pdf"), "GOOD");
    const int row = AddDocument(QStringLiteral("/doc.pdf"), DocumentOptions(), QStringLiteral("doc"),
                                QStringLiteral("PDF"));
    server.ClearRequests();
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).state, ItemState::Done);
    EXPECT_EQ(Item(row).percent, QStringLiteral("已存在，跳过"));
    EXPECT_TRUE(server.Requests().isEmpty());
    EXPECT_EQ(Read(QStringLiteral("doc.pdf")), QByteArray("GOOD"));

    // Listed as a web page, the server sends a PDF and breaks off: the
    // user's file of that name stays, and so it does when the item is retried.
    // Method one reads the type from the headers and skips at once.
    Write(QStringLiteral("page.pdf"), "GOOD");
    DocumentOptions fake = DocumentOptions::Bytes(QByteArray(1000, 'x'), "application/pdf");
    fake.announcedLength = 5000;
    const int page =
        AddDocument(QStringLiteral("/page"), fake, QStringLiteral("page"), QStringLiteral("htm"));
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(page).state, MethodOne() ? ItemState::Done : ItemState::Failed);
    if (!MethodOne()) {
        window->View()->doubleClicked(window->Model()->index(page, 0));
        EXPECT_EQ(Item(page).state, ItemState::Waiting);
        ASSERT_TRUE(RunAll());
    }
    EXPECT_EQ(Read(QStringLiteral("page.pdf")), QByteArray("GOOD"));
}

// Skip means skip when the headers name the type: a row without a type whose
// server answers application/pdf finds the user's report.pdf and leaves it.
TEST_P(Hostile, SkipRuleKeepsTheUsersFileOfTheNameTheHeadersGive) {
    SetRule(1);
    const QByteArray mine = QByteArray("%PDF-1.4 mine\n") + QByteArray(6000 - 14, 'm');
    Write(QStringLiteral("report.pdf"), mine);
    const int row = AddDocument(
        QStringLiteral("/report"),
        DocumentOptions::Bytes(QByteArray("%PDF-1.4\n") + QByteArray(9000 - 9, 's'), "application/pdf"),
        QStringLiteral("report"), QString());
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Read(QStringLiteral("report.pdf")), mine);
    EXPECT_EQ(Item(row).state, ItemState::Done);
    if (MethodOne()) {
        EXPECT_EQ(Item(row).percent, QStringLiteral("已存在，跳过"));
        EXPECT_EQ(Item(row).result, QStringLiteral("已存在，跳过"));
        EXPECT_EQ(Item(row).size, QStringLiteral("6000"));
    }
    for (const QString &file : Files())
        EXPECT_FALSE(file.contains(QLatin1String(".docharvest-"))) << file.toStdString();
}

// The longest name a list may give, with a long type and a counter, still
// leaves room for the temporary names made beside it while it is written.
TEST_P(Hostile, LongNamesLeaveRoomForTheTemporaryNamesBesideThem) {
    SetRule(3);
    const QString stem = QString(66, QChar(0x6587)) + QStringLiteral("ab"); // 200 bytes
    const QString type = QStringLiteral("abcdefghij").repeated(4);
    const QByteArray first(3000, 'f'), second(4000, 's');
    const int a = AddDocument(QStringLiteral("/a"), DocumentOptions::Bytes(first, "application/octet-stream"),
                              stem, type);
    ASSERT_TRUE(RunAll());
    const int b = AddDocument(QStringLiteral("/b"),
                              DocumentOptions::Bytes(second, "application/octet-stream"), stem, type);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(a).state, ItemState::Done) << Item(a).result.toStdString();
    EXPECT_EQ(Item(b).state, ItemState::Done) << Item(b).result.toStdString();
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 2) << files.join(QLatin1Char(' ')).toStdString();
    QList<QByteArray> bodies;
    for (const QString &file : files) {
        const QString name = file.mid(3);
        EXPECT_LE(name.toUtf8().size(), 255 - 20) << name.toStdString();
        EXPECT_TRUE(name.startsWith(QString(60, QChar(0x6587)))) << name.toStdString();
        bodies << Read(name);
    }
    EXPECT_TRUE(bodies.contains(first));
    EXPECT_TRUE(bodies.contains(second));
}
