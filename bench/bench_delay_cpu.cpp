// CPU used by a search window while it waits out its delay. Creates a web
// search window over a view that does nothing, sets the delay and runs the
// pause once; prints the process CPU time per second of waiting and how often
// the UI thread woke up meanwhile.
//   bench_delay_cpu [seconds]      (default 60; run under /usr/bin/time as well if wanted)
#include "net/BrowserView.h"
#include "search/SearchWindow.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

// A page that never changes: the pause has nothing to wait for but time.
class IdleView : public dh::BrowserView {
public:
    using BrowserView::BrowserView;
    QWidget *Widget() override { return nullptr; }
    void Navigate(const QString &address) override { m_url = address; }
    void Reload() override {}
    void Back() override {}
    void Forward() override {}
    bool IsBusy() const override { return false; }
    QString CurrentUrl() const override { return m_url; }
    void SetSilent(bool on) override { m_silent = on; }
    bool IsSilent() const override { return m_silent; }
    dh::PageSnapshot Snapshot(int) override { return {}; }
    QList<dh::SnapInput> Inputs(int) override { return {}; }
    int ElementById(const QString &, int) override { return -1; }
    bool Click(int) override { return false; }
    bool SetValue(int, const QString &) override { return false; }

private:
    QString m_url;
    bool m_silent = false;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep the user's settings and data folders out of it.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);
    dh::Settings::UseFile(home.path() + QStringLiteral("/settings.ini"));
    dh::Messages::SetScripted(true);

    auto *window = new dh::SearchWindow(dh::Engine::Web, new IdleView);
    window->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(QString::number(seconds));

    int wakes = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &app,
                     [&wakes] { ++wakes; });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    window->Driver()->延时();
    const double cpu = cpuSeconds() - cpuBefore;
    const double waited = double(wall.elapsed()) / 1000.0;
    std::printf("delay %d s: waited %.2f s wall, %.3f s CPU (user+sys), %.3f %% of one core, "
                "%d wake-ups (%.1f a second)\n",
                seconds, waited, cpu, 100.0 * cpu / waited, wakes, double(wakes) / waited);
    delete window;
    return 0;
}
