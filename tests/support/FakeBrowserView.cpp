#include "support/FakeBrowserView.h"

#include <QTimer>

namespace dh::test
{

void FakeBrowserView::AddPage(const QString &address, const FakePage &page)
{
    m_pages[address].append(page);
}

void FakeBrowserView::Navigate(const QString &address)
{
    const QString target = address.trimmed().isEmpty() ? QStringLiteral("about:blank") : address.trimmed();
    m_history = m_history.mid(0, m_historyIndex + 1);
    m_history.append(target);
    m_historyIndex = int(m_history.size()) - 1;
    Load(target);
}

void FakeBrowserView::Reload()
{
    if (!m_url.isEmpty())
        Load(m_url);
}

void FakeBrowserView::Back()
{
    if (m_historyIndex > 0)
        Load(m_history.at(--m_historyIndex));
}

void FakeBrowserView::Forward()
{
    if (m_historyIndex + 1 < m_history.size())
        Load(m_history.at(++m_historyIndex));
}

void FakeBrowserView::Load(const QString &address)
{
    m_navigations.append(address);
    m_pending = address;
    m_busy = true;
    const quint64 load = ++m_load;
    if (!m_hold)
        QTimer::singleShot(0, this, [this, load] { Complete(load); });
}

void FakeBrowserView::FinishLoad()
{
    if (m_busy)
        Complete(m_load);
}

void FakeBrowserView::Complete(quint64 load)
{
    // A newer navigation replaced this one.
    if (load != m_load || !m_busy)
        return;
    QList<FakePage> &queue = m_pages[m_pending];
    m_current = queue.isEmpty() ? FakePage{} : (queue.size() > 1 ? queue.takeFirst() : queue.first());
    if (m_current.snapshot.url.isEmpty())
        m_current.snapshot.url = m_pending;
    m_current.snapshot.valid = true;
    m_url = m_pending;
    m_busy = false;
    if (!m_current.title.isEmpty())
        emit titleChanged(m_current.title);
    emit documentComplete(m_url);
}

void FakeBrowserView::RequestNewWindow(const QString &address)
{
    Navigate(address);
    emit newWindowRequested(address);
}

PageSnapshot FakeBrowserView::Snapshot(int)
{
    ++m_snapshots;
    if (m_url.isEmpty() || !m_current.answers)
        return {};
    return m_current.snapshot;
}

QList<SnapInput> FakeBrowserView::Inputs(int)
{
    return m_current.answers ? m_current.inputs : QList<SnapInput>{};
}

int FakeBrowserView::ElementById(const QString &id, int)
{
    return m_current.answers ? m_current.ids.value(id, -1) : -1;
}

bool FakeBrowserView::Knows(int handle) const
{
    if (handle < 0 || !m_current.answers)
        return false;
    const PageSnapshot &s = m_current.snapshot;
    if (s.pnnextHandle == handle || m_current.clickTargets.contains(handle))
        return true;
    for (const SnapElement &e : s.elements)
        if (e.handle == handle || e.linkHandle == handle)
            return true;
    for (const QList<SnapLink> *links : {&s.navLinks, &s.gsnLinks})
        for (const SnapLink &l : *links)
            if (l.handle == handle)
                return true;
    for (const SnapInput &i : m_current.inputs)
        if (i.handle == handle)
            return true;
    for (int id : m_current.ids)
        if (id == handle)
            return true;
    return false;
}

bool FakeBrowserView::Click(int handle)
{
    if (!Knows(handle))
        return false;
    m_clicks.append(handle);
    const QString target = m_current.clickTargets.value(handle);
    if (!target.isEmpty())
        Navigate(target);
    return true;
}

bool FakeBrowserView::SetValue(int handle, const QString &value)
{
    for (SnapInput &input : m_current.inputs) {
        if (input.handle == handle && m_current.answers) {
            input.value = value;
            m_values.append({handle, value});
            return true;
        }
    }
    return false;
}

} // namespace dh::test
