// Transfer method two in the download window: parallel slots against the
// local server.
#include "DownloadWindowKit.h"
#include "net/Downloader.h"

#include <QLabel>
#include <QPushButton>

using namespace dh;
using namespace dh::test;

namespace {

class MethodTwo : public ::testing::Test, public DownloadWindowKit {
protected:
    void TearDown() override { Close(); }

    // A document that takes about `seconds` to arrive.
    int AddSlow(int i, qint64 size = 120000, int seconds = 2) {
        DocumentOptions doc = DocumentOptions::Bytes(Body(i, size), "application/pdf");
        doc.bytesPerSecond = int(size / seconds);
        return AddDocument(QStringLiteral("/slow%1.pdf").arg(i), doc, QStringLiteral("slow%1").arg(i));
    }
    static QByteArray Body(int i, qint64 size) {
        return QByteArray("%PDF-1.4\n") + QByteArray(size - 9, char('a' + i));
    }
    int Running() const { return window->Model()->CountInState(ItemState::Downloading); }
    // Every running item shows size, received and percent from its progress.
    bool ColumnsMove() const {
        for (int row = 0; row < window->Model()->Count(); ++row) {
            const DownloadItem &it = Item(row);
            if (it.state != ItemState::Downloading)
                continue;
            if (it.size.isEmpty() || it.received.toLongLong() <= 0 || !it.percent.endsWith(QLatin1Char('%')))
                return false;
        }
        return true;
    }
};

} // namespace

TEST_F(MethodTwo, SixDownloadsAtOnceWithEveryColumn) {
    Open(2, 6);
    for (int i = 0; i < 8; ++i)
        AddSlow(i);
    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Running() == 6 && ColumnsMove(); }, 10000)) << Running() << " running";
    EXPECT_EQ(window->findChildren<Downloader *>().size(), 6);
    for (int k = 1; k <= 6; ++k)
        EXPECT_TRUE(window->Scheduler()->SlotBusy(k)) << k;

    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 20000));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Item(i).state, ItemState::Done) << i;
        EXPECT_EQ(Item(i).size, QStringLiteral("120000"));
        EXPECT_EQ(Item(i).received, QStringLiteral("120000"));
        EXPECT_EQ(Item(i).percent, QStringLiteral("100%"));
        EXPECT_EQ(Read(QStringLiteral("slow%1.pdf").arg(i)), Body(i, 120000)) << i;
    }
    EXPECT_EQ(Files().size(), 8);
    EXPECT_TRUE(window->findChildren<Downloader *>().isEmpty() ||
                WaitUntil([&] { return window->findChildren<Downloader *>().isEmpty(); }, 2000));
}

TEST_F(MethodTwo, SizeLimitStopsOneSlotWhileTheOthersGoOn) {
    Open(2, 3);
    Shared().fileMaxSize = 1;
    const int a = AddSlow(0);
    DocumentOptions big;
    big.size = 2 * 1024 * 1024;
    const int b = AddDocument(QStringLiteral("/big.pdf"), big, QStringLiteral("big"));
    const int c = AddSlow(2);
    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Item(b).state == ItemState::Done; }, 10000));
    EXPECT_EQ(Item(b).percent, QStringLiteral("大文件，跳过"));
    EXPECT_EQ(Item(b).size, QString::number(big.size));
    EXPECT_EQ(Item(a).state, ItemState::Downloading);
    EXPECT_EQ(Item(c).state, ItemState::Downloading);
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 20000));
    EXPECT_EQ(Item(a).percent, QStringLiteral("100%"));
    EXPECT_EQ(Item(c).percent, QStringLiteral("100%"));
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("in/slow0.pdf"), QStringLiteral("in/slow2.pdf")}));
}

TEST_F(MethodTwo, StopDuringThreeRunningDownloads) {
    Open(2, 3);
    for (int i = 0; i < 4; ++i)
        AddSlow(i, 400000);
    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Running() == 3 && ColumnsMove(); }, 10000));
    Control<QPushButton>("Command31")->click();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Item(i).state, ItemState::Failed) << i;
    EXPECT_EQ(Item(3).state, ItemState::Waiting);
    EXPECT_FALSE(window->IsDownloading());
    QList<DownloadItem> before;
    for (int i = 0; i < 4; ++i)
        before << Item(i);
    SleepFor(700); // nothing of the removed instances arrives any more
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Item(i).received, before[i].received) << i;
        EXPECT_EQ(Item(i).state, before[i].state) << i;
    }
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(MethodTwo, MethodSwitchTakesEffectAtTheNextTick) {
    Open(2, 2);
    auto *label = Control<QLabel>("Label7");
    auto *threads = Control<QComboBox>("Combo1");
    auto *change = Control<QPushButton>("Command26");
    EXPECT_EQ(label->text(), QStringLiteral("下载方式：2"));
    change->click();
    EXPECT_EQ(label->text(), QStringLiteral("下载方式：1"));
    EXPECT_FALSE(threads->isEnabled());
    EXPECT_EQ(threads->currentText(), QStringLiteral("1"));
    change->click();
    EXPECT_EQ(label->text(), QStringLiteral("下载方式：2"));
    EXPECT_TRUE(threads->isEnabled());

    // Method two has one slot running when the switch comes; method one
    // (which sends a Referer) takes the next item while that slot goes on.
    const int first = AddSlow(0, 200000, 4);
    window->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return Item(first).state == ItemState::Downloading; }, 5000));
    change->click();
    const int second = Add(server.DocumentUrl(QStringLiteral("/docs/next.pdf")), QStringLiteral("next"),
                           QStringLiteral("pdf"), QStringLiteral("http://list.example/page"));
    ASSERT_TRUE(WaitUntil([&] { return Item(second).state == ItemState::Done; }, 5000));
    EXPECT_EQ(Item(first).state, ItemState::Downloading) << "the slot goes on";
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 10000));
    EXPECT_EQ(Item(first).percent, QStringLiteral("100%"));
    for (const LoggedRequest &r : server.Requests()) {
        if (r.path == QLatin1String("/slow0.pdf")) {
            EXPECT_TRUE(r.referer.isEmpty()) << "method two sends no request header";
        }
        if (r.path == QLatin1String("/docs/next.pdf")) {
            EXPECT_EQ(r.referer, QByteArray("http://list.example/page"));
        }
    }
}
