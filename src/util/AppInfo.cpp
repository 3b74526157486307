#include "util/AppInfo.h"

namespace dh {

QString AppTitle() { return QStringLiteral("Docharvest"); }
int VersionMajor() { return DOCHARVEST_VERSION_MAJOR; }
int VersionMinor() { return DOCHARVEST_VERSION_MINOR; }
int VersionRevision() { return DOCHARVEST_VERSION_PATCH; }
QString VersionText()
{
    return QStringLiteral("%1.%2.%3").arg(VersionMajor()).arg(VersionMinor()).arg(VersionRevision());
}
namespace {
QString &publisher()
{
    static QString url = QStringLiteral(DOCHARVEST_PUBLISHER_URL);
    return url;
}
} // namespace

QString PublisherUrl() { return publisher(); }
void SetPublisherUrl(const QString &url) { publisher() = url; }
QString ExecutableName() { return QStringLiteral("docharvest"); }

} // namespace dh
