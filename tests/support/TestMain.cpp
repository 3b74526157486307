// Test main: one QApplication for the whole run, a throw-away settings file
// and scripted message boxes, so no test touches the user's store or waits
// for a click.
#include "util/Messages.h"
#include "util/Settings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The browser engine's own code trips the type-mismatch check whenever a page
// goes, and leaks by design at exit: either would hide the faults of ours.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0:detect_leaks=0";
}
#endif

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifndef Q_OS_WIN
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temporary;
    // Keep the data and cache folders of the run away from the user's. A test
    // that starts the program again (a restart, a second copy) hands its
    // children its own folders through DH_TEST_HOME.
    const QString home = qEnvironmentVariableIsSet("DH_TEST_HOME") ? qEnvironmentVariable("DH_TEST_HOME") : temporary.path();
    qputenv("DH_TEST_HOME", home.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("HOME", home.toLocal8Bit()); // the default download folder lives under it
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName(QStringLiteral("Docharvest"));
    QCoreApplication::setApplicationName(QStringLiteral("Docharvest"));
    QApplication app(argc, argv);
    dh::Settings::UseFile(home + QStringLiteral("/settings.ini"));
    dh::Messages::SetScripted(true);
    return RUN_ALL_TESTS();
}
