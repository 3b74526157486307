#include "about/PublisherLinks.h"

#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"

#include <QAction>
#include <QMenu>

namespace dh {

namespace {
QString siteRoot(const QString &publisherUrl)
{
    QString site = publisherUrl.trimmed();
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site;
}
} // namespace

QString ProductPageUrl(const QString &publisherUrl)
{
    const QString site = siteRoot(publisherUrl);
    return site.isEmpty() ? QString() : site + QLatin1Char('/') + ExecutableName() + QLatin1Char('/');
}

void AddPublisherEntries(QMenu *menu)
{
    const QString site = siteRoot(PublisherUrl());
    const QString product = ProductPageUrl(site);
    const std::pair<const char *, QString> entries[] = {
        {"最新版本", product},
        {"作者网站", site + QLatin1Char('/')},
        {"软件教程和问答", product + QStringLiteral("help/")},
        {"软件定制", site + QStringLiteral("/custom/")},
    };
    for (const auto &[text, address] : entries) {
        const QString caption = QString::fromUtf8(text);
        QAction *action = menu->addAction(caption);
        action->setObjectName(QStringLiteral("menu") + caption);
        action->setEnabled(!site.isEmpty());
        QObject::connect(action, &QAction::triggered, action, [address = address] { OpenWebAddress(address, false); });
    }
}

} // namespace dh
