// The scheduler's rules with transfers of our own that end when the test says.
#include "download/DownloadScheduler.h"
#include "support/QtPrinters.h"
#include "util/Clock.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {

class FakeTransfer : public ItemTransfer {
public:
    FakeTransfer(TransferJob job, int method, QObject *parent)
        : ItemTransfer(parent), job(std::move(job)), method(method) {}
    void Start() override { started = true; }
    void Stop() override {
        stopped = true;
        if (method == 1)
            End(ItemState::Failed);
    }
    void End(ItemState state, bool announce = true) {
        TransferOutcome outcome;
        outcome.kind = state == ItemState::Done ? OutcomeKind::Finished : OutcomeKind::ConnectionLost;
        outcome.received = outcome.total = 1;
        emit Ended(outcome, announce);
    }
    // The site answered 429 (with Retry-After when retryAfterMs >= 0).
    void EndBusy(qint64 retryAfterMs) {
        TransferOutcome outcome;
        outcome.kind = OutcomeKind::HttpStatus;
        outcome.status = 429;
        outcome.retryAfterMs = retryAfterMs;
        emit Ended(outcome, method == 1);
    }
    TransferJob job;
    int method;
    bool started = false;
    bool stopped = false;
};

struct Factory : TransferFactory {
    ItemTransfer *Create(int method, TransferJob job, QObject *parent) override {
        auto *t = new FakeTransfer(std::move(job), method, parent);
        made.push_back(t);
        return t;
    }
    std::vector<QPointer<FakeTransfer>> made;
};

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        auto factory = std::make_unique<Factory>();
        made = &factory->made;
        scheduler = std::make_unique<DownloadScheduler>(&model, std::move(factory));
        scheduler->PlaySound = [this](int n) { sounds << n; };
        folder = dir.path() + QLatin1Char('/');
    }
    void AddItems(int n, const QString &name = {}) {
        for (int i = 0; i < n; ++i) {
            const int k = model.Count();
            model.加入下载列表(QStringLiteral("http://h.example/%1.pdf").arg(k),
                               name.isEmpty() ? QStringLiteral("d%1").arg(k) : name, QStringLiteral("pdf"),
                               folder, {});
        }
    }
    FakeTransfer *Made(size_t i) const { return i < made->size() ? (*made)[i].data() : nullptr; }
    void AddAt(const QString &site, int n) {
        model.加入下载列表(QStringLiteral("http://%1/%2.pdf").arg(site).arg(n),
                           QStringLiteral("%1-%2").arg(site).arg(n), QStringLiteral("pdf"), folder, {});
    }
    // Keys of the items being downloaded, in list order.
    QStringList Running(const QString &) const {
        QStringList keys;
        for (int row = 0; row < model.Count(); ++row)
            if (model.Item(row).state == ItemState::Downloading)
                keys << model.Item(row).name;
        return keys;
    }
    int Running() const { return model.CountInState(ItemState::Downloading); }

    QTemporaryDir dir;
    QString folder;
    DownloadListModel model;
    std::vector<QPointer<FakeTransfer>> *made = nullptr;
    std::unique_ptr<DownloadScheduler> scheduler;
    QList<int> sounds;
};

} // namespace

TEST_F(Scheduler, MethodTwoFillsTheChosenSlotsAndRefillsAFreedOne) {
    AddItems(10);
    scheduler->SetMethod(2);
    scheduler->SetThreads(3);
    scheduler->SetPauseSeconds(5);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    EXPECT_EQ(Running(), 0) << "the pause counts from the start";
    Clock::Advance(5100);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 3u);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_TRUE(scheduler->SlotBusy(k));
        EXPECT_EQ(scheduler->SlotTable(k), k - 1);
        EXPECT_EQ(Made(size_t(k - 1))->job.slot, k);
        EXPECT_EQ(Made(size_t(k - 1))->job.path, folder + QStringLiteral("d%1.pdf").arg(k - 1));
    }
    EXPECT_FALSE(scheduler->SlotBusy(4));
    EXPECT_EQ(Running(), 3);

    Made(1)->End(ItemState::Done);
    EXPECT_FALSE(scheduler->SlotBusy(2));
    scheduler->SchedulerTick();
    EXPECT_FALSE(scheduler->SlotBusy(2)) << "the pause runs from the end of the last transfer";
    Clock::Advance(5100);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 4u);
    EXPECT_EQ(Made(3)->job.slot, 2);
    EXPECT_EQ(Made(3)->job.item.key, model.Item(3).key);
}

// With no pause a freed slot, or the end of a method-one transfer, starts
// the next item at once rather than at the next tick.
TEST_F(Scheduler, WithoutAPauseTheNextItemStartsAtOnce) {
    AddItems(4);
    scheduler->SetMethod(1);
    scheduler->StartDownloading();
    ASSERT_TRUE(WaitUntil([&] { return made->size() == 1; }, 500));
    EXPECT_TRUE(scheduler->BusyFlag());
    Made(0)->End(ItemState::Done);
    EXPECT_FALSE(scheduler->BusyFlag());
    EXPECT_TRUE(WaitUntil([&] { return made->size() == 2; }, 200));

    scheduler->SetMethod(2); // takes effect at the next start
    scheduler->SetThreads(2);
    Made(1)->End(ItemState::Done);
    ASSERT_TRUE(WaitUntil([&] { return made->size() == 4; }, 200));
    EXPECT_EQ(Made(2)->method, 2);
    EXPECT_EQ(Running(), 2);
}

// Two items that would write the same file: under skip and overwrite the
// second waits for the first (then the rule decides), under rename it gets
// a counter name while the first runs.
TEST_F(Scheduler, TwoTransfersNeverWriteTheSameName) {
    AddItems(2, QStringLiteral("same"));
    scheduler->SetMethod(2);
    scheduler->SetThreads(2);
    scheduler->SetSameNameRule(SameNameRule::Overwrite);
    Clock::Advance(1100);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 1u);
    EXPECT_EQ(model.Item(1).state, ItemState::Waiting);
    EXPECT_TRUE(scheduler->Reservations().Holds(folder + QStringLiteral("same.pdf")));
    Made(0)->End(ItemState::Done);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 2u);
    EXPECT_EQ(Made(1)->job.path, folder + QStringLiteral("same.pdf"));
    Made(1)->End(ItemState::Done);
    EXPECT_TRUE(scheduler->Reservations().IsEmpty());

    model.RequeueItem(0);
    model.RequeueItem(1);
    scheduler->SetSameNameRule(SameNameRule::Rename);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 4u);
    EXPECT_EQ(Made(2)->job.path, folder + QStringLiteral("same.pdf"));
    EXPECT_EQ(Made(3)->job.path, folder + QStringLiteral("same[001].pdf"));
    EXPECT_EQ(model.Item(1).name, QStringLiteral("same[001]"));
}

TEST_F(Scheduler, StopEndsEveryTransferAndFailsItsItem) {
    AddItems(4);
    scheduler->SetMethod(2);
    scheduler->SetThreads(2);
    scheduler->SetAutoStart(true);
    bool cleared = false;
    QObject::connect(scheduler.get(), &DownloadScheduler::AutoOptionsCleared, scheduler.get(),
                     [&] { cleared = true; });
    Clock::Advance(1100);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    scheduler->SetMethod(1); // a method-one transfer beside the two slots
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 3u);
    scheduler->StopDownloading();
    EXPECT_TRUE(cleared);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(Made(i) == nullptr || Made(i)->stopped) << i;
    EXPECT_EQ(model.CountInState(ItemState::Failed), 3);
    EXPECT_EQ(model.CountInState(ItemState::Waiting), 1);
    EXPECT_FALSE(scheduler->IsDownloading());
    EXPECT_TRUE(scheduler->Reservations().IsEmpty());
    scheduler->SupervisorTick();
    EXPECT_FALSE(scheduler->SchedulerOn()) << "automatic start was switched off";

    // The window going away: no signal, the running item fails.
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 4u);
    bool heard = false;
    QObject::connect(scheduler.get(), &DownloadScheduler::Activity, scheduler.get(), [&] { heard = true; });
    scheduler->Shutdown();
    EXPECT_EQ(Made(3), nullptr) << "deleted with its request";
    EXPECT_EQ(model.CountInState(ItemState::Failed), 4);
    EXPECT_FALSE(heard);
}

// With automatic re-download the scheduler is turned on every second; the
// finished list is still announced once.
TEST_F(Scheduler, AFinishedListSoundsOnce) {
    AddItems(2);
    scheduler->SetSound(true);
    scheduler->SetMethod(1);
    int requeued = 0;
    scheduler->RedownloadFailed = [&] { ++requeued; };
    scheduler->SetAutoRedownload(true, 0);
    Clock::Advance(1100);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    Made(0)->End(ItemState::Failed);
    ASSERT_TRUE(WaitUntil([&] { return made->size() == 2; }, 200));
    Made(1)->End(ItemState::Done);
    EXPECT_EQ(sounds, (QList<int>{103}));
    for (int i = 0; i < 5; ++i)
        scheduler->SupervisorTick();
    EXPECT_EQ(sounds, (QList<int>{103, 102}));
    EXPECT_EQ(requeued, 5);
    EXPECT_TRUE(scheduler->SchedulerOn());

    // A new item makes a new list to finish.
    AddItems(1);
    scheduler->SupervisorTick();
    ASSERT_TRUE(WaitUntil([&] { return made->size() == 3; }, 200));
    Made(2)->End(ItemState::Done);
    scheduler->SupervisorTick();
    EXPECT_EQ(sounds, (QList<int>{103, 102, 102}));
}

// No site takes more slots than allowed: a slot takes the next item of
// another site instead, and the list order holds otherwise.
TEST_F(Scheduler, ThePerSiteLimitGivesTheSlotToAnotherSite) {
    for (int i = 0; i < 3; ++i)
        AddAt(QStringLiteral("a.example"), i);
    AddAt(QStringLiteral("b.example"), 0);
    AddAt(QStringLiteral("a.example"), 3);
    scheduler->SetMethod(2);
    scheduler->SetThreads(4);
    scheduler->SetPerSiteLimit(2);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    EXPECT_EQ(Running({}), (QStringList{QStringLiteral("a.example-0"), QStringLiteral("a.example-1"),
                                        QStringLiteral("b.example-0")}));
    Made(0)->End(ItemState::Done);
    scheduler->SchedulerTick();
    EXPECT_EQ(Running({}), (QStringList{QStringLiteral("a.example-1"), QStringLiteral("a.example-2"),
                                        QStringLiteral("b.example-0")}));
}

// A site that answered 429 is not asked again before its Retry-After, its
// other items wait too, another site goes on; then it gets one transfer at a
// time. The countdown is shown; the third busy answer ends the item.
TEST_F(Scheduler, ABusySiteIsWaitedOutWhileAnotherGoesOn) {
    AddAt(QStringLiteral("a.example"), 0);
    AddAt(QStringLiteral("a.example"), 1);
    AddAt(QStringLiteral("b.example"), 0);
    scheduler->SetMethod(2);
    scheduler->SetThreads(2);
    scheduler->StartDownloading();
    scheduler->SchedulerTick();
    ASSERT_EQ(Running({}), (QStringList{QStringLiteral("a.example-0"), QStringLiteral("a.example-1")}));
    Made(0)->EndBusy(5000);
    EXPECT_EQ(model.Item(0).state, ItemState::Waiting);
    EXPECT_EQ(model.Item(0).result, QStringLiteral("等待重试 (5秒)"));
    ASSERT_TRUE(WaitUntil([&] { return made->size() == 3; }, 500)) << "the free slot goes to the other site";
    EXPECT_EQ(Made(2)->job.item.name, QStringLiteral("b.example-0"));
    Made(2)->End(ItemState::Done);
    Made(1)->End(ItemState::Done);
    Clock::Advance(2000);
    scheduler->SupervisorTick();
    scheduler->SchedulerTick();
    EXPECT_EQ(made->size(), 3u) << "none of the site before its Retry-After, also with the re-download on";
    EXPECT_EQ(model.Item(0).result, QStringLiteral("等待重试 (3秒)"));
    Clock::Advance(3100);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 4u);
    EXPECT_EQ(Made(3)->job.item.name, QStringLiteral("a.example-0"));
    EXPECT_TRUE(model.Item(0).result.isEmpty());

    // Without Retry-After: 60 s for its second busy answer; the third gives up.
    Made(3)->EndBusy(-1);
    EXPECT_EQ(model.Item(0).result, QStringLiteral("等待重试 (60秒)"));
    Clock::Advance(60100);
    scheduler->SchedulerTick();
    ASSERT_EQ(made->size(), 5u);
    Made(4)->EndBusy(-1);
    EXPECT_EQ(model.Item(0).state, ItemState::Failed);
    EXPECT_EQ(model.Item(0).result, QStringLiteral("HTTP 429"));
}
