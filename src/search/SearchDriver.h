#pragma once
// The controller of a search window: loads the search URLs one after another
// into the browser view, waits for each page, pages through the results by
// the next-page link, lets the extractors fill the result list and paces it
// all with the user's delay. Long runs are cooperative loops on the UI thread;
// the stop buttons only set flags that the loops read at their next check.
#include "search/PageExtractor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dh {

class BrowserView;

// What the driver needs from its window.
class SearchHost {
public:
    virtual ~SearchHost() = default;
    virtual int DelaySeconds() const = 0; // Combo1, read anew at every check
    virtual ExtractOptions ExtractionOptions() const = 0;
    virtual QString ChooseBase() = 0; // SelectBase; the result becomes the current base
    virtual QStringList KeywordGroups() const = 0;
    virtual QStringList Types() const = 0;
    virtual QString BuildUrl(const QString &base, const QString &group, const QString &type) const = 0;
    virtual bool PromptForSaveLocation() const = 0; // the save-folder prompt setting is 1
    virtual void ShowSaveLocationDialog() = 0;
    virtual void AddRow(const QString &title, const QString &url, const QString &pageAddress,
                        const QString &type, const QString &folder, const QString &lastColumn) = 0;
    virtual void RowsChanged() = 0;     // rewrite the row count
    virtual void FitColumns() = 0;      // AutoSizeColumns(-2)
    virtual QString DefaultFolder() const = 0;
    // A short note about the page just read (empty: clear it).
    virtual void PageNote(const QString &text) = 0;
};

// Where a batch stopped at a block page, so that it can go on from there.
struct BatchPlace {
    QStringList groups; // the keyword groups and types of that batch
    QStringList types;
    int group = 0;       // index into groups
    int type = 0;        // index into types
    QString address;     // the last result page read of that search, or its first address
};

class SearchDriver : public QObject {
    Q_OBJECT
public:
    SearchDriver(BrowserView *view, SearchHost *host, QObject *parent = nullptr);

    void 打开谷歌搜索网页(const QString &address);
    void 延时();
    bool 下一页();
    // Extracts the page now shown; returns the snapshot it read.
    PageSnapshot ExtractPageLinks();
    void AddAllClicked();   // Command4
    void BatchClicked();    // Command1
    void AddThisPage();     // Command9

    bool BatchRunning() const { return m_batchRunning; }
    bool AddAllRunning() const { return m_addAllRunning; }
    bool Captcha() const { return m_captcha; }
    bool BatchStop() const { return m_batchStop; }
    bool AddAllStop() const { return m_addAllStop; }
    bool PageWait() const { return m_pageWait; }
    // The done list (Text2) as the batch wrote it.
    QString DoneText() const { return m_doneText; }
    // Stop both runs (window close).
    void SetStopFlags();
    // Where the last batch was stopped by a block page, if it was.
    const std::optional<BatchPlace> &BlockedPlace() const { return m_blocked; }
    void ForgetBlockedPlace() { m_blocked.reset(); }

signals:
    // running: the button shows its stop caption; stopping: disabled until the run ends.
    void batchButtonChanged(bool running, bool enabled);
    void addAllButtonChanged(bool running, bool enabled);
    void doneTextChanged(const QString &text);

private:
    QString extractionFolder() const;
    bool batchAborted() const { return m_batchRunning && m_batchStop; }
    void appendDone(const QString &text);
    // The pause of the Combo1 delay; false when `abort` ended it.
    bool pause(const std::function<bool()> &abort);
    void runBatch(const QString &base, const QStringList &groups, const QStringList &types,
                  const std::optional<BatchPlace> &resume);

    BrowserView *m_view;
    SearchHost *m_host;
    bool m_batchStop = true;
    bool m_addAllStop = true;
    bool m_captcha = false;
    bool m_pageWait = false;
    bool m_batchRunning = false;
    bool m_addAllRunning = false;
    QString m_doneText;
    // The page read last and what was read from it: the add-all loop reads a
    // page several times in a row, and one read of an unchanged page is enough.
    PageSnapshot m_lastRead;
    bool m_lastReadFresh = false;
    QElapsedTimer m_lastReadAge;
    QString m_lastGoodPage; // last result page (not a block page) of the running search
    std::optional<BatchPlace> m_blocked;
};

} // namespace dh
