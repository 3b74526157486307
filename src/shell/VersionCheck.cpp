#include "shell/VersionCheck.h"

#include "about/PublisherLinks.h"
#include "util/AppInfo.h"
#include "util/FileHelpers.h"

#include <QStringList>
#include <limits>

namespace dh {

qint64 VersionValue(qint64 major, qint64 minor, qint64 revision)
{
    qint64 value = 0;
    qint64 part = 0;
    if (__builtin_mul_overflow(major, qint64(10000000), &value) || __builtin_mul_overflow(minor, qint64(10000), &part)
        || __builtin_add_overflow(value, part, &value) || __builtin_add_overflow(value, revision, &value))
        return std::numeric_limits<qint64>::max();
    return value;
}

qint64 RunningVersionValue() { return VersionValue(VersionMajor(), VersionMinor(), VersionRevision()); }

std::optional<qint64> VersionReplyValue(const QString &reply)
{
    const QString text = reply.trimmed();
    if (text.isEmpty() || text.size() >= 21)
        return std::nullopt;
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    qint64 numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).toLongLong(&ok);
        // Twenty characters hold at most 18 digits: toLongLong never overflows here.
        if (!IsDecimalDigits(parts.at(i)) || !ok)
            return std::nullopt;
    }
    return VersionValue(numbers[0], numbers[1], numbers[2]);
}

bool IsNewerVersion(const QString &reply, qint64 running)
{
    const std::optional<qint64> value = VersionReplyValue(reply);
    return value && *value > running;
}

QString NewVersionUrl(const QString &publisherUrl)
{
    const QString page = ProductPageUrl(publisherUrl);
    return page.isEmpty() ? QString() : page + QStringLiteral("newver.txt");
}

QString NewerVersionLabel(const QString &reply)
{
    return QStringLiteral("有最新版本：V") + reply.trimmed() + QStringLiteral("可以下载升级");
}

} // namespace dh
