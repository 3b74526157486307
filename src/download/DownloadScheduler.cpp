#include "download/DownloadScheduler.h"

#include "download/TransferOne.h"
#include "download/TransferTwo.h"
#include "download/TypeDetection.h"
#include "net/WebSession.h"
#include "util/Clock.h"
#include "util/DesktopHelpers.h"
#include "util/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTimer>

namespace dh {

namespace {
// The list is repainted at most this often, whatever the number of transfers.
constexpr qint64 kProgressMs = 250;
// A speed is the average over this much time.
constexpr qint64 kSpeedWindowMs = 3000;

bool isWebPage(const QString &type, bool withXml) {
    const QString t = type.toLower();
    return t == QLatin1String("htm") || t == QLatin1String("html") || (withXml && t == QLatin1String("xml"));
}
} // namespace

QString PathReservations::Normal(const QString &path) {
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
#ifdef Q_OS_WIN
    return clean.toLower();
#else
    return clean;
#endif
}

DownloadScheduler::DownloadScheduler(DownloadListModel *model, std::unique_ptr<TransferFactory> factory,
                                     QObject *parent)
    : QObject(parent), m_model(model), m_factory(std::move(factory)) {
    PlaySound = [](int number) { PlayNumberedSound(number); };
    m_timerDown = new QTimer(this);
    m_timerDown->setObjectName(QStringLiteral("Timer_Down"));
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timerDown, &QTimer::timeout, this, &DownloadScheduler::SchedulerTick);
    connect(m_timer1, &QTimer::timeout, this, &DownloadScheduler::SupervisorTick);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, &DownloadScheduler::applyProgress);
    m_lastFinish = Clock::Now();

    // Rows before the scan start are known not to wait; anything that could
    // put a waiting row there sends the scan back.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(DownloadListModel::StateRole))
                    rewindScan(topLeft.row());
            });
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int) { rewindScan(first); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { rewindScan(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { rewindScan(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { rewindScan(); });
    m_timer1->start(Clock::RealInterval(Durations::Second));
}

DownloadScheduler::~DownloadScheduler() {
    Shutdown();
}

void DownloadScheduler::rewindScan(int row) {
    m_scanFrom = std::min(m_scanFrom, std::max(0, row));
}

void DownloadScheduler::SetMethod(int method) {
    m_method = method == 1 ? 1 : 2;
}

void DownloadScheduler::SetThreads(int count) {
    m_threads = std::clamp(count, 1, MaxSlots);
}

void DownloadScheduler::SetPauseSeconds(int seconds) {
    m_pauseSeconds = std::max(0, seconds);
}

void DownloadScheduler::SetAutoRedownload(bool on, int mode) {
    m_autoRedownload = on;
    m_redownloadMode = mode;
}

bool DownloadScheduler::SchedulerOn() const {
    return m_on;
}

bool DownloadScheduler::SlotBusy(int slot) const {
    return slot >= 1 && slot <= MaxSlots && m_slots[size_t(slot)].transfer;
}

ItemTransfer *DownloadScheduler::SlotTransfer(int slot) const {
    return SlotBusy(slot) ? m_slots[size_t(slot)].transfer.data() : nullptr;
}

bool DownloadScheduler::TransfersRunning() const {
    if (m_one)
        return true;
    for (int k = 1; k <= MaxSlots; ++k)
        if (SlotBusy(k))
            return true;
    return false;
}

bool DownloadScheduler::IsDownloading() const {
    return m_on || TransfersRunning();
}

void DownloadScheduler::setOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    if (on)
        m_timerDown->start(Clock::RealInterval(Durations::Second));
    else
        m_timerDown->stop();
    emit SchedulerStateChanged(on);
}

void DownloadScheduler::StartDownloading() {
    setOn(true);
    chainNext();
}

void DownloadScheduler::StopDownloading() {
    m_autoStart = false;
    m_autoRedownload = false;
    emit AutoOptionsCleared();
    if (m_one)
        m_one->Stop(); // method one ends its item "下载取消" and runs its closing steps
    setOn(false);
    m_busy = false;
    for (int k = 1; k <= MaxSlots; ++k) {
        Slot &slot = m_slots[size_t(k)];
        if (!slot.transfer)
            continue;
        ItemTransfer *transfer = slot.transfer;
        slot.transfer = nullptr;
        disconnect(transfer, nullptr, this, nullptr);
        transfer->Stop();
        transfer->deleteLater();
        m_reservations.Release(slot.path);
        slot.path.clear();
    }
    failRunningItems(ResultText::Cancelled);
}

void DownloadScheduler::failRunningItems(const QString &result) {
    if (!m_model || m_model->CountInState(ItemState::Downloading) == 0)
        return;
    for (int row = 0; row < m_model->Count(); ++row) {
        if (m_model->Item(row).state != ItemState::Downloading)
            continue;
        DownloadItem item = m_model->Item(row);
        item.state = ItemState::Failed;
        item.result = result;
        m_model->SetItem(row, item);
    }
}

void DownloadScheduler::Shutdown() {
    blockSignals(true);
    m_timerDown->stop();
    m_timer1->stop();
    m_on = false;
    QList<ItemTransfer *> running;
    if (m_one)
        running << m_one;
    for (Slot &slot : m_slots) {
        if (slot.transfer)
            running << slot.transfer;
        slot = Slot();
    }
    m_one = nullptr;
    for (ItemTransfer *transfer : running) {
        disconnect(transfer, nullptr, this, nullptr);
        delete transfer; // cancels its request and removes what it wrote
    }
    m_busy = false;
    failRunningItems(ResultText::Cancelled);
}

bool DownloadScheduler::pauseOver() const {
    // With a pause of 0 the next transfer may start at once.
    return m_pauseSeconds <= 0 || Clock::Now() - m_lastFinish > qint64(m_pauseSeconds) * Durations::Second;
}

// Settles the item's names for the test; false when it is not to be picked
// now. An item whose file a running transfer will write waits for it, so that
// the rules skip or overwrite as they would one after the other (the rename
// rule gives it a counter name instead).
int DownloadScheduler::runningOn(const QString &site) const {
    int running = m_one && m_oneSite == site ? 1 : 0;
    for (int k = 1; k <= MaxSlots; ++k)
        running += SlotBusy(k) && m_slots[size_t(k)].site == site;
    return running;
}

bool DownloadScheduler::mayStart(int row) const {
    const DownloadItem &item = m_model->Item(row);
    const QString site = SiteOf(选择url(item.key));
    return m_policy.MayStart(item.uid, site, runningOn(site), Clock::Now());
}

bool DownloadScheduler::pickable(int row) {
    if (!mayStart(row))
        return false;
    DownloadItem item = m_model->Item(row);
    PrepareItemNames(item);
    if (m_rule != SameNameRule::Rename &&
        m_reservations.Holds(JoinFilePath(item.folder, item.name, item.type))) {
        m_model->SetItem(row, item);
        return false;
    }
    const bool needed = 确定是需要下载(item, m_rule);
    m_model->SetItem(row, item);
    return needed;
}

int DownloadScheduler::pickMethodOne() {
    for (int row = m_scanFrom; row < m_model->Count(); ++row) {
        if (m_model->Item(row).state == ItemState::Waiting && pickable(row))
            return row;
        if (row == m_scanFrom && m_model->Item(row).state != ItemState::Waiting)
            ++m_scanFrom;
    }
    return -1;
}

int DownloadScheduler::pickMethodTwo(QString *path) {
    for (int row = m_scanFrom; row < m_model->Count(); ++row) {
        if (m_model->Item(row).state == ItemState::Waiting && mayStart(row)) {
            DownloadItem item = m_model->Item(row);
            PrepareItemNames(item);
            if (m_rule != SameNameRule::Rename &&
                m_reservations.Holds(JoinFilePath(item.folder, item.name, item.type)))
                continue;
            const SettleResult settled = SettleItemPathMethodTwo(item, m_rule, m_reservations.Test());
            m_model->SetItem(row, item);
            if (settled.ok) {
                *path = settled.path;
                return row;
            }
        }
        if (row == m_scanFrom && m_model->Item(row).state != ItemState::Waiting)
            ++m_scanFrom;
    }
    return -1;
}

void DownloadScheduler::markStarted(int row) {
    m_finishAnnounced = false;
    DownloadItem item = m_model->Item(row);
    item.state = ItemState::Downloading;
    item.size.clear();
    item.received.clear();
    item.percent.clear();
    item.result.clear();
    m_model->SetItem(row, item);
    emit ItemStarted(row);
}

TransferJob DownloadScheduler::jobFor(int row) {
    TransferJob job;
    DownloadItem item = m_model->Item(row);
    job.address = 选择url(item.key);
    // What an earlier attempt kept is of use only for the same address in the same folder.
    if (!item.partialPath.isEmpty() &&
        (!HasOwnPartial(item) || item.partial.address != job.address.trimmed() ||
         QFileInfo(item.partialPath).absolutePath() != QFileInfo(PartialPathFor(item)).absolutePath())) {
        DropPartial(item);
        m_model->SetItem(row, item);
    }
    job.partialPath = HasOwnPartial(item) ? item.partialPath : PartialPathFor(item);
    job.item = item;
    job.reservations = &m_reservations;
    job.rule = m_rule;
    const SharedValues &shared = Shared();
    const double limitMb = ValidSizeLimitMb(shared.fileMaxSize);
    job.sizeLimit = qint64(limitMb * 1024.0 * 1024.0);
    job.proxyEnabled = shared.proxyEnabled == 1;
    job.proxyHost = shared.proxyHost;
    job.proxyPort = shared.proxyPort;
    return job;
}

ItemTransfer *DownloadScheduler::launch(int method, TransferJob job) {
    const int slot = job.slot;
    const quint64 uid = job.item.uid;
    const QString partialPath = job.partialPath;
    ItemTransfer *transfer = m_factory->Create(method, std::move(job), this);
    connect(transfer, &ItemTransfer::Settled, this,
            [this, method, uid, partialPath](const TransferStart &start) {
                edit(uid, [&](DownloadItem &item) {
                    ShowStart(item, method, start);
                    if (start.resumable) {
                        item.partialPath = partialPath;
                        item.partial = start.partial;
                    } else {
                        item.partialPath.clear();
                        item.partial = PartialInfo();
                    }
                });
            });
    connect(transfer, &ItemTransfer::Progress, this, [this, method, uid](qint64 received, qint64 total) {
        m_progress.insert(uid, {method, received, total});
        if (!m_progressTimer->isActive())
            m_progressTimer->start(Clock::RealInterval(kProgressMs));
    });
    connect(transfer, &ItemTransfer::Ended, this,
            [this, transfer, method, slot, uid](const TransferOutcome &outcome, bool announce) {
                ended(transfer, method, slot, uid, outcome, announce);
            });
    connect(transfer, &ItemTransfer::Activity, this, &DownloadScheduler::Activity);
    connect(transfer, &ItemTransfer::Stage, this, &DownloadScheduler::Stage);
    return transfer;
}

void DownloadScheduler::SchedulerTick() {
    if (!m_model)
        return;
    if (m_model->Count() == 0) {
        setOn(false);
        return;
    }
    if (!pauseOver())
        return;
    if (m_method == 1) {
        if (m_one)
            return;
        const int row = pickMethodOne();
        if (row < 0)
            return;
        markStarted(row);
        m_slotTable[1] = row;
        Inet下载当前文件(row);
        return;
    }
    for (int k = 1; k <= m_threads; ++k) {
        if (SlotBusy(k))
            continue;
        QString path;
        const int row = pickMethodTwo(&path);
        if (row < 0)
            break; // nothing waits: the other slots would find nothing either
        markStarted(row);
        m_slotTable[size_t(k)] = row;
        m_reservations.Reserve(path);
        m_slots[size_t(k)].path = path;
        m_slots[size_t(k)].site = SiteOf(选择url(m_model->Item(row).key));
        TransferJob job = jobFor(row);
        job.slot = k;
        job.path = path;
        m_busy = true;
        ItemTransfer *transfer = launch(2, std::move(job));
        m_slots[size_t(k)].transfer = transfer;
        transfer->Start();
    }
}

void DownloadScheduler::Inet下载当前文件(int row) {
    if (!m_model || row < 0 || row >= m_model->Count())
        return;
    if (m_one) {
        m_model->SetState(row, ItemState::Waiting);
        m_model->SetText(row, DownloadListModel::SizeColumn, ResultText::WaitingAgain);
        return;
    }
    m_busy = true;
    m_oneSite = SiteOf(选择url(m_model->Item(row).key));
    ItemTransfer *transfer = launch(1, jobFor(row));
    m_one = transfer;
    transfer->Start();
}

bool DownloadScheduler::edit(quint64 uid, const std::function<void(DownloadItem &)> &change) {
    const int row = m_model ? m_model->RowOfUid(uid) : -1;
    // An item the user took back meanwhile (re-queued, cancelled) is not the transfer's any more.
    if (row < 0 || m_model->Item(row).state != ItemState::Downloading)
        return false;
    DownloadItem item = m_model->Item(row);
    change(item);
    m_model->SetItem(row, item);
    return true;
}

void DownloadScheduler::ended(ItemTransfer *transfer, int method, int slot, quint64 uid,
                              const TransferOutcome &outcome, bool announce) {
    if (slot > 0) {
        Slot &s = m_slots[size_t(slot)];
        if (s.transfer == transfer) {
            m_reservations.Release(s.path);
            s = Slot();
        }
    } else if (m_one == transfer) {
        m_one = nullptr;
        m_busy = false;
    }
    disconnect(transfer, nullptr, this, nullptr);
    transfer->deleteLater();
    m_lastFinish = Clock::Now();
    m_progress.remove(uid);
    m_samples.remove(uid);
    const int row = m_model ? m_model->RowOfUid(uid) : -1;
    const QString site = row >= 0 ? SiteOf(选择url(m_model->Item(row).key)) : QString();
    const bool busySite =
        outcome.kind == OutcomeKind::HttpStatus && (outcome.status == 429 || outcome.status == 503);
    if (busySite && waitOutBusySite(uid, site, outcome)) {
        chainNext();
        return;
    }
    if (outcome.kind == OutcomeKind::Finished)
        m_policy.Delivered(uid, site);
    edit(uid, [&](DownloadItem &item) {
        ShowOutcome(item, method, outcome);
        item.speed.clear();
        item.timeLeft.clear();
        if (!outcome.partialKept) {
            item.partialPath.clear(); // the file went with the transfer's end
            item.partial = PartialInfo();
        }
        if (outcome.kind == OutcomeKind::Finished)
            CorrectItemType(item, m_reservations.Test());
    });
    if (announce)
        closingSteps(uid, method == 1);
    chainNext();
}

bool DownloadScheduler::waitOutBusySite(quint64 uid, const QString &site, const TransferOutcome &outcome) {
    const qint64 wait = m_policy.Busy(uid, site, outcome.retryAfterMs, Clock::Now());
    if (wait < 0)
        return false;
    edit(uid, [&](DownloadItem &item) {
        item.state = ItemState::Waiting;
        item.size.clear();
        item.received.clear();
        item.percent.clear();
        item.speed.clear();
        item.timeLeft.clear();
        item.result = RetryWaitText(wait);
        if (!outcome.partialKept) {
            item.partialPath.clear();
            item.partial = PartialInfo();
        }
    });
    return true;
}

// The countdown of the items that wait out a busy site.
void DownloadScheduler::showRetryWaits() {
    const qint64 now = Clock::Now();
    const QHash<quint64, qint64> waits = m_policy.Waits();
    for (auto it = waits.cbegin(); it != waits.cend(); ++it) {
        const int row = m_model->RowOfUid(it.key());
        if (row < 0 || m_model->Item(row).state != ItemState::Waiting ||
            !m_model->Item(row).result.startsWith(QStringLiteral("等待重试")))
            continue;
        m_model->SetText(row, DownloadListModel::ResultColumn, RetryWaitText(it.value() - now));
    }
}

void DownloadScheduler::applyProgress() {
    const qint64 now = Clock::Now();
    const QHash<quint64, Progress> pending = std::exchange(m_progress, {});
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        QList<Sample> &samples = m_samples[it.key()];
        samples.append({now, it->received});
        while (samples.size() > 2 && now - samples.at(1).at >= kSpeedWindowMs)
            samples.removeFirst();
        const Sample &first = samples.constFirst();
        const double speed =
            now > first.at ? double(it->received - first.bytes) * 1000.0 / double(now - first.at) : 0;
        edit(it.key(), [&](DownloadItem &item) {
            ShowProgress(item, it->method, it->received, it->total);
            item.speed = samples.size() > 1 ? SpeedText(speed) : QString();
            item.timeLeft = samples.size() > 1 ? TimeLeftText(it->total - it->received, speed) : QString();
        });
    }
    double total = 0;
    for (auto it = m_samples.cbegin(); it != m_samples.cend(); ++it) {
        if (it->size() > 1 && now - it->constLast().at < kSpeedWindowMs)
            total += double(it->constLast().bytes - it->constFirst().bytes) * 1000.0 /
                     double(std::max<qint64>(1, it->constLast().at - it->constFirst().at));
    }
    emit TotalSpeed(SpeedText(total));
}

void DownloadScheduler::closingSteps(quint64 uid, bool withXml) {
    const int row = m_model ? m_model->RowOfUid(uid) : -1;
    if (row < 0)
        return;
    const DownloadItem item = m_model->Item(row);
    emit Activity(QStringLiteral("完成下载:") + item.name);
    const bool webPage = isWebPage(item.type, withXml);
    if (m_sound && PlaySound) {
        if (webPage)
            PlaySound(101);
        if (item.state == ItemState::Failed)
            PlaySound(103);
    }
    if (webPage && AfterWebPage)
        AfterWebPage();
}

void DownloadScheduler::chainNext() {
    if (!m_on || m_pauseSeconds > 0 || m_chainQueued)
        return;
    m_chainQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_chainQueued = false;
        if (m_on)
            SchedulerTick();
    });
}

void DownloadScheduler::finishSound() {
    if (m_sound && PlaySound)
        PlaySound(102);
}

void DownloadScheduler::SupervisorTick() {
    if (!m_model)
        return;
    if (m_model->检测是否下载列表完毕()) {
        emit StartEnabledChanged(true);
        if (m_on) {
            setOn(false);
            // Once per finished list: the automatic re-download turns the
            // scheduler on again every second.
            if (!m_finishAnnounced)
                finishSound();
            m_finishAnnounced = true;
        }
    } else {
        m_finishAnnounced = false;
        emit StartEnabledChanged(!m_on);
    }
    if (m_method == 1) {
        if (!m_one)
            m_busy = false;
    } else {
        for (int k = 1; k <= m_threads; ++k)
            if (SlotBusy(k))
                m_busy = true;
        if (!m_on)
            m_busy = false;
    }
    emit Summary(m_model->StatusSummary());
    showRetryWaits();
    if (!TransfersRunning() && !m_samples.isEmpty()) {
        m_samples.clear();
        emit TotalSpeed(SpeedText(0));
    }
    if (m_autoStart && m_model->统计未下载项数目() >= 1)
        StartDownloading();
    if (m_autoRedownload && !m_on) {
        if ((m_redownloadMode == 0 || m_redownloadMode == 2) && RedownloadFailed)
            RedownloadFailed();
        if ((m_redownloadMode == 1 || m_redownloadMode == 2) && RedownloadWebPages)
            RedownloadWebPages();
        StartDownloading();
    }
    if (m_stopRule && m_model->CountProblemItems() >= 5 && m_on) {
        setOn(false);
        finishSound();
    }
}

struct NetworkTransferFactory::Managers {
    std::unique_ptr<QNetworkAccessManager> one;
    std::unique_ptr<QNetworkAccessManager> two;
};

NetworkTransferFactory::NetworkTransferFactory() : m_managers(std::make_unique<Managers>()) {}

NetworkTransferFactory::~NetworkTransferFactory() = default;

ItemTransfer *NetworkTransferFactory::Create(int method, TransferJob job, QObject *parent) {
    std::unique_ptr<QNetworkAccessManager> &manager = method == 1 ? m_managers->one : m_managers->two;
    if (!manager) {
        manager = std::make_unique<QNetworkAccessManager>();
        WebSession::Instance().AttachTo(manager.get());
    }
    job.manager = manager.get();
    if (method == 1)
        return new TransferOne(std::move(job), parent);
    return new TransferTwo(std::move(job), parent);
}

} // namespace dh
