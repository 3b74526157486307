// Importing list files into a search window (a fake browser view stands in).
#include "search/ListFile.h"
#include "search/ResultListModel.h"
#include "search/ResultListPanel.h"
#include "search/SearchWindow.h"
#include "support/FakeBrowserView.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {
QString lastText() { return Messages::Last() ? Messages::Last()->text : QString(); }
MsgIcon lastIcon() { return Messages::Last() ? Messages::Last()->icon : MsgIcon::None; }
} // namespace

TEST(SearchImport, ListFilesRoundTripBetweenTheWindows)
{
    Messages::Clear();
    QTemporaryDir dir;
    // A file as the scholar window writes it, with one URL twice.
    const QString scholarFile = dir.filePath(QStringLiteral("20260101120000_2.hvls"));
    {
        AutoSaveList list;
        ASSERT_TRUE(list.open(scholarFile).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/1.pdf"), QStringLiteral("一"), QStringLiteral("PDF"), QString()).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/2.doc"), QStringLiteral("二"), QStringLiteral("doc"), QStringLiteral("/d")).ok());
        ASSERT_TRUE(list.append(QStringLiteral("http://x/1.pdf"), QStringLiteral("again"), QStringLiteral("PDF"), QString()).ok());
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

TEST(SearchImport, AnEmptyAutoSaveFileIsRemovedOnClose)
{
    QString path;
    {
        auto *w = new SearchWindow(Engine::Scholar, new test::FakeBrowserView);
        path = w->AutoSavePath();
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(w->close()); // deletes itself
    }
    EXPECT_FALSE(QFile::exists(path));
}
