// CPU use of a waiting batch: one 60-second pause of a search window.
// Run: /usr/bin/time -f "%U user %S sys" build/bench/bench_delay_cpu
#include "search/SearchWindow.h"
#include "util/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dh::SearchWindow w(dh::Engine::Web);
    w.findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("60"));
    const std::clock_t cpu0 = std::clock();
    QElapsedTimer real;
    real.start();
    w.Driver()->延时();
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double secs = real.elapsed() / 1000.0;
    std::printf("pause %.1f s, CPU %.3f s, %.2f %% of one core\n", secs, cpu, 100.0 * cpu / secs);
    return 0;
}
