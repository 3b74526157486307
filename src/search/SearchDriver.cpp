#include "search/SearchDriver.h"

#include "net/BrowserView.h"
#include "util/Clock.h"
#include "util/Messages.h"
#include "util/Wait.h"

namespace dh {

SearchDriver::SearchDriver(BrowserView *view, SearchHost *host, QObject *parent)
    : QObject(parent), m_view(view), m_host(host)
{
    connect(m_view, &BrowserView::documentComplete, this, [this](const QString &) { m_pageWait = false; });
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
    m_view->Navigate(address);
    WaitUntil([this] { return !m_view->IsBusy() || !m_pageWait || m_batchStop; },
              Durations::PageLoadTimeout);
}

void SearchDriver::延时()
{
    const qint64 start = Clock::Now();
    WaitUntil(
        [this, start] {
            if (m_batchRunning && m_batchStop)
                return true;
            return Clock::Now() - start >= qint64(m_host->DelaySeconds()) * Durations::Second;
        },
        -1);
}

PageSnapshot SearchDriver::ExtractPageLinks()
{
    PageSnapshot page = m_view->Snapshot();
    auto sink = [this](const QString &title, const QString &url, const QString &pageAddress, const QString &type,
                       const QString &folder, const QString &last) {
        m_host->AddRow(title, url, pageAddress, type, folder, last);
    };
    const ExtractResult result = dh::ExtractPageLinks(page, extractionFolder(), m_host->ExtractionOptions(), sink);
    if (result.captcha)
        m_captcha = true;
    m_host->RowsChanged();
    return page;
}

bool SearchDriver::下一页()
{
    const int next = FindNextLink(ExtractPageLinks());
    if (next < 0) {
        ExtractPageLinks();
        return false;
    }
    auto aborted = [this] {
        ExtractPageLinks();
        return false;
    };
    m_pageWait = true;
    m_view->Click(next);
    YieldEvents();
    if (!SleepFor(Durations::NextPageSettle, [this] { return m_addAllStop || batchAborted(); }))
        return aborted();
    const qint64 start = Clock::Now();
    bool stopped = false;
    WaitUntil(
        [&] {
            if (m_addAllStop || m_captcha || batchAborted()) {
                stopped = true;
                return true;
            }
            if (Clock::Now() - start > Durations::NextPageTimeout) {
                stopped = true;
                return true;
            }
            return !(m_view->IsBusy() && m_pageWait);
        },
        -1);
    if (stopped)
        return aborted();
    const qint64 pauseStart = Clock::Now();
    bool pauseAborted = false;
    WaitUntil(
        [&] {
            if (m_addAllStop || batchAborted()) {
                pauseAborted = true;
                return true;
            }
            return Clock::Now() - pauseStart >= qint64(m_host->DelaySeconds()) * Durations::Second;
        },
        -1);
    if (pauseAborted)
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
        YieldEvents();
        if (m_addAllStop || m_captcha || batchAborted())
            break;
        if (!下一页())
            break;
        ExtractPageLinks();
        YieldEvents();
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
    m_batchRunning = true;
    emit batchButtonChanged(true, true);
    m_batchStop = false;
    m_captcha = false;
    m_doneText.clear();
    emit doneTextChanged(m_doneText);
    if (m_host->PromptForSaveLocation())
        m_host->ShowSaveLocationDialog();

    const QStringList groups = m_host->KeywordGroups();
    const QStringList types = m_host->Types();
    bool leave = false;
    for (const QString &group : groups) {
        YieldEvents();
        if (m_batchStop || m_captcha)
            break;
        if (group.trimmed().isEmpty())
            continue;
        for (const QString &type : types) {
            const QString url = m_host->BuildUrl(base, group, type);
            appendDone(group + QLatin1Char('(') + type + QStringLiteral(") "));
            打开谷歌搜索网页(url);
            延时();
            AddAllClicked();
            YieldEvents();
            if (!m_captcha)
                打开谷歌搜索网页(QStringLiteral("about:blank"));
            if (m_batchStop || m_captcha) {
                leave = true;
                break;
            }
        }
        if (leave)
            break;
        appendDone(QStringLiteral("\r\n"));
        if (m_batchStop || m_captcha)
            break;
        YieldEvents();
        延时();
    }
    if (!m_captcha)
        打开谷歌搜索网页(base);
    m_batchRunning = false;
    emit batchButtonChanged(false, true);
    m_batchStop = true;
}

void SearchDriver::AddThisPage()
{
    if (m_host->PromptForSaveLocation())
        m_host->ShowSaveLocationDialog();
    ExtractPageLinks();
    m_host->FitColumns();
}

} // namespace dh
