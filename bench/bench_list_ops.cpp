// The download window's list operations on 100 000 items in the shown
// window: each menu entry is triggered as the user would, and the time runs
// until the list has been painted again. Target: each within 1 s.
//   bench_list_ops [items] [rounds]
// Prints every round, then the median of the rounds as the last line.
#include "download/DownloadWindow.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace dh;

namespace {

// A list where the item states follow `state(row)`; every row has columns.
void fill(DownloadWindow &window, int items, const std::function<ItemState(int)> &state) {
    DownloadListModel *model = window.Model();
    model->Clear();
    for (int i = 0; i < items; ++i)
        model->加入下载列表(QStringLiteral("http://host.example/dir/doc%1.pdf|http://mirror.example/doc%1.pdf").arg(i),
                            QStringLiteral("文档 %1").arg(i), i % 10 == 0 ? QStringLiteral("htm") : QStringLiteral("pdf"),
                            QStringLiteral("/nonexistent/12345/"), QStringLiteral("http://host.example/list"));
    model->EditRows([&](int row, DownloadItem &item) {
        item.state = state(row);
        item.size = item.received = QString::number(1000 + row);
        item.percent = ResultText::Complete;
        return true;
    });
    QApplication::processEvents();
}

// Milliseconds from the entry's trigger until the window has been painted.
qint64 timed(DownloadWindow &window, const char *entry) {
    auto *action = window.findChild<QAction *>(QString::fromUtf8(entry));
    if (!action) {
        std::fprintf(stderr, "no entry %s\n", entry);
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    action->trigger();
    window.View()->viewport()->repaint();
    QApplication::processEvents();
    return clock.elapsed();
}

qint64 median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir home;
    Settings::UseFile(home.path() + QStringLiteral("/settings.ini"));
    Messages::SetScripted(true);
    const int items = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    // The replacement dialog is answered as a user would fill it.
    Messages::SetModalHook([](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("HOST.example"));
        dialog->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(QStringLiteral("mirror2.example"));
        dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        return dialog->result();
    });

    auto *window = new DownloadWindow;
    window->resize(1200, 800);
    window->show();
    QApplication::processEvents();

    const DownloadListModel *model = window->Model();
    std::vector<qint64> redownload, remove, shuffle, replace;
    for (int round = 1; round <= rounds; ++round) {
        // Every item failed: the whole list is re-queued.
        fill(*window, items, [](int) { return ItemState::Failed; });
        redownload.push_back(timed(*window, "menu重新下载.出错项"));
        if (model->CountInState(ItemState::Waiting) != items)
            std::fprintf(stderr, "re-download did not re-queue every item\n");
        // Half the items done.
        fill(*window, items, [](int row) { return row % 2 ? ItemState::Done : ItemState::Failed; });
        remove.push_back(timed(*window, "menu移除(不删除文件).完成项"));
        if (model->Count() != items / 2 + items % 2)
            std::fprintf(stderr, "removal left %d items\n", model->Count());
        fill(*window, items, [](int) { return ItemState::Done; });
        shuffle.push_back(timed(*window, "menu随机排序列表(打乱)"));
        fill(*window, items, [](int) { return ItemState::Done; });
        replace.push_back(timed(*window, "menu批量替换网址"));
        // The work was done, not refused.
        if (model->Count() != items || !model->Item(0).key.startsWith(QLatin1String("http://mirror2.example")))
            std::fprintf(stderr, "replacement did not run\n");
        std::printf("round %d: redownload %lld ms, remove %lld ms, shuffle %lld ms, replace %lld ms\n", round,
                    static_cast<long long>(redownload.back()), static_cast<long long>(remove.back()),
                    static_cast<long long>(shuffle.back()), static_cast<long long>(replace.back()));
        std::fflush(stdout);
    }
    std::printf("list ops %d: redownload %lld ms, remove %lld ms, shuffle %lld ms, replace %lld ms\n", items,
                static_cast<long long>(median(redownload)), static_cast<long long>(median(remove)),
                static_cast<long long>(median(shuffle)), static_cast<long long>(median(replace)));
    delete window;
    return 0;
}
