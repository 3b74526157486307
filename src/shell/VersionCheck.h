#pragma once
// Rules of the latest-version check: where the publisher keeps the version
// text, and which replies announce a newer version.
#include <QString>
#include <optional>

namespace dh {

// major × 10 000 000 + minor × 10 000 + revision, saturating instead of overflowing.
qint64 VersionValue(qint64 major, qint64 minor, qint64 revision);
qint64 RunningVersionValue();
// The value of a reply: trimmed, shorter than 21 characters, three parts of
// decimal digits joined by "."; nothing for any other reply.
std::optional<qint64> VersionReplyValue(const QString &reply);
// True when the reply names a version above `running`.
bool IsNewerVersion(const QString &reply, qint64 running);

// The product page's "newver.txt"; empty without a site.
QString NewVersionUrl(const QString &publisherUrl);
// "有最新版本：V<reply>可以下载升级"
QString NewerVersionLabel(const QString &reply);

} // namespace dh
