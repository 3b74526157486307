#pragma once
// The help menus' entries that open pages of the publisher's web site. They
// are disabled in a build without a publisher site.
#include <QString>

class QMenu;

namespace dh {

// "<site>/<executable>/": the product's page; empty without a site.
QString ProductPageUrl(const QString &publisherUrl);
void AddPublisherEntries(QMenu *menu);

} // namespace dh
