#include "shell/StartWindow.h"
#include "util/AppInfo.h"

#include <QApplication>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    // Chromium refuses to start its sandbox as root.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName(QStringLiteral("Docharvest"));
    QCoreApplication::setApplicationName(dh::AppTitle());
    QApplication app(argc, argv);
    dh::StartWindow start;
    start.show();
    return app.exec();
}
