// The list menu's operations over a real list and real files.
#include "download/ListOperations.h"
#include "support/QtPrinters.h"
#include "util/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace dh {
namespace {

class ListOperations : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QStringLiteral("/");
    }

    // A row in the given state with its columns; returns its row.
    int Add(const QString &key, const QString &name, const QString &type, ItemState state,
            const QString &size = {}, const QString &received = {}, const QString &percent = {}) {
        m_model.加入下载列表(key, name, type, m_folder, QStringLiteral("http://ref/") + name);
        const int row = m_model.RowOfKey(key);
        DownloadItem item = m_model.Item(row);
        item.name = name; // the file-name mode may have named it after the address
        item.state = state;
        item.size = size;
        item.received = received;
        item.percent = percent;
        m_model.SetItem(row, item);
        return row;
    }
    // A finished download with its file on disk.
    int AddDone(const QString &key, const QString &name, const QString &type, qint64 bytes = 100) {
        const int row = Add(key, name, type, ItemState::Done, QString::number(bytes), QString::number(bytes),
                            ResultText::Complete);
        Write(name + QLatin1Char('.') + type, bytes);
        return row;
    }
    void Write(const QString &file, qint64 bytes) const {
        QFile f(m_folder + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    }
    bool Exists(const QString &file) const { return QFile::exists(m_folder + file); }
    const DownloadItem &Item(int row) const { return m_model.Item(row); }
    RowFlags Flags(std::initializer_list<int> rows) const {
        RowFlags flags(size_t(m_model.Count()), false);
        for (const int row : rows)
            flags[size_t(row)] = true;
        return flags;
    }
    void ExpectRequeued(int row) const {
        EXPECT_EQ(Item(row).state, ItemState::Waiting);
        EXPECT_TRUE(Item(row).size.isEmpty() && Item(row).received.isEmpty() && Item(row).percent.isEmpty());
    }

    QTemporaryDir m_dir;
    QString m_folder;
    DownloadListModel m_model;
};

// Which items each re-download entry takes, what it does to them, and which
// files go: only a file the item itself downloaded.
TEST_F(ListOperations, RedownloadSetsMarkerAndFiles) {
    const int failedHtml = Add(QStringLiteral("a|b"), QStringLiteral("页"), QStringLiteral("html"), ItemState::Failed,
                               QStringLiteral("下载失败"));
    Write(QStringLiteral("页.html"), 10); // the user's own file: a failed transfer leaves nothing
    const int doneHtm = AddDone(QStringLiteral("h1|h2|h3"), QStringLiteral("登录"), QStringLiteral("htm"));
    const int doneXml = AddDone(QStringLiteral("x"), QStringLiteral("feed"), QStringLiteral("xml"));
    const int donePdf = AddDone(QStringLiteral("p"), QStringLiteral("文"), QStringLiteral("pdf"));
    const int skipped = Add(QStringLiteral("s"), QStringLiteral("旧"), QStringLiteral("pdf"), ItemState::Done, {}, {},
                            ResultText::ExistsSkipped);
    Write(QStringLiteral("旧.pdf"), 10);
    const int waitingHtm = Add(QStringLiteral("w"), QStringLiteral("等"), QStringLiteral("htm"), ItemState::Waiting);

    EXPECT_EQ(RedownloadFailed(m_model), 1);
    ExpectRequeued(failedHtml);
    EXPECT_EQ(Item(failedHtml).type, QStringLiteral("xxx"));
    EXPECT_EQ(Item(failedHtml).key, QStringLiteral("b|a"));
    EXPECT_EQ(m_model.RowOfKey(QStringLiteral("b|a")), failedHtml);
    EXPECT_FALSE(m_model.ContainsKey(QStringLiteral("a|b")));
    EXPECT_TRUE(Exists(QStringLiteral("页.html"))) << "a file a failed item did not write stays";

    // Failed again; the combined entry takes it and the finished htm, not the finished xml.
    m_model.SetState(failedHtml, ItemState::Failed);
    EXPECT_EQ(RedownloadFailedAndWebPages(m_model), 2);
    EXPECT_EQ(Item(failedHtml).key, QStringLiteral("a|b"));
    EXPECT_EQ(Item(doneHtm).type, QStringLiteral("xxx"));
    EXPECT_EQ(Item(doneHtm).key, QStringLiteral("h3|h1|h2"));
    EXPECT_FALSE(Exists(QStringLiteral("登录.htm"))) << "the page it downloaded goes";
    EXPECT_EQ(Item(doneXml).state, ItemState::Done);
    EXPECT_EQ(Item(doneXml).type, QStringLiteral("xml"));

    // The web-page entry takes the finished xml and writes "xxx"; not a waiting htm.
    EXPECT_EQ(RedownloadWebPages(m_model), 1);
    ExpectRequeued(doneXml);
    EXPECT_EQ(Item(doneXml).type, QStringLiteral("xxx"));
    EXPECT_FALSE(Exists(QStringLiteral("feed.xml")));
    EXPECT_EQ(Item(waitingHtm).type, QStringLiteral("htm"));

    // Selected: only ended items; a pdf keeps its type; a skipped item's
    // file was there before the item and stays.
    m_model.SetState(waitingHtm, ItemState::Downloading);
    EXPECT_EQ(RedownloadSelected(m_model, Flags({donePdf, skipped, waitingHtm, doneXml})), 2);
    ExpectRequeued(donePdf);
    EXPECT_EQ(Item(donePdf).type, QStringLiteral("pdf"));
    EXPECT_FALSE(Exists(QStringLiteral("文.pdf")));
    ExpectRequeued(skipped);
    EXPECT_TRUE(Exists(QStringLiteral("旧.pdf")));
    EXPECT_EQ(Item(waitingHtm).state, ItemState::Downloading);
    EXPECT_EQ(m_model.StatusSummary(), QStringLiteral("总数:6 正在下载:1 等待:5 已完成:0 失败:0"));
}

// A rotated key that another row holds is not taken: keys stay unique.
TEST_F(ListOperations, RotationNeverDuplicatesAKey) {
    const int a = Add(QStringLiteral("u|v"), QStringLiteral("a"), QStringLiteral("pdf"), ItemState::Failed);
    const int b = Add(QStringLiteral("v|u"), QStringLiteral("b"), QStringLiteral("pdf"), ItemState::Done);
    const int c = Add(QStringLiteral("a|b|c"), QStringLiteral("c"), QStringLiteral("pdf"), ItemState::Failed);
    const int d = Add(QStringLiteral("b|c|a"), QStringLiteral("d"), QStringLiteral("pdf"), ItemState::Failed);
    EXPECT_EQ(RedownloadFailed(m_model), 3);
    EXPECT_EQ(Item(a).key, QStringLiteral("u|v")) << "v|u belongs to another row";
    EXPECT_EQ(Item(b).key, QStringLiteral("v|u"));
    // c moves on first; the key it left is free for d.
    EXPECT_EQ(Item(c).key, QStringLiteral("c|a|b"));
    EXPECT_EQ(Item(d).key, QStringLiteral("a|b|c"));
    std::set<QString> keys;
    for (int row = 0; row < m_model.Count(); ++row)
        keys.insert(Item(row).key);
    EXPECT_EQ(int(keys.size()), m_model.Count());
    for (int row = 0; row < m_model.Count(); ++row)
        EXPECT_EQ(m_model.RowOfKey(Item(row).key), row);
}

// The two smaller-than entries: re-download compares bytes, delete compares KB.
TEST_F(ListOperations, SmallerThanEntriesUseTheirOwnUnits) {
    const int commas = Add(QStringLiteral("1"), QStringLiteral("c"), QStringLiteral("pdf"), ItemState::Done,
                           QStringLiteral("4,096"), QStringLiteral("4,096"), ResultText::Complete);
    const int partial = Add(QStringLiteral("2"), QStringLiteral("p"), QStringLiteral("pdf"), ItemState::Failed,
                            QStringLiteral("4096"), QStringLiteral("2048"));
    const int waiting = Add(QStringLiteral("3"), QStringLiteral("w"), QStringLiteral("pdf"), ItemState::Waiting,
                            QStringLiteral("10"), QStringLiteral("10"));
    const int big = AddDone(QStringLiteral("4"), QStringLiteral("big"), QStringLiteral("pdf"), 6000);
    EXPECT_EQ(RedownloadSmallerThan(m_model, 5000), 1);
    ExpectRequeued(commas);
    EXPECT_EQ(Item(partial).state, ItemState::Failed);
    EXPECT_EQ(Item(waiting).size, QStringLiteral("10"));
    EXPECT_EQ(Item(big).state, ItemState::Done);

    const int two = AddDone(QStringLiteral("5"), QStringLiteral("two"), QStringLiteral("pdf"), 2048);
    const int three = AddDone(QStringLiteral("6"), QStringLiteral("three"), QStringLiteral("pdf"), 3072);
    EXPECT_EQ(DeleteFilesSmallerThan(m_model, 3), 2) << "2 KB, and the waiting row's 10 bytes";
    EXPECT_FALSE(Exists(QStringLiteral("two.pdf")));
    ExpectRequeued(two);
    EXPECT_TRUE(Exists(QStringLiteral("three.pdf"))) << "exactly 3 KB is not smaller";
    EXPECT_EQ(Item(three).state, ItemState::Done);
    EXPECT_EQ(Item(partial).state, ItemState::Failed) << "4 KB";
    ExpectRequeued(waiting);

    EXPECT_EQ(ParseNumber(QStringLiteral(" 12.5 ")), 12.5);
    EXPECT_FALSE(ParseNumber(QStringLiteral("abc")));
    EXPECT_FALSE(ParseNumber(QString()));
    EXPECT_FALSE(ParseNumber(QStringLiteral("inf")));
}

// The delete entries empty their rows' columns; only the item's own file
// goes, and never a folder.
TEST_F(ListOperations, DeleteEntries) {
    const int page = AddDone(QStringLiteral("1"), QStringLiteral("page"), QStringLiteral("html"));
    const int failed = Add(QStringLiteral("2"), QStringLiteral("bad"), QStringLiteral("pdf"), ItemState::Failed,
                           QStringLiteral("下载失败"), QStringLiteral("5"), QStringLiteral("1%"));
    Write(QStringLiteral("bad.pdf"), 5);
    const int selected = AddDone(QStringLiteral("3"), QStringLiteral("sel"), QStringLiteral("doc"));
    const int folderItem = Add(QStringLiteral("4"), QString(), QString(), ItemState::Done, QStringLiteral("1"),
                               QStringLiteral("1"), ResultText::Complete);

    EXPECT_EQ(DeleteWebPageFiles(m_model), 1);
    EXPECT_FALSE(Exists(QStringLiteral("page.html")));
    EXPECT_EQ(Item(page).state, ItemState::Done);
    EXPECT_TRUE(Item(page).percent.isEmpty());

    EXPECT_EQ(DeleteFailedFiles(m_model), 1);
    EXPECT_EQ(Item(failed).state, ItemState::Failed);
    EXPECT_TRUE(Item(failed).size.isEmpty() && Item(failed).percent.isEmpty());
    EXPECT_TRUE(Exists(QStringLiteral("bad.pdf")));

    const int running = Add(QStringLiteral("5"), QStringLiteral("run"), QStringLiteral("pdf"), ItemState::Downloading,
                            QStringLiteral("900"), QStringLiteral("100"), QStringLiteral("11%"));
    EXPECT_EQ(DeleteSelectedFiles(m_model, Flags({selected, folderItem, running})), 2);
    EXPECT_EQ(Item(running).state, ItemState::Downloading) << "its transfer goes on with it";
    EXPECT_EQ(Item(running).percent, QStringLiteral("11%"));
    EXPECT_FALSE(Exists(QStringLiteral("sel.doc")));
    ExpectRequeued(selected);
    ExpectRequeued(folderItem);
    EXPECT_TRUE(QDir(m_folder).exists()) << "an item without name or type names its folder";
}

TEST_F(ListOperations, ShuffleKeepsEveryRow) {
    for (int i = 0; i < 200; ++i)
        Add(QString::number(i), QStringLiteral("n%1").arg(i), QStringLiteral("pdf"),
            i % 4 == 0 ? ItemState::Failed : ItemState::Waiting, QString::number(i));
    QRandomGenerator random(7);
    ShuffleList(m_model, random);
    ASSERT_EQ(m_model.Count(), 200);
    int moved = 0;
    for (int row = 0; row < 200; ++row) {
        const int i = Item(row).key.toInt();
        moved += i != row;
        EXPECT_EQ(Item(row).name + Item(row).size, QStringLiteral("n%1%1").arg(i));
        EXPECT_EQ(m_model.RowOfKey(Item(row).key), row);
    }
    EXPECT_GT(moved, 150);
    EXPECT_EQ(m_model.CountInState(ItemState::Failed), 50);
}

// Replacement ignores letter case in keys and referrers; a row whose new
// key another row holds keeps its old one.
TEST_F(ListOperations, ReplaceInAddresses) {
    const int a = Add(QStringLiteral("http://OLD.example/a.pdf|http://old.example/b.pdf"), QStringLiteral("a"),
                      QStringLiteral("pdf"), ItemState::Waiting);
    m_model.SetReferrer(a, QStringLiteral("http://Old.Example/list"));
    const int upper = Add(QStringLiteral("http://OLD.example/x.pdf"), QStringLiteral("x"), QStringLiteral("pdf"),
                          ItemState::Waiting);
    const int taken = Add(QStringLiteral("http://new.example/x.pdf"), QStringLiteral("y"), QStringLiteral("pdf"),
                          ItemState::Waiting);
    // t -> tt: "t" would take "tt" from the next row, which moves on to "tttt".
    const int t1 = Add(QStringLiteral("t"), QStringLiteral("t1"), QStringLiteral("pdf"), ItemState::Waiting);
    const int t2 = Add(QStringLiteral("tt"), QStringLiteral("t2"), QStringLiteral("pdf"), ItemState::Waiting);

    ReplaceResult r = ReplaceInAddresses(m_model, QStringLiteral("old.EXAMPLE"), QStringLiteral("new.example"));
    EXPECT_EQ(Item(a).key, QStringLiteral("http://new.example/a.pdf|http://new.example/b.pdf"));
    EXPECT_EQ(Item(a).referrer, QStringLiteral("http://new.example/list"));
    EXPECT_EQ(Item(upper).key, QStringLiteral("http://OLD.example/x.pdf")) << "its new key is another row's";
    EXPECT_EQ(Item(upper).referrer, QStringLiteral("http://ref/x"));
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(r.changed, 1);

    r = ReplaceInAddresses(m_model, QStringLiteral("T"), QStringLiteral("tt"));
    EXPECT_EQ(r.kept, 0);
    EXPECT_EQ(Item(t1).key, QStringLiteral("tt"));
    EXPECT_EQ(Item(t2).key, QStringLiteral("tttt"));
    EXPECT_EQ(Item(taken).key, QStringLiteral("http://new.example/x.pdf").replace(QLatin1Char('t'), QStringLiteral("tt")));

    // A chain: "aab" cannot become "aa" (another row's), so it keeps "aab",
    // which "aabb" wanted: that one keeps its key too.
    DownloadListModel chain;
    for (const char *key : {"aabb", "aab", "aa"})
        chain.加入下载列表(QString::fromUtf8(key), {}, {}, m_folder, {});
    r = ReplaceInAddresses(chain, QStringLiteral("AB"), QStringLiteral("a"));
    EXPECT_EQ(r.kept, 2);
    EXPECT_EQ(r.changed, 0);
    EXPECT_EQ(chain.Item(0).key, QStringLiteral("aabb"));
    EXPECT_EQ(chain.Item(1).key, QStringLiteral("aab"));
    for (int row = 0; row < chain.Count(); ++row)
        EXPECT_EQ(chain.RowOfKey(chain.Item(row).key), row);
}

} // namespace
} // namespace dh
