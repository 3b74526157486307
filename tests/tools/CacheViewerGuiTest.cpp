// The cache viewer window over cache folders written in the engine's layout
// and over users' cache folders made for the test.
#include "support/CacheEntries.h"
#include "support/QtPrinters.h"
#include "tools/CacheListModel.h"
#include "tools/CacheViewerWindow.h"
#include "tools/CopyMoveWindow.h"
#include "util/Messages.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

using namespace dh;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void touch(const QString &path, const QByteArray &bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class CacheViewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        m_cache = m_temp.filePath(QStringLiteral("webengine"));
        m_export = m_temp.filePath(QStringLiteral("export"));
        m_window = std::make_unique<CacheViewerWindow>();
        m_window->SetCache(BrowserCache(m_cache, m_export));
        m_window->SetUserHomes({});
        Messages::Clear();
    }
    void TearDown() override {
        Messages::SetModalHook({});
        Messages::Clear();
    }

    QString entry(const QString &address, const QByteArray &body, const QList<QByteArray> &headers = {}) {
        return test::WriteCacheEntry(m_cache, address, body, headers);
    }
    void click(const char *name) { m_window->findChild<QPushButton *>(QString::fromUtf8(name))->click(); }
    CacheListModel *model() const { return m_window->Model(); }
    QTreeView *list() const { return m_window->findChild<QTreeView *>(QStringLiteral("ListView1")); }
    QString label() const { return m_window->findChild<QLabel *>(QStringLiteral("Label1"))->text(); }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < model()->Count(); ++r)
            out << model()->data(model()->index(r, c)).toString();
        return out;
    }
    void select(const QList<int> &rows) {
        list()->clearSelection();
        for (int r : rows)
            list()->selectionModel()->select(model()->index(r, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    int rowOf(const QString &url) const { return int(column(CacheListModel::UrlColumn).indexOf(url)); }

    QTemporaryDir m_temp;
    QString m_cache;
    QString m_export;
    std::unique_ptr<CacheViewerWindow> m_window;
};

} // namespace

TEST_F(CacheViewer, MyCacheListsEntriesWithTypeSizeAndFileAndSortsSizesAsNumbers) {
    entry(QStringLiteral("http://h/nine.pdf?x=1#top"), QByteArray(9, 'n'));
    entry(QStringLiteral("http://h/ten.aspx?id=7"), QByteArray(10, 't'));
    entry(QStringLiteral("http://h/hundred.htm"), QByteArray(100, 'h'));
    entry(QStringLiteral("http://h/moved"), {}, {}); // an empty 200 body is still a file
    const QString redirect = QStringLiteral("http://h/redirect");
    test::WriteCacheEntry(m_cache, redirect, {}, {"Location: /x"}, 302);
    touch(m_cache + QStringLiteral("/Cache/Cache_Data/ffffffffffffffff_0"), "not an entry");
    touch(m_cache + QStringLiteral("/Cache/Cache_Data/index"), "index");

    click("Command1");
    EXPECT_EQ(label(), QStringLiteral("共有5 个文件"));
    EXPECT_EQ(m_window->ListMode(), QStringLiteral("我的缓存"));
    EXPECT_EQ(list()->property("Tag").toString(), QStringLiteral("我的缓存"));
    const int nine = rowOf(QStringLiteral("http://h/nine.pdf?x=1#top"));
    ASSERT_GE(nine, 0);
    EXPECT_EQ(model()->Row(nine).type, QStringLiteral("pdf"));
    EXPECT_EQ(model()->Row(nine).size, QStringLiteral("9"));
    EXPECT_EQ(QFileInfo(model()->Row(nine).filePath).fileName(), QStringLiteral("nine.pdf"));
    EXPECT_TRUE(model()->Row(nine).filePath.startsWith(m_export));
    EXPECT_EQ(model()->Row(rowOf(QStringLiteral("http://h/ten.aspx?id=7"))).type, QStringLiteral("aspx"));
    EXPECT_EQ(model()->Row(rowOf(QStringLiteral("http://h/moved"))).size, QStringLiteral("0"));
    // A redirect has no document: no file, no size.
    EXPECT_TRUE(model()->Row(rowOf(redirect)).filePath.isEmpty());
    EXPECT_TRUE(model()->Row(rowOf(redirect)).size.isEmpty());

    // The first click sorts descending, the next ascending; numbers, not text.
    list()->header()->sectionClicked(CacheListModel::SizeColumn);
    EXPECT_EQ(
        column(CacheListModel::SizeColumn).mid(0, 4),
        (QStringList{QStringLiteral("100"), QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("0")}));
    list()->header()->sectionClicked(CacheListModel::SizeColumn);
    EXPECT_EQ(column(CacheListModel::SizeColumn),
              (QStringList{QString(), QStringLiteral("0"), QStringLiteral("9"), QStringLiteral("10"),
                           QStringLiteral("100")}));
    list()->header()->sectionClicked(CacheListModel::TypeColumn);
    EXPECT_EQ(column(CacheListModel::TypeColumn).first(), QStringLiteral("pdf"));
}

TEST_F(CacheViewer, DeleteSelectedTakesExactlyThoseRowsAndNeverCookies) {
    QStringList files;
    for (const char *a :
         {"http://h/a.pdf", "http://h/Cookie:user@h/", "http://h/b.pdf", "http://h/c.pdf", "http://h/d.pdf"})
        files << entry(QString::fromLatin1(a), QByteArray("body ") + a);
    click("Command1");
    ASSERT_EQ(model()->Count(), 5);
    // Every row's file is written out, so deleting must remove it too.
    for (int r = 0; r < model()->Count(); ++r)
        ASSERT_FALSE(BrowserCache(m_cache, m_export).Materialize(model()->Row(r).url).isEmpty());
    const int last = model()->Count() - 1;
    const QString lastUrl = model()->Row(last).url;
    const QString lastFile = model()->Row(last).filePath;
    const QString cookieFile = model()->Row(rowOf(QStringLiteral("http://h/Cookie:user@h/"))).filePath;
    ASSERT_NE(lastUrl, QStringLiteral("http://h/Cookie:user@h/"));
    const QString first = model()->Row(0).url == QStringLiteral("http://h/Cookie:user@h/")
                              ? model()->Row(1).url
                              : model()->Row(0).url;
    select({rowOf(first), last, rowOf(QStringLiteral("http://h/Cookie:user@h/"))});
    click("Command2");

    const QStringList left = column(CacheListModel::UrlColumn);
    EXPECT_EQ(left.size(), 3);
    EXPECT_FALSE(left.contains(first));
    EXPECT_FALSE(left.contains(lastUrl));
    EXPECT_TRUE(left.contains(QStringLiteral("http://h/Cookie:user@h/")));
    EXPECT_FALSE(QFileInfo::exists(lastFile));
    EXPECT_TRUE(QFileInfo::exists(cookieFile));
    EXPECT_EQ(label(), QStringLiteral("共有3 个文件"));

    // Delete all: the cookie entry stays, and the refresh is of my cache.
    click("Command3");
    EXPECT_EQ(column(CacheListModel::UrlColumn), QStringList{QStringLiteral("http://h/Cookie:user@h/")});
    EXPECT_EQ(m_window->ListMode(), QStringLiteral("我的缓存"));
    int entryFiles = 0;
    for (const QString &f : files)
        entryFiles += QFileInfo::exists(f);
    EXPECT_EQ(entryFiles, 1);
}

TEST_F(CacheViewer, AllUsersListsTheirFilesKeepsTextFilesAndStaysInside) {
    const QString ann = m_temp.filePath(QStringLiteral("home/ann"));
    const QString bob = m_temp.filePath(QStringLiteral("home/bob"));
    // ProgramCacheSubPaths() names the test's own cache folder below its home.
    const QString annCache = QDir::cleanPath(ann + QLatin1Char('/') + ProgramCacheSubPaths().first());
    const QString bobCache = QDir::cleanPath(bob + QLatin1Char('/') + ProgramCacheSubPaths().first());
    touch(annCache + QStringLiteral("/webengine/Cache/page.htm"));
    touch(annCache + QStringLiteral("/webengine/Cache/notes.txt"));
    touch(annCache + QStringLiteral("/export/0123456789abcdef/report.pdf"), QByteArray(1234, 'p'));
    touch(bobCache + QStringLiteral("/a.HTM"));
    QDir().mkpath(ann + QStringLiteral("/Documents"));
    touch(ann + QStringLiteral("/Documents/own.htm"));
    QTemporaryDir outside;
    touch(outside.filePath(QStringLiteral("secret.htm")));
    ASSERT_TRUE(QFile::link(outside.path(), annCache + QStringLiteral("/webengine/linked")));
    ASSERT_TRUE(
        QFile::link(outside.filePath(QStringLiteral("secret.htm")), bobCache + QStringLiteral("/link.htm")));
    m_window->SetUserHomes({{QStringLiteral("ann"), ann}, {QStringLiteral("bob"), bob}});

    click("Command7");
    EXPECT_EQ(m_window->ListMode(), QStringLiteral("所有缓存"));
    auto *users = m_window->findChild<QTreeWidget *>(QStringLiteral("ListView2"));
    ASSERT_EQ(users->topLevelItemCount(), 2);
    EXPECT_EQ(users->topLevelItem(0)->text(0), QStringLiteral("ann"));
    EXPECT_EQ(users->topLevelItem(1)->text(1),
              QDir::toNativeSeparators(QFileInfo(bobCache).canonicalFilePath()));
    EXPECT_GT(m_window->findChild<QTreeWidget *>(QStringLiteral("ListView3"))->topLevelItemCount(), 3);
    ASSERT_EQ(model()->Count(), 6);
    EXPECT_EQ(label(), QStringLiteral("共有6 个文件"));
    const int report =
        int(column(CacheListModel::PathColumn)
                .indexOf(QDir::toNativeSeparators(QFileInfo(annCache).canonicalFilePath() +
                                                  QStringLiteral("/export/0123456789abcdef/report.pdf"))));
    ASSERT_GE(report, 0);
    EXPECT_EQ(model()->Row(report).url, QStringLiteral("用户:ann"));
    EXPECT_EQ(model()->Row(report).type, QStringLiteral("pdf"));
    EXPECT_EQ(model()->Row(report).size, QStringLiteral("1234"));

    click("Command3");
    // Only the text file stays; links went, not what they point at; emptied folders went.
    EXPECT_EQ(m_window->ListMode(), QStringLiteral("所有缓存"));
    EXPECT_EQ(column(CacheListModel::TypeColumn), QStringList{QStringLiteral("txt")});
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("secret.htm"))));
    EXPECT_TRUE(QFileInfo::exists(ann + QStringLiteral("/Documents/own.htm")));
    EXPECT_FALSE(QFileInfo::exists(annCache + QStringLiteral("/export")));
    EXPECT_TRUE(QFileInfo::exists(annCache + QStringLiteral("/webengine/Cache/notes.txt")));
}

// A user who swaps her cache folder for a link to another folder between the
// listing and 删除所有 makes the program delete nothing there, even run by root.
TEST_F(CacheViewer, ACacheFolderSwappedForALinkAfterListingLosesNothingElsewhere) {
    const QString ann = m_temp.filePath(QStringLiteral("home/ann"));
    const QString annCache = QDir::cleanPath(ann + QLatin1Char('/') + ProgramCacheSubPaths().first());
    QTemporaryDir elsewhere;
    for (const QString &root : {annCache, elsewhere.path()}) {
        touch(root + QStringLiteral("/shadow"), "secret");
        touch(root + QStringLiteral("/ssh/key.pem"), "secret");
    }
    m_window->SetUserHomes({{QStringLiteral("ann"), ann}});
    click("Command7");
    ASSERT_EQ(model()->Count(), 2);

    ASSERT_TRUE(QDir(annCache).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere.path(), annCache));
    click("Command3");
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath(QStringLiteral("shadow"))));
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath(QStringLiteral("ssh/key.pem"))));
    EXPECT_TRUE(QFileInfo(elsewhere.filePath(QStringLiteral("ssh"))).isDir());
}

TEST_F(CacheViewer, CopySelectedHandsOverDecodedFilesAndCountsThem) {
    const QByteArray page = QByteArray("<html><body>") + QByteArray(5000, 'z') + "</body></html>";
    entry(QStringLiteral("https://h/packed/page.html"), test::BrotliBytes(page), {"Content-Encoding: br"});
    entry(QStringLiteral("https://h/zipped.html"), test::GzipBytes(page), {"Content-Encoding: gzip"});
    entry(QStringLiteral("https://h/broken.html"), QByteArray("not gzip at all"), {"Content-Encoding: gzip"});
    click("Command1");
    ASSERT_EQ(model()->Count(), 3);
    // Sizes as stored: listing inflates nothing.
    EXPECT_EQ(model()->Row(rowOf(QStringLiteral("https://h/packed/page.html"))).size,
              QString::number(test::BrotliBytes(page).size()));
    EXPECT_EQ(model()->Row(rowOf(QStringLiteral("https://h/zipped.html"))).size,
              QString::number(test::GzipBytes(page).size()));

    // No rows selected: the copy window opens with none.
    QString caption;
    QStringList sources;
    Messages::SetModalHook([&](QDialog *d) {
        caption = d->windowTitle();
        sources = static_cast<CopyMoveWindow *>(d)->Sources();
        EXPECT_EQ(d->objectName(), QStringLiteral("Form_Copy_Move"));
        return 0;
    });
    list()->clearSelection();
    click("Command6");
    EXPECT_EQ(caption, QStringLiteral("复制文件：0 个文件..."));
    EXPECT_TRUE(sources.isEmpty());

    QTemporaryDir target;
    Messages::SetModalHook([&](QDialog *d) {
        caption = d->windowTitle();
        d->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(target.path());
        d->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        return 0;
    });
    select({0, 1, 2});
    click("Command6");
    EXPECT_EQ(caption, QStringLiteral("复制文件：2 个文件..."));
    // The copied rows show their files' sizes; the body that does not decode no file.
    EXPECT_EQ(model()->Row(rowOf(QStringLiteral("https://h/zipped.html"))).size,
              QString::number(page.size()));
    EXPECT_TRUE(model()->Row(rowOf(QStringLiteral("https://h/broken.html"))).filePath.isEmpty());
    EXPECT_EQ(readAll(target.filePath(QStringLiteral("page.html"))), page);
    EXPECT_EQ(readAll(target.filePath(QStringLiteral("zipped.html"))), page);
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("复制文件完成！"));
}
