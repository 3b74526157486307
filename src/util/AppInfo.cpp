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
QString PublisherUrl() { return QStringLiteral(DOCHARVEST_PUBLISHER_URL); }

} // namespace dh
