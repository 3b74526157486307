// The download list with 100 000 items: what one supervisor tick asks of it
// (summary, finished test, unstarted and problem counts) and a sort by the
// size column. Targets: a tick within 5 ms, the sort within 1 s.
#include "download/DownloadListModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

using namespace dh;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int Items = 100000;
    constexpr int Ticks = 1000;

    DownloadListModel model;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Items; ++i) {
        model.加入下载列表(QStringLiteral("http://host/dir/doc%1.pdf").arg(i),
                           QStringLiteral("文档 %1").arg(i),
                           i % 10 == 0 ? QStringLiteral("htm") : QStringLiteral("pdf"),
                           QStringLiteral("/tmp/12345/"), QStringLiteral("http://host/list"));
    }
    const qint64 addMs = timer.elapsed();

    // A list part way through: sizes of every kind, states of every kind.
    QRandomGenerator random(42);
    for (int row = 0; row < Items; ++row) {
        DownloadItem item = model.Item(row);
        switch (row % 7) {
        case 0:
            break; // not started
        case 1:
            item.size = ResultText::Unknown;
            item.state = ItemState::Downloading;
            break;
        case 2:
            item.percent = ResultText::BigFileSkipped;
            item.state = ItemState::Done;
            break;
        case 3:
            item.size = ResultText::DownloadFailed;
            item.state = ItemState::Failed;
            break;
        default:
            item.size = QString::number(random.bounded(1, 50000000));
            item.received = item.size;
            item.percent = ResultText::Complete;
            item.state = ItemState::Done;
        }
        model.SetItem(row, item);
    }

    timer.restart();
    qint64 sink = 0;
    for (int t = 0; t < Ticks; ++t) {
        const QString summary = model.StatusSummary();
        sink += summary.size() + (model.检测是否下载列表完毕() ? 1 : 0) + model.统计未下载项数目() +
                model.CountProblemItems();
    }
    const double tickUs = double(timer.nsecsElapsed()) / Ticks / 1000.0;

    timer.restart();
    model.ClickSort(DownloadListModel::SizeColumn);
    const qint64 sortMs = timer.elapsed();
    timer.restart();
    model.ClickSort(DownloadListModel::SizeColumn);
    const qint64 sortBackMs = timer.elapsed();
    timer.restart();
    model.ClickSort(DownloadListModel::NameColumn);
    const qint64 sortNameMs = timer.elapsed();

    std::printf("items: %d\n", model.Count());
    std::printf("add (加入下载列表) all items: %lld ms\n", static_cast<long long>(addMs));
    std::printf("supervisor tick (summary + finished + unstarted + problems): %.2f us (target 5000 us)\n",
                tickUs);
    std::printf("  summary: %s\n", qPrintable(model.StatusSummary()));
    std::printf("sort by 文件大小, descending: %lld ms; ascending: %lld ms (target 1000 ms)\n",
                static_cast<long long>(sortMs), static_cast<long long>(sortBackMs));
    std::printf("sort by 名称: %lld ms\n", static_cast<long long>(sortNameMs));
    std::printf("(query checksum %lld)\n",
                static_cast<long long>(sink)); // keeps the tick loop from being dropped
    return 0;
}
