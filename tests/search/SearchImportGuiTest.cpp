// Importing list files into a search window (a fake browser view stands in).
#include "search/ListFile.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchWindow.h"
#include "support/FakeBrowserView.h"
#include "support/QtPrinters.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/SqliteDb.h"
#include "util/Wait.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace dh;

namespace {
QString lastText() {
    return Messages::Last() ? Messages::Last()->text : QString();
}
MsgIcon lastIcon() {
    return Messages::Last() ? Messages::Last()->icon : MsgIcon::None;
}
} // namespace

TEST(SearchImport, ListFilesRoundTripBetweenTheWindows) {
    Messages::Clear();
    QTemporaryDir dir;
    // A file as the scholar window writes it, with one URL twice.
    const QString scholarFile = dir.filePath(QStringLiteral("20260101120000_2.hvls"));
    {
        AutoSaveList list;
        ASSERT_TRUE(list.open(scholarFile).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/1.pdf"), QStringLiteral("一"), QStringLiteral("PDF"),
                                QString())
                        .ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/2.doc"), QStringLiteral("二"), QStringLiteral("doc"),
                                QStringLiteral("/d"))
                        .ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/1.pdf"), QStringLiteral("again"),
                                QStringLiteral("PDF"), QString())
                        .ok());
        list.close();
    }
    SearchWindow web(Engine::Web, new test::FakeBrowserView);
    web.ImportListFile(scholarFile);
    EXPECT_EQ(lastText(), QStringLiteral("导入文件到列表完成，共成功导入：2条数据。"));
    EXPECT_EQ(lastIcon(), MsgIcon::Information);
    ResultListModel *model = web.ListPanel()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->Title(0), QStringLiteral("一"));
    EXPECT_EQ(model->Folder(1), QStringLiteral("/d"));
    EXPECT_TRUE(model->State(0).isEmpty()); // not analysed yet

    // The same file again adds nothing.
    web.ImportListFile(scholarFile);
    EXPECT_EQ(lastText(), QStringLiteral("导入文件到列表完成，共成功导入：0条数据。"));
    EXPECT_EQ(model->rowCount(), 2);

    // The window's own open auto-save file is refused.
    web.ImportListFile(web.AutoSavePath());
    EXPECT_EQ(lastText(), QStringLiteral("该文件正在使用中，不能打开！"));
    EXPECT_EQ(lastIcon(), MsgIcon::Error);

    // Not a list file: an error, and nothing changes.
    const QString junk = dir.filePath(QStringLiteral("junk.hvls"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a database at all, just some bytes");
    f.close();
    web.ImportListFile(junk);
    EXPECT_EQ(lastIcon(), MsgIcon::Error);
    EXPECT_TRUE(lastText().contains(QStringLiteral("不能导入"))) << lastText().toStdString();
    EXPECT_EQ(model->rowCount(), 2);
    web.ImportListFile(dir.filePath(QStringLiteral("missing.hvls")));
    EXPECT_EQ(lastText(), QStringLiteral("文件不存在！"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing.hvls"))));
}

// A list file whose table never ends: the window stays usable, 停止 ends the
// read with a message, and the list is as it was; a folder is no list file.
TEST(SearchImport, EndlessFileIsStoppedAndAFolderRefused) {
    Messages::Clear();
    QTemporaryDir dir;
    const QString endless = dir.filePath(QStringLiteral("endless.hvls"));
    {
        SqliteDb db;
        ASSERT_TRUE(db.open(endless, SqliteDb::Open::CreateIfMissing).ok());
        ASSERT_TRUE(
            db
                .exec(QStringLiteral(
                    "CREATE VIEW 导出表 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                    "SELECT i AS id, 'http://x/' || i AS L0, 't' AS L1, '' AS L2, '' AS L3, '' AS L4 FROM n"))
                .ok());
    }
    SearchWindow web(Engine::Web, new test::FakeBrowserView);
    ResultListModel *model = web.ListPanel()->model();
    model->加入LV1(QStringLiteral("kept"), QStringLiteral("http://k/1"), QString(), QString(), QString(),
                   QString());
    auto *stop = web.findChild<QPushButton *>(QStringLiteral("Command5"));
    ASSERT_TRUE(stop);
    bool stopShown = false;
    QTimer::singleShot(300, &web, [&] {
        stopShown = stop->isVisibleTo(&web);
        stop->click();
    });
    web.ImportListFile(endless);
    EXPECT_TRUE(stopShown);
    EXPECT_EQ(lastText(), QStringLiteral("导入已停止，列表没有改变。"));
    EXPECT_EQ(lastIcon(), MsgIcon::Error);
    EXPECT_EQ(model->Count(), 1);
    EXPECT_TRUE(web.findChild<QWidget *>(QStringLiteral("PicPanPrograss"))->isHidden());

    web.ImportListFile(dir.path());
    EXPECT_EQ(lastText(), QStringLiteral("该文件不是列表数据文件，不能导入！"));
    EXPECT_EQ(model->Count(), 1);
}

TEST(SearchImport, AnEmptyAutoSaveFileIsRemovedOnClose) {
    QString path;
    {
        auto *w = new SearchWindow(Engine::Scholar, new test::FakeBrowserView);
        path = w->AutoSavePath();
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(w->close()); // deletes itself
    }
    EXPECT_FALSE(QFile::exists(path));
}

// A list file's folders are taken only below folders the user chose here;
// for the others the user is asked once. Its types are kept only when they
// are document types, never a program's.
TEST(SearchImport, FoldersAndTypesOfAListFileAreChecked) {
    Messages::Clear();
    QTemporaryDir dir;
    SearchWindow web(Engine::Web, new test::FakeBrowserView);
    const QString chosen = WithTrailingSeparator(DefaultDownloadFolder());
    const QString file = dir.filePath(QStringLiteral("hostile.hvls"));
    {
        AutoSaveList list;
        ASSERT_TRUE(list.open(file).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/1"), QStringLiteral("ok"), QStringLiteral("PDF"),
                                chosen + QStringLiteral("sub/"))
                        .ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/2"), QStringLiteral("start"),
                                QStringLiteral("desktop"), QStringLiteral("/home/victim/.config/autostart"))
                        .ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/3"), QStringLiteral("odd"), QStringLiteral("x/y"),
                                QStringLiteral("/tmp/elsewhere"))
                        .ok());
        list.close();
    }
    Messages::QueueAnswer(QStringLiteral("yes"));
    web.ImportListFile(file);
    ResultListModel *model = web.ListPanel()->model();
    ASSERT_EQ(model->rowCount(), 3);
    ASSERT_GE(Messages::Shown().size(), 2);
    EXPECT_EQ(Messages::Shown()[0].text,
              QStringLiteral("列表文件中有2行的保存路径不是常用文件夹（如 "
                             "/home/victim/.config/autostart），是否改为当前保存路径？"));
    EXPECT_EQ(Messages::Shown()[0].icon, MsgIcon::Question);
    EXPECT_EQ(model->Folder(0), chosen + QStringLiteral("sub/"));
    EXPECT_FALSE(model->Folder(1).contains(QLatin1String("autostart")));
    EXPECT_EQ(model->Folder(1), model->Folder(2));
    EXPECT_EQ(model->Type(0), QStringLiteral("PDF"));
    EXPECT_TRUE(model->Type(1).isEmpty()) << "no program type from a list";
    EXPECT_TRUE(model->Type(2).isEmpty());

    // 否 keeps the folders as the file names them; the types stay refused.
    model->Clear();
    Messages::Clear();
    Messages::QueueAnswer(QStringLiteral("no"));
    web.ImportListFile(file);
    EXPECT_EQ(model->Folder(1), QStringLiteral("/home/victim/.config/autostart"));
    EXPECT_TRUE(model->Type(1).isEmpty());
}

// 网页源码保存到... over an existing file: when the write fails half way (the
// file-size limit of the process stands in for a full disk) the old file
// stays whole; a write that works replaces it.
TEST(SearchPageSource, AFailedWriteLeavesTheOldFile) {
    Messages::Clear();
    QTemporaryDir dir;
    auto *view = new test::FakeBrowserView;
    test::FakePage page;
    page.snapshot.html =
        QStringLiteral("<html><body>") + QString(4000, QLatin1Char('x')) + QStringLiteral("</body></html>");
    view->AddPage(QStringLiteral("http://page.example/"), page);
    SearchWindow web(Engine::Web, view);
    view->Navigate(QStringLiteral("http://page.example/"));
    ASSERT_TRUE(WaitUntil([&] { return !view->IsBusy(); }, 2000));
    const QString target = dir.filePath(QStringLiteral("page.htm"));
    const QByteArray old(1000, 'o');
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QAction *save = web.findChild<QAction *>(QStringLiteral("menu网页源码保存到"));
    ASSERT_NE(save, nullptr);

    struct rlimit was {};
    getrlimit(RLIMIT_FSIZE, &was);
    struct rlimit small = was;
    small.rlim_cur = 2000;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Messages::QueueAnswer(target);
    save->trigger();
    setrlimit(RLIMIT_FSIZE, &was);
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), old);
    kept.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("page.htm")});

    Messages::QueueAnswer(target);
    save->trigger();
    EXPECT_TRUE(Messages::Last()->text.startsWith(QStringLiteral("保存文件完毕：")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), page.snapshot.html.toUtf8());
}
