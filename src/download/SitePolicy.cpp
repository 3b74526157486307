#include "download/SitePolicy.h"

#include <QLocale>
#include <QStringView>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>

namespace dh {

QString SiteOf(const QString &address) {
    // The scheduler asks for every waiting row; a full parse each time would cost.
    QStringView rest(address);
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return QUrl(address.trimmed()).host().toLower();
    rest = rest.mid(scheme + 3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != QLatin1Char('/') && rest[end] != QLatin1Char('?') &&
           rest[end] != QLatin1Char('#'))
        ++end;
    QStringView authority = rest.left(end);
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0)
        authority = authority.mid(at + 1);
    if (authority.startsWith(QLatin1Char('['))) {
        if (const qsizetype close = authority.indexOf(QLatin1Char(']')); close >= 0)
            authority = authority.left(close + 1);
    } else if (const qsizetype colon = authority.indexOf(QLatin1Char(':')); colon >= 0) {
        authority = authority.left(colon);
    }
    return authority.toString().toLower();
}

qint64 RetryAfterMs(const QByteArray &value, const QDateTime &now) {
    const QString text = QString::fromLatin1(value).trimmed();
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? -1 : std::min<qint64>(seconds, qint64(1) << 40) * 1000;
    // An HTTP date: "Wed, 21 Oct 2026 07:28:00 GMT" (RFC 850 and asctime forms are rare).
    QDateTime when = QLocale::c().toDateTime(text, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (when.isValid())
        when.setTimeZone(QTimeZone::utc()); // the fields as written are UTC
    else
        when = QDateTime::fromString(text, Qt::RFC2822Date);
    if (!when.isValid())
        return -1;
    return std::max<qint64>(0, now.msecsTo(when));
}

QString RetryWaitText(qint64 ms) {
    return QStringLiteral("等待重试 (%1秒)").arg((std::max<qint64>(0, ms) + 999) / 1000);
}

void SitePolicy::SetPerSiteLimit(int transfers) {
    m_limit = std::clamp(transfers, 1, 6);
}

qint64 SitePolicy::Busy(quint64 uid, const QString &site, qint64 retryAfterMs, qint64 now) {
    const int answers = ++m_busyAnswers[uid];
    const qint64 wait = retryAfterMs >= 0 ? retryAfterMs : FirstBackOffMs << std::min(answers - 1, 16);
    // The site waits in any case, the other items of it too.
    Site &s = m_sites[site];
    s.oneAtATime = true;
    s.delivered = 0;
    s.notBefore = std::max(s.notBefore, now + std::min(wait, LongestWaitMs));
    if (answers >= GiveUpAt || wait > LongestWaitMs) {
        Forget(uid);
        return -1;
    }
    m_notBefore[uid] = now + wait;
    return wait;
}

void SitePolicy::Delivered(quint64 uid, const QString &site) {
    Forget(uid);
    auto it = m_sites.find(site);
    if (it != m_sites.end() && it->oneAtATime && ++it->delivered >= DeliveriesToTrust)
        m_sites.erase(it);
}

bool SitePolicy::MayStart(quint64 uid, const QString &site, int runningOnSite, qint64 now) const {
    if (m_notBefore.value(uid, 0) > now)
        return false;
    const auto it = m_sites.constFind(site);
    if (it == m_sites.cend())
        return runningOnSite < m_limit;
    return it->notBefore <= now && runningOnSite < (it->oneAtATime ? 1 : m_limit);
}

qint64 SitePolicy::WaitLeft(quint64 uid, qint64 now) const {
    return std::max<qint64>(0, m_notBefore.value(uid, 0) - now);
}

void SitePolicy::Forget(quint64 uid) {
    m_busyAnswers.remove(uid);
    m_notBefore.remove(uid);
}

} // namespace dh
