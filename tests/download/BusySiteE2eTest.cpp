// A rate-limited site against the real scheduler, both methods: a 429 with
// Retry-After is waited out, the other documents of the site wait with it,
// another site goes on, and every document arrives.
#include "DownloadWindowKit.h"

using namespace dh;
using namespace dh::test;

namespace {

class BusySite : public ::testing::TestWithParam<int>, public DownloadWindowKit {
protected:
    void SetUp() override {
        Open(GetParam(), 3);
        Clock::SetSpeed(10); // the two seconds of Retry-After pass in a fifth of one
    }
    void TearDown() override { Close(); }
    int Asked(const QString &path) const {
        int n = 0;
        for (const LoggedRequest &r : server.Requests())
            n += r.path == path;
        return n;
    }
};

INSTANTIATE_TEST_SUITE_P(Methods, BusySite, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == 1 ? std::string("MethodOne") : std::string("MethodTwo");
                         });

} // namespace

TEST_P(BusySite, EveryDocumentArrivesAndNoneIsAskedBeforeItsRetryAfter) {
    DocumentOptions busy =
        DocumentOptions::Bytes(QByteArray("%PDF-1.4\n") + QByteArray(20000, 'b'), "application/pdf");
    busy.busyAnswers = 1;
    busy.retryAfter = "2";
    const int first = AddDocument(QStringLiteral("/busy.pdf"), busy, QStringLiteral("busy"));
    DocumentOptions calm =
        DocumentOptions::Bytes(QByteArray("%PDF-1.4\n") + QByteArray(20000, 'c'), "application/pdf");
    calm.bytesPerSecond = 20000; // still running when the site says it is busy
    const int same = AddDocument(QStringLiteral("/same.pdf"), calm, QStringLiteral("same"));
    server.AddDocument(QStringLiteral("/other.pdf"), calm);
    const int other = Add(server.DocumentUrl(QStringLiteral("/other.pdf"))
                              .replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost")),
                          QStringLiteral("other"), QStringLiteral("pdf"));

    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Item(first).result.startsWith(QStringLiteral("等待重试")); }, 20000));
    const qint64 told = Clock::Now();
    EXPECT_EQ(Item(first).state, ItemState::Waiting);
    ASSERT_TRUE(WaitUntil([&] { return Asked(QStringLiteral("/busy.pdf")) >= 2; }, 20000));
    EXPECT_GE(Clock::Now() - told, 1900) << "not asked again before its Retry-After";
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 20000));

    for (int row : {first, same, other}) {
        EXPECT_EQ(Item(row).state, ItemState::Done) << row;
        EXPECT_EQ(Item(row).result, QStringLiteral("完成")) << row;
    }
    EXPECT_EQ(Asked(QStringLiteral("/busy.pdf")), 2);
    EXPECT_EQ(Read(QStringLiteral("busy.pdf")), busy.body);
    EXPECT_EQ(Read(QStringLiteral("same.pdf")), calm.body);
    EXPECT_EQ(Read(QStringLiteral("other.pdf")), calm.body);
}
