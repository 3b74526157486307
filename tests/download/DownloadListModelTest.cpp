#include "download/DownloadListModel.h"
#include "support/QtPrinters.h"
#include "util/Settings.h"

#include <QDir>
#include <QIcon>
#include <QSet>
#include <gtest/gtest.h>

using namespace dh;

namespace {

const QString kFolder = QDir::toNativeSeparators(QStringLiteral("/downloads/"));

void Add(DownloadListModel &model, const QString &key, const QString &title = QStringLiteral("t"),
         const QString &type = QStringLiteral("pdf")) {
    model.加入下载列表(key, title, type, kFolder, QString());
}

QStringList Column(const DownloadListModel &model, DownloadListModel::Column column) {
    QStringList texts;
    for (int row = 0; row < model.Count(); ++row)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

// A list whose given column holds the texts, one row each.
void Fill(DownloadListModel &model, DownloadListModel::Column column, const QStringList &texts) {
    for (const QString &text : texts) {
        Add(model, QStringLiteral("http://h/%1").arg(model.Count()));
        model.SetText(model.Count() - 1, column, text);
    }
}

class SharedValuesGuard {
public:
    SharedValuesGuard() : m_saved(Shared()) {}
    ~SharedValuesGuard() { Shared() = m_saved; }

private:
    SharedValues m_saved;
};

} // namespace

TEST(DownloadList, AddressHelpers) {
    EXPECT_EQ(选择url(QStringLiteral("a|b|c")), QStringLiteral("a"));
    EXPECT_EQ(选择url(QStringLiteral("a")), QStringLiteral("a"));
    EXPECT_EQ(选择url(QStringLiteral("|b")), QString());
    EXPECT_EQ(对调url(QStringLiteral("a|b")), QStringLiteral("b|a"));
    EXPECT_EQ(对调url(QStringLiteral("a|b|c")), QStringLiteral("c|a|b"));
    EXPECT_EQ(对调url(QStringLiteral("a|b|c|d")), QStringLiteral("a|b|c|d"));
    EXPECT_EQ(对调url(QStringLiteral("a")), QStringLiteral("a"));
    EXPECT_EQ(对调url(QString()), QString());
}

TEST(DownloadList, DuplicateKeysAreAbsorbed) {
    DownloadListModel model;
    EXPECT_TRUE(model.加入下载列表(QStringLiteral("http://h/a.pdf"), QStringLiteral("first"),
                                   QStringLiteral("pdf"), kFolder, QString()));
    EXPECT_TRUE(model.加入下载列表(QStringLiteral("http://h/a.pdf"), QStringLiteral("second"),
                                   QStringLiteral("pdf"), kFolder, QString()));
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.Item(0).name, QStringLiteral("first"));

    Add(model, QStringLiteral("a|b"));
    Add(model, QStringLiteral("a"));
    Add(model, QStringLiteral("A")); // keys compare case-sensitively
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.RowOfKey(QStringLiteral("a")), 2);
    EXPECT_EQ(model.RowOfKey(QStringLiteral("zzz")), -1);
}

TEST(DownloadList, NewItemNameFolderAndColumns) {
    SharedValuesGuard guard;
    DownloadListModel model;
    Shared().useOriginalFileName = false;
    Shared().downloadFolder = QDir::toNativeSeparators(QStringLiteral("/shared/"));
    model.加入下载列表(QStringLiteral("http://h/d/paper.v2.pdf"), QStringLiteral("  A: title\r\n  here "),
                       QStringLiteral("pdf"), QString(), QStringLiteral("http://h/list"));
    const DownloadItem &byTitle = model.Item(0);
    EXPECT_EQ(byTitle.name, QStringLiteral("A title here"));
    EXPECT_EQ(byTitle.folder, Shared().downloadFolder);
    EXPECT_EQ(byTitle.referrer, QStringLiteral("http://h/list"));
    EXPECT_EQ(byTitle.state, ItemState::Waiting);
    EXPECT_TRUE(byTitle.size.isEmpty() && byTitle.received.isEmpty() && byTitle.percent.isEmpty());
    EXPECT_EQ(model.data(model.index(0, 0), DownloadListModel::ReferrerRole).toString(),
              QStringLiteral("http://h/list"));
    EXPECT_EQ(model.data(model.index(0, 3), DownloadListModel::KeyRole).toString(),
              QStringLiteral("http://h/d/paper.v2.pdf"));

    Shared().useOriginalFileName = true;
    model.加入下载列表(QStringLiteral("http://h/d/paper.v2.pdf|http://m/x.pdf"), QStringLiteral("title"),
                       QStringLiteral("pdf"), QStringLiteral("/own"), QString());
    EXPECT_EQ(model.Item(1).name, QStringLiteral("paper.v2"));
    EXPECT_EQ(model.Item(1).folder, QStringLiteral("/own"));

    EXPECT_EQ(model.columnCount(), 10);
    QStringList captions;
    for (int c = 0; c < model.columnCount(); ++c)
        captions << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions,
              QStringList({QStringLiteral("名称"), QStringLiteral("类型"), QStringLiteral("文件大小"),
                           QStringLiteral("已下载数"), QStringLiteral("百分比"), QStringLiteral("保存路径"),
                           QStringLiteral("B"), QStringLiteral("速度"), QStringLiteral("剩余时间"),
                           QStringLiteral("结果")}));
    EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST(DownloadList, ItemFilePath) {
    DownloadItem item;
    item.folder = kFolder;
    item.name = QStringLiteral("n");
    EXPECT_EQ(ItemFilePath(item), kFolder + QStringLiteral("n"));
    item.type = QStringLiteral("pdf");
    EXPECT_EQ(ItemFilePath(item), kFolder + QStringLiteral("n.pdf"));
    item.folder = QDir::toNativeSeparators(QStringLiteral("/d"));
    EXPECT_EQ(ItemFilePath(item), QDir::toNativeSeparators(QStringLiteral("/d/n.pdf")));
}

TEST(DownloadList, CountsFollowEveryChange) {
    DownloadListModel model;
    EXPECT_TRUE(model.检测是否下载列表完毕());
    Add(model, QStringLiteral("1"));
    EXPECT_FALSE(model.检测是否下载列表完毕());
    Add(model, QStringLiteral("2"));
    Add(model, QStringLiteral("3"));
    EXPECT_EQ(model.统计未下载项数目(), 3);

    model.SetText(0, DownloadListModel::SizeColumn, QStringLiteral("等待重新下载"));
    EXPECT_EQ(model.统计未下载项数目(), 2);
    model.SetText(1, DownloadListModel::PercentColumn, QStringLiteral("5%"));
    EXPECT_EQ(model.统计未下载项数目(), 1);
    model.RequeueItem(0);
    EXPECT_EQ(model.统计未下载项数目(), 2);

    model.SetState(0, ItemState::Done);
    model.SetState(1, ItemState::Failed);
    model.SetState(2, ItemState::Downloading);
    EXPECT_FALSE(model.检测是否下载列表完毕());
    EXPECT_EQ(model.StatusSummary(), QStringLiteral("总数:3 正在下载:1 等待:0 已完成:1 失败:1"));
    model.SetState(2, ItemState::Done);
    EXPECT_TRUE(model.检测是否下载列表完毕());
    model.RequeueItem(1);
    EXPECT_EQ(model.Item(1).state, ItemState::Waiting);
    EXPECT_TRUE(model.Item(1).percent.isEmpty());
    EXPECT_EQ(model.StatusSummary(), QStringLiteral("总数:3 正在下载:0 等待:1 已完成:2 失败:0"));
}

TEST(DownloadList, ProblemItemsAreWebPagesAndOtherFailures) {
    DownloadListModel model;
    for (int i = 0; i < 4; ++i)
        Add(model, QStringLiteral("h%1").arg(i), QStringLiteral("t"),
            i % 2 ? QStringLiteral("html") : QStringLiteral("HTM"));
    Add(model, QStringLiteral("p"), QStringLiteral("t"), QStringLiteral("pdf"));
    EXPECT_EQ(model.CountProblemItems(), 4);
    model.SetState(4, ItemState::Failed);
    EXPECT_EQ(model.CountProblemItems(), 5);
    model.SetState(0, ItemState::Failed); // a failed page counts once
    EXPECT_EQ(model.CountProblemItems(), 5);
    model.SetText(0, DownloadListModel::TypeColumn, QStringLiteral("pdf"));
    EXPECT_EQ(model.CountProblemItems(), 5); // still failed
    model.SetText(1, DownloadListModel::TypeColumn, QStringLiteral("xxx"));
    EXPECT_EQ(model.CountProblemItems(), 4);
}

TEST(DownloadList, UpdatesSignalJustTheChangedCells) {
    DownloadListModel model;
    Add(model, QStringLiteral("a"));
    Add(model, QStringLiteral("b"));
    QList<std::pair<QModelIndex, QModelIndex>> changes;
    QList<QList<int>> roles;
    QObject context;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &context,
                     [&](const QModelIndex &from, const QModelIndex &to, const QList<int> &r) {
                         changes.append({from, to});
                         roles.append(r);
                     });
    DownloadItem item = model.Item(1);
    item.size = QStringLiteral("10");
    item.received = QStringLiteral("5");
    model.SetItem(1, item);
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0].first, model.index(1, DownloadListModel::SizeColumn));
    EXPECT_EQ(changes[0].second, model.index(1, DownloadListModel::SizeColumn));
    EXPECT_EQ(changes[1].first, model.index(1, DownloadListModel::ReceivedColumn));

    changes.clear();
    roles.clear();
    model.SetItem(1, model.Item(1)); // nothing changed
    EXPECT_TRUE(changes.isEmpty());
    model.SetState(1, ItemState::Failed);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].first, model.index(1, 0));
    EXPECT_TRUE(roles[0].contains(Qt::DecorationRole));
}

TEST(DownloadList, StateIconsDiffer) {
    DownloadListModel model;
    Add(model, QStringLiteral("a"));
    QList<qint64> keys;
    for (ItemState s : {ItemState::Waiting, ItemState::Downloading, ItemState::Done, ItemState::Failed}) {
        model.SetState(0, s);
        const QIcon icon = model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>();
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(model.data(model.index(0, 0), DownloadListModel::StateRole).toInt(), int(s));
        keys << icon.cacheKey();
    }
    EXPECT_EQ(QSet<qint64>(keys.begin(), keys.end()).size(), 4);
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::DecorationRole).isValid());
}

TEST(DownloadList, SizeSortIsNumericAndKeepsTexts) {
    DownloadListModel model;
    Fill(model, DownloadListModel::SizeColumn,
         {QStringLiteral("10"), QStringLiteral("未知"), QStringLiteral("9"), QStringLiteral("100")});
    model.ClickSort(DownloadListModel::SizeColumn); // the first click turns the list descending
    EXPECT_EQ(model.SortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(Column(model, DownloadListModel::SizeColumn),
              QStringList({QStringLiteral("未知"), QStringLiteral("100"), QStringLiteral("10"),
                           QStringLiteral("9")}));
    model.ClickSort(DownloadListModel::SizeColumn);
    EXPECT_EQ(Column(model, DownloadListModel::SizeColumn),
              QStringList({QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("100"),
                           QStringLiteral("未知")}));
    // the key index follows the rows
    for (int row = 0; row < model.Count(); ++row)
        EXPECT_EQ(model.RowOfKey(model.Item(row).key), row);
}

TEST(DownloadList, PercentSortKeepsResultTexts) {
    DownloadListModel model;
    Fill(model, DownloadListModel::PercentColumn,
         {QStringLiteral("40%"), QStringLiteral("大文件，跳过"), QString(), QStringLiteral("5%"),
          QStringLiteral("100%")});
    model.sort(DownloadListModel::PercentColumn, Qt::AscendingOrder);
    EXPECT_EQ(Column(model, DownloadListModel::PercentColumn),
              QStringList({QString(), QStringLiteral("5%"), QStringLiteral("40%"), QStringLiteral("100%"),
                           QStringLiteral("大文件，跳过")}));
}

TEST(DownloadList, DirectionIsOneForTheWholeListAndSortIsStable) {
    DownloadListModel model;
    Fill(model, DownloadListModel::NameColumn,
         {QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("c"), QStringLiteral("a")});
    model.ClickSort(DownloadListModel::SizeColumn); // descending, all sizes empty: order kept
    EXPECT_EQ(
        Column(model, DownloadListModel::NameColumn),
        QStringList({QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("c"), QStringLiteral("a")}));
    model.ClickSort(DownloadListModel::NameColumn); // flips to ascending though the column is new
    EXPECT_EQ(model.SortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(model.SortColumn(), int(DownloadListModel::NameColumn));
    EXPECT_EQ(
        Column(model, DownloadListModel::NameColumn),
        QStringList({QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    // received counts sort numerically too
    DownloadListModel received;
    Fill(received, DownloadListModel::ReceivedColumn,
         {QStringLiteral("2048"), QStringLiteral("0"), QStringLiteral("300")});
    received.sort(DownloadListModel::ReceivedColumn, Qt::AscendingOrder);
    EXPECT_EQ(Column(received, DownloadListModel::ReceivedColumn),
              QStringList({QStringLiteral("0"), QStringLiteral("300"), QStringLiteral("2048")}));
}

TEST(DownloadList, RemovalAndKeyChangesKeepTheIndex) {
    DownloadListModel model;
    for (int i = 0; i < 6; ++i)
        Add(model, QStringLiteral("k%1").arg(i));
    model.SetState(1, ItemState::Done);
    model.SetState(3, ItemState::Done);
    model.SetState(4, ItemState::Failed);
    EXPECT_EQ(model.RemoveRowsIf([](int, const DownloadItem &item) { return item.state == ItemState::Done; }),
              2);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_FALSE(model.ContainsKey(QStringLiteral("k1")));
    EXPECT_EQ(model.RowOfKey(QStringLiteral("k4")), 2);
    EXPECT_EQ(model.StatusSummary(), QStringLiteral("总数:4 正在下载:0 等待:3 已完成:0 失败:1"));
    Add(model, QStringLiteral("k1")); // free again
    EXPECT_EQ(model.RowOfKey(QStringLiteral("k1")), 4);

    model.SetKey(0, 对调url(QStringLiteral("k0|alt")));
    EXPECT_FALSE(model.ContainsKey(QStringLiteral("k0")));
    EXPECT_EQ(model.RowOfKey(QStringLiteral("alt|k0")), 0);
    // an edit that makes two keys equal keeps both rows findable
    model.SetKey(1, QStringLiteral("k4"));
    EXPECT_EQ(model.RowOfKey(QStringLiteral("k4")), 1);
    model.SetKey(1, QStringLiteral("k2"));
    EXPECT_EQ(model.RowOfKey(QStringLiteral("k4")), 2);

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.统计未下载项数目(), 0);
    EXPECT_TRUE(model.检测是否下载列表完毕());
}
