#pragma once
// The scheduler and supervisor of the download list: Timer_Down starts
// transfers (method one, one at a time; method two, one per free slot up to
// the thread count), Timer1 supervises every second (summary, finished list,
// automatic start and re-download, the stop rule). The window binds its
// controls to the setters and shows what the signals report; the transfers
// come from a factory, so tests can drive the rules with transfers of their
// own.
#include "download/DownloadListModel.h"
#include "download/ItemTransfer.h"
#include "download/SaveNaming.h"
#include "download/SitePolicy.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QTimer;

namespace dh {

class DownloadScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxSlots = 6;

    DownloadScheduler(DownloadListModel *model, std::unique_ptr<TransferFactory> factory,
                      QObject *parent = nullptr);
    ~DownloadScheduler() override;

    // Rules, as the window's controls set them.
    void SetMethod(int method); // 1 or 2; takes effect at the next tick
    int Method() const { return m_method; }
    void SetThreads(int count); // 1..6
    int Threads() const { return m_threads; }
    void SetPauseSeconds(int seconds);
    int PauseSeconds() const { return m_pauseSeconds; }
    void SetSameNameRule(SameNameRule rule) { m_rule = rule; }
    SameNameRule Rule() const { return m_rule; }
    void SetAutoStart(bool on) { m_autoStart = on; }
    // mode 0: failed items, 1: web-page items, 2: both
    void SetAutoRedownload(bool on, int mode);
    void SetStopRule(bool on) { m_stopRule = on; }
    // Transfers of one site at once, 1..6.
    void SetPerSiteLimit(int transfers) { m_policy.SetPerSiteLimit(transfers); }
    int PerSiteLimit() const { return m_policy.PerSiteLimit(); }
    const SitePolicy &Policy() const { return m_policy; }
    void SetSound(bool on) { m_sound = on; }

    // Seams for what arrives later or differs in tests.
    std::function<void()> RedownloadFailed;
    std::function<void()> RedownloadWebPages;
    std::function<void()> AfterWebPage; // the automatic login, when ticked
    std::function<void(int)> PlaySound;

    void StartDownloading();
    void StopDownloading();
    bool SchedulerOn() const;
    bool BusyFlag() const { return m_busy; }
    bool IsDownloading() const;
    // A transfer of either method is running.
    bool TransfersRunning() const;
    qint64 LastFinishTime() const { return m_lastFinish; }
    bool SlotBusy(int slot) const;
    int SlotTable(int index) const { return index >= 0 && index < 12 ? m_slotTable[size_t(index)] : 0; }
    ItemTransfer *SlotTransfer(int slot) const;
    ItemTransfer *MethodOneTransfer() const { return m_one; }
    const PathReservations &Reservations() const { return m_reservations; }

    void SchedulerTick();
    void SupervisorTick();

    // Inet下载当前文件: method one for the item at `row`.
    void Inet下载当前文件(int row);

    // Ends every transfer without a word to the window (its going away):
    // running items become Failed, what they wrote is removed.
    void Shutdown();

signals:
    void SchedulerStateChanged(bool on); // Shape1
    void StartEnabledChanged(bool enabled);
    void Summary(const QString &text);    // status panel 4
    void Activity(const QString &text);   // status panel 2
    void Stage(const QString &text);      // status panel 3
    void AutoOptionsCleared();            // the stop unticks automatic start and re-download
    void ItemStarted(int row);            // to scroll to it when the window follows downloads
    void TotalSpeed(const QString &text); // all running transfers together

private:
    struct Slot {
        QPointer<ItemTransfer> transfer;
        QString path; // reserved while the slot is busy
        QString site;
    };
    // Bytes of a running item at a moment, for its speed.
    struct Sample {
        qint64 at = 0;
        qint64 bytes = 0;
    };
    struct Progress {
        int method = 2;
        qint64 received = 0;
        qint64 total = -1;
    };

    void setOn(bool on);
    bool pauseOver() const;
    bool pickable(int row);
    int pickMethodOne();
    int pickMethodTwo(QString *path);
    void markStarted(int row);
    TransferJob jobFor(int row);
    ItemTransfer *launch(int method, TransferJob job);
    // Changes the item of a running transfer; false when it is not one any more.
    bool edit(quint64 uid, const std::function<void(DownloadItem &)> &change);
    void ended(ItemTransfer *transfer, int method, int slot, quint64 uid, const TransferOutcome &outcome,
               bool announce);
    void closingSteps(quint64 uid, bool withXml);
    void failRunningItems(const QString &result);
    bool mayStart(int row) const;
    int runningOn(const QString &site) const;
    // A 429 or 503 the site may be asked again after: the item waits. False
    // when it gives up.
    bool waitOutBusySite(quint64 uid, const QString &site, const TransferOutcome &outcome);
    void showRetryWaits();
    // Writes the progress reported since the last time, with speeds, in one pass.
    void applyProgress();
    void chainNext();
    void finishSound();
    void rewindScan(int row = 0);

    QPointer<DownloadListModel> m_model;
    std::unique_ptr<TransferFactory> m_factory;
    QTimer *m_timerDown = nullptr;
    QTimer *m_timer1 = nullptr;
    int m_method = 2;
    int m_threads = 1;
    int m_pauseSeconds = 0;
    SameNameRule m_rule = SameNameRule::Rename;
    bool m_autoStart = false;
    bool m_autoRedownload = false;
    int m_redownloadMode = 0;
    bool m_stopRule = false;
    bool m_sound = false;
    bool m_busy = false;
    bool m_finishAnnounced = false;
    bool m_chainQueued = false;
    bool m_on = false;
    qint64 m_lastFinish = 0;
    std::array<int, 12> m_slotTable{};
    QPointer<ItemTransfer> m_one;
    QString m_oneSite;
    SitePolicy m_policy;
    QHash<quint64, Progress> m_progress; // reported, not yet written
    QHash<quint64, QList<Sample>> m_samples;
    QTimer *m_progressTimer = nullptr;
    std::array<Slot, MaxSlots + 1> m_slots;
    PathReservations m_reservations;
    int m_scanFrom = 0; // rows before it are known not to be waiting
};

// Real transfers over one network manager per method, both sending the
// browser session's cookies.
class NetworkTransferFactory : public TransferFactory {
public:
    NetworkTransferFactory();
    ~NetworkTransferFactory() override;
    ItemTransfer *Create(int method, TransferJob job, QObject *parent) override;

private:
    struct Managers;
    std::unique_ptr<Managers> m_managers;
};

} // namespace dh
