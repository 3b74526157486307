#pragma once
// Politeness towards the sites the downloads come from: a site that answers
// 429 or 503 is waited out (its Retry-After, else a growing back-off) and
// then gets one transfer at a time until it has delivered a few documents;
// no site gets more transfers at once than the per-site limit.
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace dh {

// The host of an address, lower case ("" when there is none).
QString SiteOf(const QString &address);
// A Retry-After value in milliseconds from `now`: seconds or an HTTP date;
// -1 when there is none or it cannot be read. A date in the past is 0.
qint64 RetryAfterMs(const QByteArray &value, const QDateTime &now);

// "等待重试 (N秒)"
QString RetryWaitText(qint64 ms);

class SitePolicy {
public:
    static constexpr int GiveUpAt = 3;                   // the busy answer that ends an item
    static constexpr qint64 LongestWaitMs = 3600 * 1000; // a longer Retry-After ends it at once
    static constexpr qint64 FirstBackOffMs = 30 * 1000;  // without Retry-After: 30 s, 60 s, 120 s ...
    static constexpr int DeliveriesToTrust = 3;          // documents until a busy site gets its slots back

    void SetPerSiteLimit(int transfers); // 1..6
    int PerSiteLimit() const { return m_limit; }

    // A 429 or 503 for the item: how long it and its site wait (ms), or -1
    // when the item gives up.
    qint64 Busy(quint64 uid, const QString &site, qint64 retryAfterMs, qint64 now);
    // The item brought its document.
    void Delivered(quint64 uid, const QString &site);
    // The item may start now, with `runningOnSite` transfers of its site running.
    bool MayStart(quint64 uid, const QString &site, int runningOnSite, qint64 now) const;
    // How long the item still waits (ms), 0 when it does not.
    qint64 WaitLeft(quint64 uid, qint64 now) const;
    // The items told to wait, with their time to start.
    const QHash<quint64, qint64> &Waits() const { return m_notBefore; }
    void Forget(quint64 uid);

private:
    struct Site {
        qint64 notBefore = 0;
        bool oneAtATime = false;
        int delivered = 0;
    };
    int m_limit = 6;
    QHash<QString, Site> m_sites;
    QHash<quint64, int> m_busyAnswers;
    QHash<quint64, qint64> m_notBefore;
};

} // namespace dh
