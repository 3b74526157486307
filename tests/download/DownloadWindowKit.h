#pragma once
// A download window over a throw-away folder and the local test server, for
// the end-to-end tests of the two transfer methods.
#include "download/DownloadWindow.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dh::test {

class DownloadWindowKit {
public:
    void Open(int method, int threads = 1) {
        ASSERT_TRUE(server.Start());
        Shared().fileMaxSize = 10;
        window = new DownloadWindow;
        window->SetMethod(method);
        if (method == 2)
            Control<QComboBox>("Combo1")->setCurrentIndex(threads - 1);
        folder = dir.path() + QStringLiteral("/in/");
        QDir().mkpath(folder);
    }
    void Close() {
        if (window) {
            Messages::QueueAnswer(QStringLiteral("yes"));
            window->close();
        }
        Clock::SetSpeed(1);
        Shared().fileMaxSize = 10;
    }

    template <class T> T *Control(const char *name) const {
        T *control = window->findChild<T *>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    // 1 skip, 2 overwrite, 3 rename
    void SetRule(int option) const {
        Control<QRadioButton>(option == 1   ? "Option1"
                              : option == 2 ? "Option2"
                                            : "Option3")
            ->setChecked(true);
    }

    int Add(const QString &url, const QString &title, const QString &type,
            const QString &referrer = {}) const {
        DownloadListModel *m = window->Model();
        m->加入下载列表(url, title, type, folder, referrer);
        return m->RowOfKey(url);
    }
    int AddDocument(const QString &path, const DocumentOptions &doc, const QString &title,
                    const QString &type = QStringLiteral("pdf")) {
        server.AddDocument(path, doc);
        return Add(server.DocumentUrl(path), title, type);
    }
    const DownloadItem &Item(int row) const { return window->Model()->Item(row); }

    // No transfer runs and every item has ended.
    bool Idle() const {
        return !window->Scheduler()->TransfersRunning() && window->Model()->检测是否下载列表完毕();
    }
    bool RunAll(qint64 maxMs = 20000) {
        window->StartDownloading();
        return WaitUntil([&] { return Idle(); }, maxMs);
    }

    // Every file under the temporary folder, relative to it, hidden ones too.
    QStringList Files() const {
        QStringList files;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(dir.path()).relativeFilePath(it.next());
        files.sort();
        return files;
    }
    void Write(const QString &name, const QByteArray &bytes) const {
        QFile file(folder + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray Read(const QString &name) const {
        QFile file(folder + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    TestServer server;
    QTemporaryDir dir;
    QString folder;
    QPointer<DownloadWindow> window;
};

} // namespace dh::test
