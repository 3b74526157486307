#include "about/AboutResources.h"

#include <QFile>

// Resources of a static library must be registered by name, outside any namespace.
static void initAboutResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(about);
        return true;
    }();
    Q_UNUSED(done);
}

namespace dh {

QIcon AppIcon()
{
    initAboutResources();
    return QIcon(QStringLiteral(":/about/docharvest.png"));
}

QPixmap AppPicture(int size)
{
    initAboutResources();
    return QPixmap(QStringLiteral(":/about/docharvest.png"))
        .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QPixmap RightsSettingsPicture()
{
    initAboutResources();
    return QPixmap(QStringLiteral(":/about/rights-settings.png"));
}

QString UsageNotes()
{
    initAboutResources();
    QFile file(QStringLiteral(":/about/usage.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace dh
