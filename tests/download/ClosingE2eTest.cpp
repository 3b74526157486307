// Closing the download window or the start window while transfers run:
// nothing crashes, running items fail, nothing they wrote stays behind.
#include "DownloadWindowKit.h"
#include "shell/StartWindow.h"

#include <QApplication>

using namespace dh;
using namespace dh::test;

namespace {

class Closing : public ::testing::TestWithParam<int>, public DownloadWindowKit {
protected:
    void SetUp() override {
        Open(GetParam(), 2);
        for (int i = 0; i < 2; ++i) {
            DocumentOptions slow;
            slow.size = 400000;
            slow.bytesPerSecond = 100000;
            AddDocument(QStringLiteral("/slow%1.pdf").arg(i), slow, QStringLiteral("slow%1").arg(i));
        }
        Write(QStringLiteral("slow0.pdf"), "GOOD"); // the user's file of the same name
        SetRule(2);
        window->StartDownloading();
        ASSERT_TRUE(WaitUntil([&] { return Item(0).received.toLongLong() > 0; }, 10000));
    }
    void TearDown() override { Close(); }
};

INSTANTIATE_TEST_SUITE_P(Methods, Closing, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == 1 ? std::string("MethodOne") : std::string("MethodTwo");
                         });

} // namespace

TEST_P(Closing, TheDownloadWindowDuringATransfer) {
    Messages::QueueAnswer(QStringLiteral("yes"));
    ASSERT_TRUE(window->close());
    EXPECT_EQ(Item(0).state, ItemState::Failed);
    EXPECT_FALSE(window->IsDownloading());
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 5000));
    SleepFor(300); // no late event of a transfer
    EXPECT_EQ(Files(), QStringList{QStringLiteral("in/slow0.pdf")});
    EXPECT_EQ(Read(QStringLiteral("slow0.pdf")), QByteArray("GOOD"));
}

TEST_P(Closing, TheStartWindowDuringATransfer) {
    auto *start = new StartWindow;
    start->show();
    // The start window takes every other window with it and ends the program.
    start->close();
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 5000));
    SleepFor(300);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("in/slow0.pdf")});
    EXPECT_EQ(Read(QStringLiteral("slow0.pdf")), QByteArray("GOOD"));
    delete start;
}
