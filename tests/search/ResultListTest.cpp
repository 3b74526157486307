#include "search/ResultListModel.h"
#include "support/QtPrinters.h"
#include "util/ListColumns.h"

#include <QHeaderView>
#include <QListView>
#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QTreeView>
#include <gtest/gtest.h>

#include <climits>

namespace dh
{
namespace
{

struct RecordingSink : ResultRowSink {
    QList<ResultRow> rows;
    void Append(const ResultRow &row) override { rows.append(row); }
};

QString url(int i)
{
    return QStringLiteral("http://docs.example/f%1.pdf").arg(i);
}

void fill(ResultListModel &model, int n)
{
    for (int i = 0; i < n; ++i)
        model.加入LV1(QStringLiteral("title %1").arg(i), url(i), QStringLiteral("http://serp/%1").arg(i / 10),
                      QStringLiteral("PDF"), QString(), QString());
    model.Flush();
}

TEST(ResultListModel, AddKeepsFirstOfDuplicateAndTellsSinkOnce)
{
    ResultListModel model;
    RecordingSink sink;
    model.SetSink(&sink);
    EXPECT_TRUE(model.加入LV1(QStringLiteral("first"), url(1), QStringLiteral("http://serp/1"),
                              QStringLiteral("PDF"), QStringLiteral("/d/"), QString()));
    EXPECT_FALSE(model.加入LV1(QStringLiteral("second"), url(1), QStringLiteral("http://serp/2"),
                               QStringLiteral("doc"), QString(), QString()));
    ASSERT_EQ(model.Count(), 1);
    EXPECT_EQ(model.Title(0), QStringLiteral("first"));
    EXPECT_EQ(model.Type(0), QStringLiteral("PDF"));
    EXPECT_EQ(model.Tag(0), QStringLiteral("http://serp/1"));
    EXPECT_EQ(model.Folder(0), QStringLiteral("/d/"));
    EXPECT_TRUE(model.State(0).isEmpty());
    ASSERT_EQ(sink.rows.size(), 1);
    EXPECT_EQ(sink.rows[0].key, url(1));
    EXPECT_EQ(sink.rows[0].title, QStringLiteral("first"));

    // Keys are compared exactly; an address with another spelling is another row.
    EXPECT_TRUE(model.加入LV1(QStringLiteral("t"), url(1).toUpper(), {}, {}, {}, {}));
    // A row without an address is refused.
    EXPECT_FALSE(model.加入LV1(QStringLiteral("t"), QString(), {}, {}, {}, {}));
    EXPECT_EQ(model.Count(), 2);
    EXPECT_EQ(sink.rows.size(), 2);
}

TEST(ResultListModel, ImportSkipsExistingKeysWithoutTheSink)
{
    ResultListModel model;
    RecordingSink sink;
    model.SetSink(&sink);
    model.加入LV1(QStringLiteral("found"), url(1), {}, QStringLiteral("PDF"), {}, {});
    EXPECT_FALSE(model.AddImported(url(1), QStringLiteral("imported"), QStringLiteral("doc"),
                                   AnalysisState::Failed, {}));
    EXPECT_TRUE(model.AddImported(url(2), QStringLiteral("imported"), QStringLiteral("doc"),
                                  AnalysisState::Failed, QStringLiteral("/x/")));
    ASSERT_EQ(model.Count(), 2);
    EXPECT_EQ(model.Title(0), QStringLiteral("found"));
    EXPECT_EQ(model.State(1), AnalysisState::Failed);
    EXPECT_EQ(model.Folder(1), QStringLiteral("/x/"));
    EXPECT_TRUE(model.Tag(1).isEmpty());
    EXPECT_EQ(sink.rows.size(), 1);
}

TEST(ResultListModel, ViewShowsColumnsAndRowsOutOfRangeReadEmpty)
{
    ResultListModel model;
    const QStringList captions{QStringLiteral("标题"), QStringLiteral("类型"), QStringLiteral("分析状态"),
                               QStringLiteral("保存路径"), QStringLiteral(" ")};
    ASSERT_EQ(model.columnCount(), captions.size());
    for (int c = 0; c < captions.size(); ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), captions[c]);
    int inserts = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model, [&inserts] { ++inserts; });
    model.加入LV1(QStringLiteral("t"), url(1), QStringLiteral("http://serp"), QStringLiteral("ppt"),
                  QStringLiteral("/f/"), QStringLiteral("x"));
    model.加入LV1(QStringLiteral("t"), url(2), {}, {}, {}, {});
    // Listed at once, shown to the view in one batch.
    EXPECT_EQ(model.Count(), 2);
    EXPECT_EQ(model.rowCount(), 0);
    model.Flush();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(model.data(model.index(0, ResultListModel::TypeColumn)).toString(), QStringLiteral("ppt"));
    EXPECT_EQ(model.data(model.index(0, ResultListModel::LastColumn)).toString(), QStringLiteral("x"));
    EXPECT_EQ(model.data(model.index(0, 0), ResultListModel::KeyRole).toString(), url(1));
    EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(model.Key(5).isEmpty());
    EXPECT_TRUE(model.Title(-1).isEmpty());
    model.SetState(7, AnalysisState::Success); // ignored, no crash
}

TEST(ResultListModel, RemovalKeepsKeyIndexAndViewIndexesRight)
{
    // Few blocks are removed one by one, many blocks by a reset; both must
    // leave the key index and the surviving rows right.
    for (const int step : {40, 2}) {
        SCOPED_TRACE(step);
        ResultListModel model;
        fill(model, 200);
        const QPersistentModelIndex survivor = model.index(101, 0);
        const int removed = model.RemoveIf([step](int row, const ResultRow &) { return row % step == 0; });
        EXPECT_EQ(removed, 200 / step);
        ASSERT_EQ(model.Count(), 200 - 200 / step);
        EXPECT_FALSE(model.Contains(url(0)));
        EXPECT_FALSE(model.Contains(url(120)));
        for (int row = 0; row < model.Count(); ++row)
            ASSERT_EQ(model.IndexOf(model.Key(row)), row);
        if (step == 40) { // grouped removals move persistent indexes along
            ASSERT_TRUE(survivor.isValid());
            EXPECT_EQ(model.Key(survivor.row()), url(101));
        }
        // A removed address can come back; a kept one is still a duplicate.
        EXPECT_TRUE(model.加入LV1(QStringLiteral("again"), url(0), {}, {}, {}, {}));
        EXPECT_FALSE(model.加入LV1(QStringLiteral("again"), url(1), {}, {}, {}, {}));
    }
}

TEST(ResultListModel, RemoveNothingAndClear)
{
    ResultListModel model;
    EXPECT_EQ(model.RemoveIf([](int, const ResultRow &) { return true; }), 0);
    fill(model, 5);
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, &model, [&resets] { ++resets; });
    EXPECT_EQ(model.RemoveIf([](int, const ResultRow &) { return false; }), 0);
    EXPECT_EQ(resets, 0);
    model.Clear();
    EXPECT_EQ(model.Count(), 0);
    EXPECT_FALSE(model.Contains(url(1)));
    EXPECT_TRUE(model.加入LV1(QStringLiteral("t"), url(1), {}, {}, {}, {}));
}

TEST(ResultListModel, StatesAndTitlesChangeInPlace)
{
    ResultListModel model;
    fill(model, 3);
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model, [&changes] { ++changes; });
    model.SetState(1, AnalysisState::Success);
    EXPECT_EQ(model.State(1), AnalysisState::Success);
    model.TransformTitles([](const QString &t) { return t.toUpper(); });
    EXPECT_EQ(model.Title(2), QStringLiteral("TITLE 2"));
    EXPECT_EQ(model.Key(2), url(2)); // keys untouched
    EXPECT_EQ(changes, 2);
    model.SetTitle(0, QStringLiteral("new"));
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("new"));
}

TEST(ResultListModel, HundredThousandRowsStayLinear)
{
    // Quadratic adding or removing would take minutes here and time out.
    ResultListModel model;
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    constexpr int n = 100000;
    fill(model, n);
    fill(model, n); // every one a duplicate
    ASSERT_EQ(model.Count(), n);
    EXPECT_EQ(model.RemoveIf([](int row, const ResultRow &) { return row % 2 == 1; }), n / 2);
    EXPECT_EQ(model.IndexOf(url(n - 2)), n / 2 - 1);
    EXPECT_EQ(model.RemoveIf([](int row, const ResultRow &) { return row < 10; }), 10);
    EXPECT_EQ(model.IndexOf(url(20)), 0);
}

TEST(WholeNumberOrZero, NumericAnswersOnly)
{
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral(" 5 ")), 5);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("5.9")), 5);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("-3")), -3);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("1e12")), INT_MAX);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("abc")), 0);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("5abc")), 0);
    EXPECT_EQ(WholeNumberOrZero(QStringLiteral("nan")), 0);
    EXPECT_EQ(WholeNumberOrZero(QString()), 0);
}

TEST(ListColumns, WidthCodes)
{
    QStandardItemModel model(2, 3);
    model.setHorizontalHeaderLabels(
        {QStringLiteral("a rather long column caption"), QStringLiteral("b"), QStringLiteral("c")});
    model.setItem(0, 1, new QStandardItem(QStringLiteral("a much longer cell text than its caption")));
    QTreeView tree;
    tree.setModel(&model);
    tree.header()->setStretchLastSection(false);

    SetColumnWidth(&tree, 2, 33);
    EXPECT_EQ(tree.columnWidth(1), 33);
    SetColumnWidth(&tree, 0, 50); // outside 1..count
    SetColumnWidth(&tree, 4, 50);
    EXPECT_NE(tree.columnWidth(0), 50);
    EXPECT_NE(tree.columnWidth(2), 50);

    AutoSizeColumns(&tree, 0);
    EXPECT_EQ(tree.columnWidth(0), 0);
    AutoSizeColumns(&tree, ColumnWidth::FitContents);
    const int contentsOnly = tree.columnWidth(0);
    AutoSizeColumns(&tree, ColumnWidth::FitHeaderAndContents);
    EXPECT_GE(tree.columnWidth(0), tree.header()->sectionSizeHint(0));
    EXPECT_GT(tree.columnWidth(0), contentsOnly); // the caption is the widest text
    EXPECT_GE(tree.columnWidth(1), static_cast<QAbstractItemView &>(tree).sizeHintForColumn(1));
    EXPECT_GT(tree.columnWidth(1), tree.header()->sectionSizeHint(1));

    // A list that is not in report view has no columns to size.
    QListView list;
    list.setModel(&model);
    AutoSizeColumns(&list, 10);
    SetColumnWidth(&list, 1, 10);
    AutoSizeColumns(nullptr, -2);
}

} // namespace
} // namespace dh
