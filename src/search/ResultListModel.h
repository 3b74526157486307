#pragma once
// The rows of a search window's result list: one document link each, unique by
// its address. The duplicate test is a hash lookup so that adding stays cheap
// with a hundred thousand rows.
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

class QTimer;

namespace dh
{

struct ResultRow {
    QString key;    // document URL, unique within the list
    QString title;  // "标题"
    QString type;   // "类型": PDF, doc, xls, ppt, rtf or empty
    QString state;  // "分析状态": empty, "成功" or "分析失败"
    QString folder; // "保存路径", may be empty
    QString last;   // the fifth column, captioned " "
    QString tag;    // address of the result page, the referrer
};

namespace AnalysisState
{
inline const QString Success = QStringLiteral("成功");
inline const QString Failed = QStringLiteral("分析失败");
} // namespace AnalysisState

// Receives every row that was really added by 加入LV1 (the auto-save list file).
class ResultRowSink
{
public:
    virtual ~ResultRowSink() = default;
    virtual void Append(const ResultRow &row) = 0;
};

// The answer of a number prompt: a numeric text (spaces at both ends ignored)
// as a whole number, truncated and clamped to int; anything else gives 0.
int WholeNumberOrZero(const QString &text);

// Rows are listed at once but shown in batches: the view learns of new rows
// at most about ten times a second (or when Flush() is called), so that a
// long list grows without the view laying itself out per row. Count() and
// the row accessors see every row; rowCount() only the rows the view knows.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { TitleColumn, TypeColumn, StateColumn, FolderColumn, LastColumn, ColumnCount };
    enum Role { KeyRole = Qt::UserRole + 1, TagRole };

    explicit ResultListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Adds one row unless its URL is already listed; the sink sees only added rows.
    bool 加入LV1(const QString &title, const QString &url, const QString &pageAddress, const QString &type,
                 const QString &folder, const QString &lastColumn);
    // Rows read back from a list file: existing keys are skipped, the sink is not told.
    bool AddImported(const QString &key, const QString &title, const QString &type, const QString &state,
                     const QString &folder);
    // Imported rows made ready off the UI thread: repeated keys dropped, the
    // index built. Safe on any thread.
    struct Prepared {
        QList<ResultRow> rows;
        QHash<QString, int> index;
    };
    static Prepared Prepare(QList<ResultRow> rows);
    // Adds the prepared rows whose keys are not listed yet (the sink is not
    // told); returns how many. Into an empty list this takes no time at all.
    int AddPrepared(Prepared prepared);
    void SetSink(ResultRowSink *sink) { m_sink = sink; }
    // Room for this many rows in all (an import).
    void Reserve(qsizetype rows);
    // Tells the view of the rows added since the last time.
    void Flush();
    ResultRowSink *Sink() const { return m_sink; }

    int Count() const { return int(m_rows.size()); }
    bool Contains(const QString &key) const { return m_index.contains(key); }
    int IndexOf(const QString &key) const { return m_index.value(key, -1); }
    // Out-of-range rows read as an empty row.
    const ResultRow &Row(int row) const;
    QString Key(int row) const { return Row(row).key; }
    QString Title(int row) const { return Row(row).title; }
    QString Type(int row) const { return Row(row).type; }
    QString State(int row) const { return Row(row).state; }
    QString Folder(int row) const { return Row(row).folder; }
    QString Tag(int row) const { return Row(row).tag; }

    void SetState(int row, const QString &state);
    void SetTitle(int row, const QString &title);
    // Rewrites every title at once (one change notification).
    void TransformTitles(const std::function<QString(const QString &)> &transform);
    // Removes every row the test accepts, in one pass; returns how many went.
    int RemoveIf(const std::function<bool(int row, const ResultRow &)> &test);
    void Clear();

private:
    bool append(ResultRow row);
    void rebuildIndex();

    QList<ResultRow> m_rows;
    QHash<QString, int> m_index; // key -> row
    int m_shown = 0;             // rows the view has been told of
    QTimer *m_flushTimer = nullptr;
    ResultRowSink *m_sink = nullptr;
};

} // namespace dh
