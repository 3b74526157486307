// Downloads a list of addresses through the download window with one method
// (pause 0; method two with six slots) and reports the time from the start
// until the list is finished, the bytes written and how many ticks a 100 ms
// timer of the window kept meanwhile. Driven by bench_parallel.sh and
// bench_transfer.sh.
// Usage: bench_download <method 1|2> <folder> <file with one address a line> [seconds] [redownload]
// With [seconds] (0: none) the run stops after that long (the timer probe of
// slow transfers); with "redownload" failed items are re-queued automatically.
// Usage: bench_download bare <address>: the network library alone reads the
// body and drops it (the ceiling of either method).
#include "download/DownloadWindow.h"
#include "net/WebSession.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <cstdio>

using namespace dh;

namespace {
int bare(const QUrl &url) {
    QNetworkAccessManager manager;
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply = manager.get(QNetworkRequest(url));
    reply->setReadBufferSize(1024 * 1024); // as the transfers do
    qint64 bytes = 0;
    QObject::connect(reply, &QIODevice::readyRead, reply, [&] { bytes += reply->readAll().size(); });
    WaitUntil([&] { return reply->isFinished(); }, -1);
    bytes += reply->readAll().size();
    std::printf("bare: %lld bytes in %.3f s\n", static_cast<long long>(bytes), clock.elapsed() / 1000.0);
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    if (argc < 4 && !(argc == 3 && QByteArray(argv[1]) == "bare")) {
        std::fprintf(stderr, "usage: %s <method 1|2> <folder> <address list> [seconds]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // the browser session needs it
    // The kept list and the browser session of a run stay out of the user's data folder.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (QByteArray(argv[1]) == "bare")
        return bare(QUrl(QString::fromLocal8Bit(argv[2])));
    const int method = QByteArray(argv[1]).toInt() == 1 ? 1 : 2;
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QFile list(QString::fromLocal8Bit(argv[3]));
    if (!list.open(QIODevice::ReadOnly))
        return 2;
    const double limitSeconds = argc > 4 ? QByteArray(argv[4]).toDouble() : 0;
    const bool redownload = argc > 5 && QByteArray(argv[5]) == "redownload";

    auto *window = new DownloadWindow;
    Shared().fileMaxSize = 1024; // MB: raised for the run, after the window read its own
    Shared().useOriginalFileName = true;
    window->SetMethod(method);
    if (method == 2)
        window->findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentIndex(5);
    window->findChild<QComboBox *>(QStringLiteral("Combo2"))->setCurrentText(QStringLiteral("0"));
    if (redownload) {
        window->findChild<QComboBox *>(QStringLiteral("Combo4"))->setCurrentIndex(0);
        window->findChild<QCheckBox *>(QStringLiteral("Check3"))->setChecked(true);
    }
    int items = 0;
    for (const QByteArray &line : list.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        window->Model()->加入下载列表(QString::fromUtf8(line.trimmed()), QString(), QStringLiteral("bin"),
                                      folder, QString());
        ++items;
    }
    window->show();

    // The browser session (its profile made anew in the run's data folder) is
    // start-up work, not part of a transfer.
    WebSession::Instance();

    int ticks = 0;
    QTimer probe;
    probe.setInterval(100);
    QObject::connect(&probe, &QTimer::timeout, window, [&] { ++ticks; });
    QElapsedTimer clock;
    SleepFor(50);
    probe.start();
    clock.start();
    window->StartDownloading();
    // With the re-download on, failed items come back: the run ends when all are done.
    const auto idle = [&] {
        return !window->Scheduler()->TransfersRunning() && window->Model()->检测是否下载列表完毕() &&
               (!redownload || window->Model()->CountInState(ItemState::Done) == items);
    };
    // The end is seen when the last transfer reports it, not at the next poll.
    QEventLoop loop;
    double secs = 0;
    const auto check = [&] {
        if (secs == 0 && (idle() || (limitSeconds > 0 && clock.elapsed() >= limitSeconds * 1000))) {
            secs = clock.elapsed() / 1000.0;
            loop.quit();
        }
    };
    QObject::connect(window->Scheduler(), &DownloadScheduler::Activity, &loop, check);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(20);
    check();
    if (secs == 0)
        loop.exec();
    probe.stop();
    const int done = window->Model()->CountInState(ItemState::Done);
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();)
        bytes += QFileInfo(it.next()).size();
    const int expected = int(secs * 10);
    std::printf(
        "method %d: %d of %d items done, %lld bytes in %.3f s, 100 ms timer kept %d of %d ticks (%.0f %%)\n",
        method, done, items, static_cast<long long>(bytes), secs, ticks, expected,
        expected > 0 ? 100.0 * ticks / expected : 100.0);
    std::fflush(stdout);
    window->StopDownloading();
    window->Scheduler()->Shutdown();
    delete window;
    return 0;
}
