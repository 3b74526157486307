// Throughput of transfer method one and the window's responsiveness meanwhile.
// Usage: bench_transfer_one <url> <folder>   (bench/bench_transfer.sh sets it up)
#include "download/DownloadWindow.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <url> <folder>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto *window = new dh::DownloadWindow;
    dh::Shared().fileMaxSize = 1024; // MB: the limit raised for the run (after the window read its own)
    const QString folder = QString::fromLocal8Bit(argv[2]);
    window->Model()->加入下载列表(QString::fromLocal8Bit(argv[1]), QStringLiteral("bench"), QStringLiteral("bin"),
                                 folder, QString());
    int ticks = 0;
    QTimer probe;
    probe.setInterval(100);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] { ++ticks; });
    QElapsedTimer timer;
    timer.start();
    probe.start();
    dh::SleepFor(10); // past the pause between files, so the first tick starts the transfer
    timer.restart();
    window->SetMethod(1);
    window->SchedulerTick();
    dh::WaitUntil([&] { return !window->Scheduler()->MethodOneTransfer(); }, -1);
    const double secs = timer.elapsed() / 1000.0;
    probe.stop();
    const dh::DownloadItem &item = window->Model()->Item(0);
    const qint64 bytes = QFileInfo(window->Model()->ItemFilePath(0)).size();
    std::printf("method one: %lld bytes in %.2f s = %.1f MB/s, state %d, 100 ms timer kept %d of %d ticks (%.0f %%)\n",
                static_cast<long long>(bytes), secs, bytes / secs / 1e6, int(item.state), ticks,
                int(secs * 10), 100.0 * ticks / (secs * 10));
    return 0;
}
