#include "search/SearchDriver.h"

#include "net/BrowserView.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Wait.h"

namespace dh {

namespace {
// A page read this recently, with no load since, is not read again.
constexpr qint64 kReadReuseMs = 2000;
const QString kUnreadable = QStringLiteral("本页结果无法识别");
const QString kResumeQuestion = QStringLiteral("上次批量搜索在验证页面中断，是否从中断处继续？");
} // namespace

SearchDriver::SearchDriver(BrowserView *view, SearchHost *host, QObject *parent)
    : QObject(parent), m_view(view), m_host(host)
{
    connect(m_view, &BrowserView::documentComplete, this, [this](const QString &) {
        m_pageWait = false;
        m_lastReadFresh = false;
    });
}

void SearchDriver::SetStopFlags()
{
    m_addAllStop = true;
    m_batchStop = true;
}

QString SearchDriver::extractionFolder() const
{
    return m_host->PromptForSaveLocation() ? m_host->DefaultFolder() : QString();
}

void SearchDriver::appendDone(const QString &text)
{
    m_doneText += text;
    emit doneTextChanged(m_doneText);
}

void SearchDriver::打开谷歌搜索网页(const QString &address)
{
    m_pageWait = true;
    m_lastReadFresh = false;
    m_view->Navigate(address);
    WaitUntil([this] { return !m_view->IsBusy() || !m_pageWait || m_batchStop; }, Durations::PageLoadTimeout,
              this);
}

bool SearchDriver::pause(const std::function<bool()> &abort)
{
    return SleepFor([this] { return qint64(m_host->DelaySeconds()) * Durations::Second; }, abort, this);
}

void SearchDriver::延时()
{
    pause([this] { return m_batchRunning && m_batchStop; });
}

PageSnapshot SearchDriver::ExtractPageLinks()
{
    if (m_lastReadFresh && !m_view->IsBusy() && m_lastReadAge.elapsed() < kReadReuseMs) {
        m_host->RowsChanged();
        return m_lastRead;
    }
    PageSnapshot page = m_view->Snapshot();
    auto sink = [this](const QString &title, const QString &url, const QString &pageAddress, const QString &type,
                       const QString &folder, const QString &last) {
        m_host->AddRow(title, url, pageAddress, type, folder, last);
    };
    const ExtractResult result = dh::ExtractPageLinks(page, extractionFolder(), m_host->ExtractionOptions(), sink);
    if (result.captcha)
        m_captcha = true;
    else if (page.valid && !page.url.isEmpty() && page.url != QLatin1String("about:blank"))
        m_lastGoodPage = page.url;
    m_host->PageNote(result.unreadable ? kUnreadable : QString());
    m_host->RowsChanged();
    m_lastRead = page;
    m_lastReadFresh = page.valid;
    m_lastReadAge.start();
    return page;
}

bool SearchDriver::下一页()
{
    const NextPage next = FindNextPage(ExtractPageLinks());
    if (!next.found()) {
        ExtractPageLinks();
        return false;
    }
    auto aborted = [this] {
        ExtractPageLinks();
        return false;
    };
    m_pageWait = true;
    m_lastReadFresh = false;
    if (!next.url.isEmpty())
        m_view->Navigate(next.url);
    else
        m_view->Click(next.handle);
    YieldEvents(this);
    if (!SleepFor(Durations::NextPageSettle, [this] { return m_addAllStop || batchAborted(); }, this))
        return aborted();
    bool stopped = false;
    WaitUntil(
        [&] {
            if (m_addAllStop || m_captcha || batchAborted()) {
                stopped = true;
                return true;
            }
            return !(m_view->IsBusy() && m_pageWait);
        },
        Durations::NextPageTimeout, this);
    if (stopped || (m_view->IsBusy() && m_pageWait))
        return aborted();
    if (!pause([this] { return m_addAllStop || batchAborted(); }))
        return aborted();
    ExtractPageLinks();
    return true;
}

void SearchDriver::AddAllClicked()
{
    if (m_addAllRunning) {
        m_addAllStop = true;
        emit addAllButtonChanged(true, false);
        m_host->FitColumns();
        return;
    }
    m_addAllRunning = true;
    emit addAllButtonChanged(true, true);
    m_addAllStop = false;
    if (!m_batchRunning) {
        if (m_host->PromptForSaveLocation())
            m_host->ShowSaveLocationDialog();
        m_captcha = false;
    }
    for (;;) {
        YieldEvents(this);
        if (m_addAllStop || m_captcha || batchAborted())
            break;
        if (!下一页())
            break;
        ExtractPageLinks();
        YieldEvents(this);
    }
    ExtractPageLinks();
    m_addAllRunning = false;
    emit addAllButtonChanged(false, true);
    m_addAllStop = true;
    m_host->FitColumns();
}

void SearchDriver::BatchClicked()
{
    const QString base = m_host->ChooseBase();
    if (base.isEmpty()) {
        Messages::Show(nullptr, QStringLiteral("镜像网站主网址设置错误！"), MsgIcon::Error);
        return;
    }
    if (m_batchRunning) {
        m_batchStop = true;
        emit batchButtonChanged(true, false);
        return;
    }
    if (m_addAllRunning) {
        Messages::Show(nullptr, QStringLiteral("正在提取网页信息，请停止以后使用该功能！"), MsgIcon::Error);
        return;
    }
    const QStringList groups = m_host->KeywordGroups();
    const QStringList types = m_host->Types();
    std::optional<BatchPlace> resume;
    if (m_blocked && (m_blocked->groups != groups || m_blocked->types != types))
        m_blocked.reset();
    if (m_blocked && Messages::Ask(nullptr, kResumeQuestion))
        resume = m_blocked;
    m_blocked.reset();

    m_batchRunning = true;
    emit batchButtonChanged(true, true);
    m_batchStop = false;
    m_captcha = false;
    if (!resume) {
        m_doneText.clear();
        emit doneTextChanged(m_doneText);
    }
    if (m_host->PromptForSaveLocation())
        m_host->ShowSaveLocationDialog();
    runBatch(base, groups, types, resume);
    if (!m_captcha)
        打开谷歌搜索网页(base);
    m_batchRunning = false;
    emit batchButtonChanged(false, true);
    m_batchStop = true;
}

void SearchDriver::runBatch(const QString &base, const QStringList &groups, const QStringList &types,
                            const std::optional<BatchPlace> &resume)
{
    const int firstGroup = resume ? resume->group : 0;
    for (int g = firstGroup; g < groups.size(); ++g) {
        const QString &group = groups.at(g);
        YieldEvents(this);
        if (m_batchStop || m_captcha)
            return;
        if (group.trimmed().isEmpty())
            continue;
        const bool resumedGroup = resume && g == resume->group;
        for (int t = resumedGroup ? resume->type : 0; t < types.size(); ++t) {
            const QString &type = types.at(t);
            const bool resumedSearch = resumedGroup && t == resume->type;
            const QString url = resumedSearch ? resume->address : m_host->BuildUrl(base, group, type);
            // The done list already names the search that was cut short.
            if (!resumedSearch)
                appendDone(group + QLatin1Char('(') + type + QStringLiteral(") "));
            m_lastGoodPage.clear();
            打开谷歌搜索网页(url);
            延时();
            AddAllClicked();
            YieldEvents(this);
            if (m_captcha) {
                m_blocked = BatchPlace{groups, types, g, t, m_lastGoodPage.isEmpty() ? url : m_lastGoodPage};
                return;
            }
            打开谷歌搜索网页(QStringLiteral("about:blank"));
            if (m_batchStop)
                return;
        }
        appendDone(QStringLiteral("\r\n"));
        if (m_batchStop || m_captcha)
            return;
        YieldEvents(this);
        延时();
    }
}

void SearchDriver::AddThisPage()
{
    if (m_host->PromptForSaveLocation())
        m_host->ShowSaveLocationDialog();
    m_lastReadFresh = false;
    ExtractPageLinks();
    m_host->FitColumns();
}

} // namespace dh
