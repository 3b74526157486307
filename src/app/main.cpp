#include "download/DownloadWindow.h"
#include "shell/StartWindow.h"
#include "util/AppInfo.h"

#include <QApplication>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

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
    QGuiApplication::setDesktopFileName(QStringLiteral("docharvest")); // the installed .desktop entry
    app.setQuitOnLastWindowClosed(false); // only the start window ends the program
    dh::RegisterDownloadWindow();
    dh::StartWindow start;
    start.StartUp();
    return app.exec();
}
