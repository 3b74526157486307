#pragma once
// The browser view over QtWebEngine. New windows open in this view, close
// requests are refused, silent mode swallows script dialogs, and pages are read
// through one script call whose answer is waited for in the event loop.
#include "net/BrowserView.h"

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

class QTimer;
class QWebEngineView;

namespace dh {

class WebBrowserView : public BrowserView {
    Q_OBJECT
public:
    explicit WebBrowserView(QObject *parent = nullptr);
    // Deletes the widget unless a window has taken and deleted it already.
    ~WebBrowserView() override;

    QWidget *Widget() override;
    void Navigate(const QString &address) override;
    void Reload() override;
    void Back() override;
    void Forward() override;
    bool IsBusy() const override;
    // True while any view of the process is busy (the cache clear waits for that).
    static bool AnyBusy();
    QString CurrentUrl() const override;
    void SetSilent(bool on) override;
    bool IsSilent() const override { return m_silent; }
    PageSnapshot Snapshot(int timeoutMs = 10000) override;
    QList<SnapInput> Inputs(int timeoutMs = 10000) override;
    int ElementById(const QString &id, int timeoutMs = 10000) override;
    bool Click(int handle) override;
    bool SetValue(int handle, const QString &value) override;
    // Runs a script without waiting: `done` later gets its value, or nothing
    // when the page did not answer within timeoutMs of program time. It is
    // never called once this view is gone.
    void RunScriptAsync(const QString &source, int timeoutMs,
                        std::function<void(std::optional<QVariant>)> done);

private:
    class Page;

    // Scripts that timed out and have not answered since, per renderer.
    struct Health {
        int unanswered = 0;
        int renderer = 0; // counts the renderers this view ended
    };

    // The script's value, or nothing when the page did not answer in time.
    std::optional<QVariant> RunScript(const QString &source, int timeoutMs);
    // A renderer that left a script unanswered is stuck (an endless loop) and
    // would never take a navigation, so it is ended first. False when this
    // view was deleted meanwhile.
    bool EndStuckRenderer();
    // Marks the view busy until the navigation just requested finishes.
    void ExpectLoad(bool sameDocument);
    void load(const QUrl &url);
    // Starts the navigation that waited for the one before it; false without one.
    bool issueQueued();
    void GoToHistory(int offset);
    void OnLoadFinished(bool ok);
    void OnNewWindow(const QUrl &url);

    QPointer<QWebEngineView> m_view;
    QPointer<Page> m_page;
    QTimer *m_startWatch = nullptr;
    bool m_busy = false;
    bool m_sameDocument = false; // the pending navigation only moves to a fragment
    QUrl m_requested;            // navigated to, not yet shown
    QUrl m_queued;               // asked for while m_requested was not shown yet
    QTimer *m_queueWatch = nullptr;
    int m_superseded = 0; // ends of navigations a queued one replaced, still to come
    bool m_silent = false;
    std::shared_ptr<Health> m_health = std::make_shared<Health>();
};

} // namespace dh
