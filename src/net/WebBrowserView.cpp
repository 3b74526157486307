#include "net/WebBrowserView.h"

#include "net/WebSession.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <sys/types.h>
#endif

// The resources of a static library are registered by hand.
static void initNetResources() {
    Q_INIT_RESOURCE(net);
}

namespace dh {
namespace {

// How long a click or a value change may take before the page counts as stuck.
constexpr int kActionTimeoutMs = 10000;
// How long a stuck renderer may take to go away.
constexpr int kEndRendererTimeoutMs = 5000;
// A navigation request that never starts a load (a script address, a refused
// scheme) must not leave the view busy for good.
constexpr int kStartWatchMs = 5000;
// How long a navigation waits for the one before it to be shown (real time).
constexpr int kQueueMs = 2000;

QString snapshotScript() {
    static const QString script = [] {
        initNetResources();
        QFile file(QStringLiteral(":/net/snapshot.js"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return script;
}

// A script literal for `values`: JSON is valid script text and escapes everything.
QString scriptArgs(const QJsonArray &values) {
    return QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
}

void endProcess(qint64 pid) {
#ifdef Q_OS_WIN
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid))) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
#else
    ::kill(pid_t(pid), SIGKILL);
#endif
}

bool isBlank(const QUrl &url) {
    const QString text = url.toString().trimmed();
    return text.isEmpty() || text.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0;
}

// The engine moves to a fragment of the current document without a load.
bool isSameDocument(const QUrl &target, const QUrl &current) {
    return target.hasFragment() && target != current &&
           target.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment);
}

// The document shown was loaded for `requested` (redirects keep the request).
bool sameRequest(const QUrl &shown, const QUrl &requested) {
    const auto key = [](const QUrl &url) {
        return url.adjusted(QUrl::RemoveFragment | QUrl::StripTrailingSlash | QUrl::NormalizePathSegments)
            .toString(QUrl::FullyEncoded);
    };
    return key(shown) == key(requested);
}

// What the shown document was asked for. Not requestedUrl(): that already
// names a navigation that has not been shown yet.
QUrl shownRequest(QWebEnginePage *page) {
    return page->history()->currentItem().originalUrl();
}

} // namespace

class WebBrowserView::Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}
    bool silent = false;

protected:
    // New windows are refused here; the view loads their address itself.
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

    void javaScriptAlert(const QUrl &origin, const QString &text) override {
        if (!silent)
            Messages::Show(dialogParent(), text, MsgIcon::Information, origin.toString());
    }

    bool javaScriptConfirm(const QUrl &origin, const QString &text) override {
        // The engine asks "leave this page?" through here; a silent view must
        // never be held on a page.
        if (silent)
            return text ==
                   QCoreApplication::translate(
                       "QWebEnginePage",
                       "Are you sure you want to leave this page? Changes that you made may not be saved.");
        return Messages::Ask(dialogParent(), text, MsgIcon::Question, origin.toString());
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &text, const QString &defaultValue,
                          QString *result) override {
        if (silent)
            return false;
        const QString answer = Messages::Input(dialogParent(), text, origin.toString(), defaultValue);
        if (answer.isEmpty())
            return false;
        if (result)
            *result = answer;
        return true;
    }

private:
    QWidget *dialogParent() const { return qobject_cast<QWidget *>(parent()); }
};

namespace {
QList<const WebBrowserView *> &liveViews() {
    static QList<const WebBrowserView *> views;
    return views;
}
} // namespace

bool WebBrowserView::AnyBusy() {
    const QList<const WebBrowserView *> &views = liveViews();
    return std::any_of(views.begin(), views.end(), [](const WebBrowserView *v) { return v->IsBusy(); });
}

WebBrowserView::WebBrowserView(QObject *parent) : BrowserView(parent) {
    liveViews().append(this);
    m_view = new QWebEngineView;
    m_page = new Page(WebSession::Instance().Profile(), m_view);
    m_view->setPage(m_page);
    m_startWatch = new QTimer(this);
    m_startWatch->setSingleShot(true);
    m_startWatch->setInterval(kStartWatchMs);
    connect(m_startWatch, &QTimer::timeout, this, [this] {
        if (m_page && !m_page->isLoading()) {
            m_busy = false;
            issueQueued();
        }
    });
    m_queueWatch = new QTimer(this);
    m_queueWatch->setSingleShot(true);
    m_queueWatch->setInterval(kQueueMs);
    // The navigation before it takes too long: it gives way.
    connect(m_queueWatch, &QTimer::timeout, this, [this] {
        if (!m_queued.isEmpty() && m_page) {
            ++m_superseded;
            issueQueued();
        }
    });

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] {
        m_busy = true;
        m_sameDocument = false;
    });
    // Only the top-level page reports loadFinished; frames do not.
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebBrowserView::OnLoadFinished);
    connect(m_page, &QWebEnginePage::urlChanged, this, [this] {
        if (!m_requested.isEmpty() && sameRequest(shownRequest(m_page), m_requested))
            m_requested.clear();
        if (!m_sameDocument)
            return;
        m_sameDocument = false;
        m_busy = false;
        m_startWatch->stop();
        emit documentComplete(CurrentUrl());
    });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
        m_busy = false;
        m_sameDocument = false;
        m_requested.clear();
    });
    connect(m_page, &QWebEnginePage::titleChanged, this, &BrowserView::titleChanged);
    connect(m_page, &QWebEnginePage::linkHovered, this, &BrowserView::statusTextChanged);
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest &request) { OnNewWindow(request.requestedUrl()); });
    // windowCloseRequested stays unconnected: a page never closes the view.
}

WebBrowserView::~WebBrowserView() {
    liveViews().removeOne(this);
    delete m_view;
}

QWidget *WebBrowserView::Widget() {
    return m_view;
}

void WebBrowserView::ExpectLoad(bool sameDocument) {
    m_busy = true;
    m_sameDocument = sameDocument;
    m_startWatch->start();
}

void WebBrowserView::OnLoadFinished(bool ok) {
    // The end of a navigation that a queued one replaced is not the new one's.
    if (!ok && m_superseded > 0) {
        --m_superseded;
        return;
    }
    if (issueQueued())
        return;
    if (ok && !m_requested.isEmpty() && !sameRequest(shownRequest(m_page), m_requested)) {
        // A navigation requested just before the previous document finished
        // may never start (the engine counts it as part of the load that
        // ended). Ask for it again so that its own start and end are seen.
        const QUrl again = m_requested;
        m_requested.clear();
        m_startWatch->start();
        m_page->load(again);
        return;
    }
    m_requested.clear();
    m_busy = false;
    m_startWatch->stop();
    emit documentComplete(CurrentUrl());
}

void WebBrowserView::Navigate(const QString &address) {
    if (!EndStuckRenderer() || !m_page)
        return;
    const QString text = address.trimmed();
    const QUrl url = text.isEmpty() ? QUrl(QStringLiteral("about:blank")) : QUrl::fromUserInput(text);
    // A navigation of ours that the engine has not shown yet ends first: one
    // asked for meanwhile is merged into it and never reports (newer engines
    // still send its request, so the server would be asked twice).
    if (!m_requested.isEmpty() && m_busy) {
        m_queued = url;
        m_queueWatch->start();
        return;
    }
    load(url);
}

void WebBrowserView::load(const QUrl &url) {
    const bool sameDocument = !m_page->isLoading() && isSameDocument(url, m_page->url());
    ExpectLoad(sameDocument);
    m_requested = sameDocument ? QUrl() : url;
    m_page->load(url);
}

bool WebBrowserView::issueQueued() {
    if (m_queued.isEmpty() || !m_page)
        return false;
    const QUrl next = m_queued;
    m_queued.clear();
    m_queueWatch->stop();
    load(next);
    return true;
}

void WebBrowserView::Reload() {
    if (!EndStuckRenderer() || !m_page || m_page->url().isEmpty())
        return;
    ExpectLoad(false);
    m_requested.clear();
    m_queued.clear();
    m_page->triggerAction(QWebEnginePage::Reload);
}

void WebBrowserView::Back() {
    GoToHistory(-1);
}

void WebBrowserView::Forward() {
    GoToHistory(1);
}

void WebBrowserView::GoToHistory(int offset) {
    // By index: the engine's own back and forward skip the pages that were
    // left through a script click, which is how this program pages.
    if (!m_page)
        return;
    const int index = m_page->history()->currentItemIndex() + offset;
    if (index < 0 || index >= m_page->history()->count() || !EndStuckRenderer() || !m_page)
        return;
    ExpectLoad(false);
    m_requested.clear();
    m_queued.clear();
    m_page->history()->goToItem(m_page->history()->itemAt(index));
}

bool WebBrowserView::IsBusy() const {
    return m_busy;
}

QString WebBrowserView::CurrentUrl() const {
    return m_page ? m_page->url().toString() : QString();
}

void WebBrowserView::SetSilent(bool on) {
    m_silent = on;
    if (m_page)
        m_page->silent = on;
}

void WebBrowserView::OnNewWindow(const QUrl &url) {
    // The request is refused (createWindow gives no page); its address opens
    // here once the engine has finished with the request.
    if (isBlank(url))
        return;
    QTimer::singleShot(0, this, [this, url] {
        Navigate(url.toString());
        emit newWindowRequested(url.toString());
    });
}

std::optional<QVariant> WebBrowserView::RunScript(const QString &source, int timeoutMs) {
    if (!m_page || source.isEmpty())
        return std::nullopt;
    struct Call {
        bool done = false;
        bool late = false;
        int renderer = 0;
        QVariant value;
    };
    // The answer may come after this call gave up, or never; it only touches
    // shared state.
    auto call = std::make_shared<Call>();
    const std::shared_ptr<Health> health = m_health;
    call->renderer = health->renderer;
    m_page->runJavaScript(source, QWebEngineScript::ApplicationWorld, [call, health](const QVariant &value) {
        call->done = true;
        call->value = value;
        if (call->late && call->renderer == health->renderer && health->unanswered > 0)
            --health->unanswered;
    });
    const QPointer<WebBrowserView> self(this);
    WaitUntil([&] { return call->done || !self || !self->m_page; }, std::max(0, timeoutMs), this);
    if (call->done)
        return call->value;
    if (self) {
        call->late = true;
        ++health->unanswered;
    }
    return std::nullopt;
}

void WebBrowserView::RunScriptAsync(const QString &source, int timeoutMs,
                                    std::function<void(std::optional<QVariant>)> done) {
    struct Call {
        bool finished = false;
        bool late = false; // timed out; an answer may still come
        int renderer = 0;
    };
    auto call = std::make_shared<Call>();
    const std::shared_ptr<Health> health = m_health;
    call->renderer = health->renderer;
    const QPointer<WebBrowserView> self(this);
    auto finish = [call, self, done = std::move(done)](std::optional<QVariant> value) {
        if (call->finished)
            return;
        call->finished = true;
        if (self && done)
            done(std::move(value));
    };
    if (!m_page || source.isEmpty()) {
        QTimer::singleShot(0, this, [finish] { finish(std::nullopt); });
        return;
    }
    auto *deadline = new QTimer(this);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [call, health, finish, deadline] {
        deadline->deleteLater();
        if (call->finished)
            return;
        call->late = true;
        ++health->unanswered; // the next navigation ends this renderer
        finish(std::nullopt);
    });
    const QPointer<QTimer> watch(deadline);
    m_page->runJavaScript(source, QWebEngineScript::ApplicationWorld,
                          [call, health, finish, watch](const QVariant &value) {
                              if (call->late) {
                                  if (call->renderer == health->renderer && health->unanswered > 0)
                                      --health->unanswered;
                                  return;
                              }
                              if (watch)
                                  watch->deleteLater();
                              finish(value);
                          });
    deadline->start(Clock::RealInterval(std::max(0, timeoutMs)));
}

bool WebBrowserView::EndStuckRenderer() {
    if (m_health->unanswered <= 0 || !m_page)
        return true;
    m_health->unanswered = 0;
    ++m_health->renderer;
    const qint64 pid = m_page->renderProcessPid();
    if (pid <= 0)
        return true;
    const QPointer<WebBrowserView> self(this);
    auto ended = std::make_shared<bool>(false);
    const auto connection =
        connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [ended] { *ended = true; });
    endProcess(pid);
    WaitUntil([&] { return *ended || !self; }, kEndRendererTimeoutMs, this);
    if (!self || IsClosing(this))
        return false;
    disconnect(connection);
    return true;
}

PageSnapshot WebBrowserView::Snapshot(int timeoutMs) {
    const std::optional<QVariant> answer = RunScript(snapshotScript(), timeoutMs);
    if (!answer)
        return {};
    const QVariantList parts = answer->toList();
    if (parts.size() != 2 || parts[0].typeId() != QMetaType::QString ||
        parts[1].typeId() != QMetaType::QString)
        return {};
    return ParsePageSnapshot(parts[0].toString().toUtf8(), parts[1].toString());
}

QList<SnapInput> WebBrowserView::Inputs(int timeoutMs) {
    static const QString script = QStringLiteral(
        "(function () {"
        "  var keep = [], out = [], all = document.getElementsByTagName('INPUT');"
        "  for (var i = 0; all[i]; ++i) {"
        "    keep.push(all[i]);"
        "    out.push([i, String(all[i].name || ''), String(all[i].type || ''), String(all[i].value || '')]);"
        "  }"
        "  window.__dh = keep;"
        "  return JSON.stringify(out);"
        "})()");
    QList<SnapInput> inputs;
    const std::optional<QVariant> answer = RunScript(script, timeoutMs);
    if (!answer)
        return inputs;
    const QJsonArray rows = QJsonDocument::fromJson(answer->toString().toUtf8()).array();
    for (const QJsonValue &row : rows) {
        const QJsonArray r = row.toArray();
        if (r.size() >= 4 && r.at(0).isDouble())
            inputs.append({r.at(0).toInt(), r.at(1).toString(), r.at(2).toString(), r.at(3).toString()});
    }
    return inputs;
}

int WebBrowserView::ElementById(const QString &id, int timeoutMs) {
    // Adds to the handles of the latest snapshot instead of replacing them.
    const QString script =
        QStringLiteral("(function (a) {"
                       "  var e = document.getElementById(a[0]);"
                       "  if (!e) return -1;"
                       "  var keep = Array.isArray(window.__dh) ? window.__dh : (window.__dh = []);"
                       "  keep.push(e);"
                       "  return keep.length - 1;"
                       "})(%1)")
            .arg(scriptArgs({id}));
    const std::optional<QVariant> answer = RunScript(script, timeoutMs);
    if (!answer || !answer->canConvert<int>())
        return -1;
    return answer->toInt();
}

bool WebBrowserView::Click(int handle) {
    if (handle < 0)
        return false;
    const QString script =
        QStringLiteral("(function (a) {"
                       "  var e = Array.isArray(window.__dh) ? window.__dh[a[0]] : null;"
                       "  if (!e || !e.isConnected || typeof e.click !== 'function') return false;"
                       "  e.click();"
                       "  return true;"
                       "})(%1)")
            .arg(scriptArgs({handle}));
    const std::optional<QVariant> answer = RunScript(script, kActionTimeoutMs);
    return answer && answer->toBool();
}

bool WebBrowserView::SetValue(int handle, const QString &value) {
    if (handle < 0)
        return false;
    const QString script = QStringLiteral("(function (a) {"
                                          "  var e = Array.isArray(window.__dh) ? window.__dh[a[0]] : null;"
                                          "  if (!e || !e.isConnected || !('value' in e)) return false;"
                                          "  try { e.value = a[1]; } catch (x) { return false; }"
                                          "  e.dispatchEvent(new Event('input', {bubbles: true}));"
                                          "  e.dispatchEvent(new Event('change', {bubbles: true}));"
                                          "  return true;"
                                          "})(%1)")
                               .arg(scriptArgs({handle, value}));
    const std::optional<QVariant> answer = RunScript(script, kActionTimeoutMs);
    return answer && answer->toBool();
}

} // namespace dh
