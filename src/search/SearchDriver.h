#pragma once
// The controller of a search window: loads the search URLs one after another
// into the browser view, waits for each page, pages through the results by
// the next-page link, lets the extractors fill the result list and paces it
// all with the user's delay. Long runs are cooperative loops on the UI thread;
// the stop buttons only set flags that the loops read at their next check.
#include "search/PageExtractor.h"

#include <QObject>
#include <QString>
#include <QStringList>

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

signals:
    // running: the button shows its stop caption; stopping: disabled until the run ends.
    void batchButtonChanged(bool running, bool enabled);
    void addAllButtonChanged(bool running, bool enabled);
    void doneTextChanged(const QString &text);

private:
    QString extractionFolder() const;
    bool batchAborted() const { return m_batchRunning && m_batchStop; }
    void appendDone(const QString &text);

    BrowserView *m_view;
    SearchHost *m_host;
    bool m_batchStop = true;
    bool m_addAllStop = true;
    bool m_captcha = false;
    bool m_pageWait = false;
    bool m_batchRunning = false;
    bool m_addAllRunning = false;
    QString m_doneText;
    QString m_pageAddress;
};

} // namespace dh
