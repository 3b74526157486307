// Resuming interrupted transfers with both methods against the local
// server: the next attempt asks only for the rest when it can, starts over
// when it must, every file ends byte-exact, and no partial file stays.
#include "DownloadWindowKit.h"

#include <QRandomGenerator>

using namespace dh;
using namespace dh::test;

namespace {

constexpr qint64 kSize = 300000;

class Resume : public ::testing::TestWithParam<int>, public DownloadWindowKit {
protected:
    void SetUp() override {
        Open(GetParam(), 1);
        SetRule(2); // overwrite: a retry writes the same name
    }
    void TearDown() override { Close(); }

    static QByteArray Body(quint32 seed) {
        QByteArray body("%PDF-1.4\n");
        QRandomGenerator random(seed);
        while (body.size() < kSize)
            body.append(char(random.generate() & 0xff));
        return body;
    }
    // A document whose first answer breaks off at half.
    DocumentOptions Dropping(const QByteArray &body, Ranges ranges, const QByteArray &etag = "\"v1\"") {
        DocumentOptions doc = DocumentOptions::Bytes(body, "application/pdf");
        doc.etag = etag;
        doc.ranges = ranges;
        doc.dropAfter = kSize / 2;
        return doc;
    }
    QList<LoggedRequest> Requests(const QString &path) const {
        QList<LoggedRequest> out;
        for (const LoggedRequest &r : server.Requests())
            if (r.path == path)
                out << r;
        return out;
    }
    static int RangeRequestAt(const QList<LoggedRequest> &requests) {
        for (int i = 0; i < requests.size(); ++i)
            if (!requests[i].Header("Range").isEmpty())
                return i;
        return -1;
    }
    static int RangeRequests(const QList<LoggedRequest> &requests) {
        return int(std::count_if(requests.begin(), requests.end(),
                                 [](const LoggedRequest &r) { return !r.Header("Range").isEmpty(); }));
    }
    // Nothing but the user's documents in the folder: no partial file.
    void ExpectOnly(const QStringList &files) const { EXPECT_EQ(Files(), files); }
};

INSTANTIATE_TEST_SUITE_P(Methods, Resume, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == 1 ? std::string("MethodOne") : std::string("MethodTwo");
                         });

} // namespace

TEST_P(Resume, ADroppedConnectionFinishesWithOneMoreRequestForTheRest) {
    const QByteArray body = Body(1);
    const int row = AddDocument(QStringLiteral("/half.pdf"), Dropping(body, Ranges::Honour), QStringLiteral("half"));
    ASSERT_TRUE(RunAll());
    ASSERT_EQ(Item(row).state, ItemState::Failed);
    EXPECT_EQ(Item(row).result, QStringLiteral("连接中断"));
    // Half of it waits beside the target, under a hidden name of its own.
    ASSERT_TRUE(HasOwnPartial(Item(row)));
    EXPECT_EQ(QFileInfo(Item(row).partialPath).size(), kSize / 2);
    EXPECT_TRUE(QFileInfo(Item(row).partialPath).fileName().startsWith(QLatin1Char('.')));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("half.pdf")));

    window->Model()->RequeueItem(row);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Item(row).state, ItemState::Done);
    EXPECT_EQ(Item(row).result, QStringLiteral("已续传"));
    EXPECT_EQ(Item(row).size, QString::number(kSize));
    EXPECT_EQ(Item(row).percent, QStringLiteral("100%"));
    EXPECT_EQ(Read(QStringLiteral("half.pdf")), body);
    // The network library may send a broken-off request once more by itself;
    // the program asks for the rest once.
    const QList<LoggedRequest> asked = Requests(QStringLiteral("/half.pdf"));
    ASSERT_EQ(RangeRequests(asked), 1);
    const LoggedRequest &rest = asked[RangeRequestAt(asked)];
    EXPECT_EQ(rest.Header("Range"), "bytes=" + QByteArray::number(kSize / 2) + '-');
    EXPECT_EQ(rest.Header("If-Range"), "\"v1\"");
    ExpectOnly({QStringLiteral("in/half.pdf")});
}

// A changed document, a server that answers a range with the whole body, one
// that refuses every range and one whose range does not fit: each starts over
// and ends with exactly the server's bytes.
TEST_P(Resume, ChangedIgnoredRefusedAndMisfitRangesStartOver) {
    const QByteArray first = Body(2), second = Body(3);
    const int changed = AddDocument(QStringLiteral("/changed.pdf"), Dropping(first, Ranges::Honour),
                                    QStringLiteral("changed"));
    const int ignored = AddDocument(QStringLiteral("/ignored.pdf"), Dropping(Body(4), Ranges::Ignore),
                                    QStringLiteral("ignored"));
    const int refused = AddDocument(QStringLiteral("/refused.pdf"), Dropping(Body(5), Ranges::Unsatisfiable),
                                    QStringLiteral("refused"));
    const int misfit = AddDocument(QStringLiteral("/misfit.pdf"), Dropping(Body(6), Ranges::WrongStart),
                                   QStringLiteral("misfit"));
    ASSERT_TRUE(RunAll());
    for (int row : {changed, ignored, refused, misfit})
        ASSERT_EQ(Item(row).state, ItemState::Failed) << row;
    DocumentOptions now = DocumentOptions::Bytes(second, "application/pdf");
    now.etag = "\"v2\"";
    now.ranges = Ranges::Honour;
    server.AddDocument(QStringLiteral("/changed.pdf"), now);
    for (int row : {changed, ignored, refused, misfit})
        window->Model()->RequeueItem(row);
    ASSERT_TRUE(RunAll());

    EXPECT_EQ(Read(QStringLiteral("changed.pdf")), second);
    EXPECT_EQ(Read(QStringLiteral("ignored.pdf")), Body(4));
    EXPECT_EQ(Read(QStringLiteral("refused.pdf")), Body(5));
    EXPECT_EQ(Read(QStringLiteral("misfit.pdf")), Body(6));
    for (int row : {changed, ignored, refused, misfit}) {
        EXPECT_EQ(Item(row).state, ItemState::Done) << row;
        EXPECT_EQ(Item(row).result, QStringLiteral("完成")) << row;
    }
    // Each asked for the rest once; the 416 and the misfit then asked for all of it.
    for (const char *path : {"/changed.pdf", "/ignored.pdf", "/refused.pdf", "/misfit.pdf"}) {
        const QList<LoggedRequest> asked = Requests(QString::fromLatin1(path));
        ASSERT_EQ(RangeRequests(asked), 1) << path;
        if (QByteArray(path) == "/refused.pdf" || QByteArray(path) == "/misfit.pdf") {
            EXPECT_GT(asked.size(), RangeRequestAt(asked) + 1) << path;
        }
    }
    ExpectOnly({QStringLiteral("in/changed.pdf"), QStringLiteral("in/ignored.pdf"), QStringLiteral("in/misfit.pdf"),
                QStringLiteral("in/refused.pdf")});
}

// Without validators nothing is kept and the next attempt asks for all of it;
// a Last-Modified alone is validator enough.
TEST_P(Resume, WithoutValidatorsNothingIsKeptAndADateIsEnough) {
    const int bare = AddDocument(QStringLiteral("/bare.pdf"), Dropping(Body(7), Ranges::Honour, QByteArray()),
                                 QStringLiteral("bare"));
    DocumentOptions dated = Dropping(Body(8), Ranges::Honour, QByteArray());
    dated.lastModified = "Wed, 21 Oct 2026 07:28:00 GMT";
    const int date = AddDocument(QStringLiteral("/dated.pdf"), dated, QStringLiteral("dated"));
    ASSERT_TRUE(RunAll());
    EXPECT_FALSE(HasOwnPartial(Item(bare)));
    EXPECT_TRUE(HasOwnPartial(Item(date)));
    ExpectOnly({QStringLiteral("in/") + QFileInfo(Item(date).partialPath).fileName()});
    window->Model()->RequeueItem(bare);
    window->Model()->RequeueItem(date);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Read(QStringLiteral("bare.pdf")), Body(7));
    EXPECT_EQ(Read(QStringLiteral("dated.pdf")), Body(8));
    EXPECT_EQ(RangeRequests(Requests(QStringLiteral("/bare.pdf"))), 0);
    const QList<LoggedRequest> datedAsked = Requests(QStringLiteral("/dated.pdf"));
    ASSERT_EQ(RangeRequests(datedAsked), 1);
    EXPECT_EQ(datedAsked[RangeRequestAt(datedAsked)].Header("If-Range"), dated.lastModified);
    EXPECT_EQ(Item(date).result, QStringLiteral("已续传"));
    ExpectOnly({QStringLiteral("in/bare.pdf"), QStringLiteral("in/dated.pdf")});
}

// 停止下载 keeps what came; removing the item takes its partial file along.
TEST_P(Resume, StopKeepsThePartialAndRemovalTakesItAway) {
    DocumentOptions slow = DocumentOptions::Bytes(Body(9), "application/pdf");
    slow.etag = "\"s\"";
    slow.ranges = Ranges::Honour;
    slow.bytesPerSecond = 100000;
    const int row = AddDocument(QStringLiteral("/slow.pdf"), slow, QStringLiteral("slow"));
    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Item(row).received.toLongLong() > 20000; }, 10000));
    window->StopDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 5000));
    ASSERT_TRUE(HasOwnPartial(Item(row)));
    const QString partial = Item(row).partialPath;
    EXPECT_GT(QFileInfo(partial).size(), 0);
    window->Model()->RemoveRowsIf([](int, const DownloadItem &) { return true; });
    EXPECT_FALSE(QFileInfo::exists(partial));
    ExpectOnly({});
}

// Method one through the proxy: the rest is asked for through it as well.
TEST_P(Resume, ThroughTheProxyToo) {
    if (GetParam() != 1)
        GTEST_SKIP() << "method two has no proxy";
    const QByteArray body = Body(10);
    server.AddDocument(QStringLiteral("/proxied.pdf"), Dropping(body, Ranges::Honour));
    Shared().proxyEnabled = 1;
    Shared().proxyHost = QStringLiteral("127.0.0.1");
    Shared().proxyPort = QString::number(server.RawPort());
    const int row = Add(QStringLiteral("http://docs.example/proxied.pdf"), QStringLiteral("proxied"),
                        QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    ASSERT_EQ(Item(row).result, QStringLiteral("连接中断"));
    window->Model()->RequeueItem(row);
    ASSERT_TRUE(RunAll());
    Shared().proxyEnabled = 0;
    EXPECT_EQ(Item(row).result, QStringLiteral("已续传"));
    EXPECT_EQ(Read(QStringLiteral("proxied.pdf")), body);
    const QList<LoggedRequest> asked = Requests(QStringLiteral("/proxied.pdf"));
    ASSERT_EQ(RangeRequests(asked), 1);
    EXPECT_TRUE(asked[RangeRequestAt(asked)].target.startsWith(QLatin1String("http://docs.example/")));
    ExpectOnly({QStringLiteral("in/proxied.pdf")});
}
