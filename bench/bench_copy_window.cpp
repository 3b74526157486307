// The copy window's run: how long the longest pause of the user interface
// lasts while it copies one big file and many small ones, and the copy time
// next to the system's cp on the same files.
//   bench_copy_window [big file MiB] [small files]
#include "tools/CopyMoveWindow.h"
#include "util/Messages.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace dh;

namespace {
struct Run {
    qint64 ms = 0;
    qint64 longestPauseMs = 0;
};

// Runs the window on `sources` into `dest` while a 10 ms timer watches the event loop.
Run copyWithWindow(const QStringList &sources, const QString &dest) {
    CopyMoveWindow window;
    for (const QString &s : sources)
        window.AddSource(s);
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(dest);
    for (QRadioButton *b : window.findChildren<QRadioButton *>(QStringLiteral("Option1")))
        if (b->property("index").toInt() == 2)
            b->click();
    window.show();
    QElapsedTimer clock;
    qint64 last = 0;
    Run run;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.elapsed();
        run.longestPauseMs = std::max(run.longestPauseMs, now - last);
        last = now;
    });
    clock.start();
    watch.start();
    window.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    run.ms = clock.elapsed();
    run.longestPauseMs = std::max(run.longestPauseMs, run.ms - last);
    return run;
}

qint64 copyWithCp(const QStringList &sources, const QString &dest) {
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral("cp"), QStringList{QStringLiteral("-p")} + sources + QStringList{dest});
    return clock.elapsed();
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Messages::SetScripted(true);
    const qint64 bigMiB = argc > 1 ? std::max(1, atoi(argv[1])) : 1024;
    const int smallCount = argc > 2 ? std::max(1, atoi(argv[2])) : 2000;

    QTemporaryDir temp;
    const QString big = temp.filePath(QStringLiteral("big.bin"));
    {
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1024 * 1024, '\0');
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char(i * 31 % 253);
        for (qint64 i = 0; i < bigMiB; ++i)
            file.write(chunk);
    }
    QStringList smalls;
    QDir().mkpath(temp.filePath(QStringLiteral("small")));
    for (int i = 0; i < smallCount; ++i) {
        const QString path = temp.filePath(QStringLiteral("small/f%1.pdf").arg(i));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(10 * 1024, char('a' + i % 26)));
        smalls << path;
    }

    for (int round = 1; round <= 2; ++round) {
        const QString dest = temp.filePath(QStringLiteral("out%1").arg(round));
        const QString cpDest = temp.filePath(QStringLiteral("cp%1").arg(round));
        QDir().mkpath(cpDest);
        const Run one = copyWithWindow({big}, dest);
        const qint64 cpOne = copyWithCp({big}, cpDest);
        const Run many = copyWithWindow(smalls, dest);
        const qint64 cpMany = copyWithCp(smalls, cpDest);
        std::printf("round %d: %lld MiB file: window %lld ms (longest pause %lld ms), cp %lld ms | "
                    "%d files of 10 KiB: window %lld ms (longest pause %lld ms), cp %lld ms\n",
                    round, bigMiB, one.ms, one.longestPauseMs, cpOne, smallCount, many.ms,
                    many.longestPauseMs, cpMany);
    }
    return 0;
}
