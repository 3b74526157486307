#pragma once
// A scriptable browser view for the unit tests of the drivers: pages are
// snapshots queued per address, navigations and clicks are recorded, and a
// load completes on the next turn of the event loop, as a real view does.
#include "net/BrowserView.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QStringList>

namespace dh::test
{

struct FakePage {
    PageSnapshot snapshot; // its url is filled in when empty; valid is set
    QList<SnapInput> inputs;
    QHash<QString, int> ids;          // ElementById answers
    QHash<int, QString> clickTargets; // handle -> address a click loads
    QString title;
    bool answers = true; // false: every read times out (a stuck page)
};

class FakeBrowserView : public BrowserView
{
    Q_OBJECT
public:
    using BrowserView::BrowserView;

    // Each load of `address` takes the next queued page; the last one stays.
    // An address without pages loads an empty page.
    void AddPage(const QString &address, const FakePage &page);
    // While held, loads stay busy until FinishLoad.
    void SetHoldLoads(bool hold) { m_hold = hold; }
    void FinishLoad();
    // A page script opening a window: the view loads it in place.
    void RequestNewWindow(const QString &address);

    const QStringList &Navigations() const { return m_navigations; } // every load, reloads included
    const QList<int> &Clicks() const { return m_clicks; }
    const QList<QPair<int, QString>> &Values() const { return m_values; }
    int SnapshotCount() const { return m_snapshots; }
    const FakePage &Current() const { return m_current; }

    QWidget *Widget() override { return nullptr; }
    void Navigate(const QString &address) override;
    void Reload() override;
    void Back() override;
    void Forward() override;
    bool IsBusy() const override { return m_busy; }
    QString CurrentUrl() const override { return m_url; }
    void SetSilent(bool on) override { m_silent = on; }
    bool IsSilent() const override { return m_silent; }
    PageSnapshot Snapshot(int timeoutMs = 10000) override;
    QList<SnapInput> Inputs(int timeoutMs = 10000) override;
    int ElementById(const QString &id, int timeoutMs = 10000) override;
    bool Click(int handle) override;
    bool SetValue(int handle, const QString &value) override;

private:
    void Load(const QString &address);
    void Complete(quint64 load);
    bool Knows(int handle) const;

    QHash<QString, QList<FakePage>> m_pages;
    QStringList m_history;
    int m_historyIndex = -1;
    QString m_url;
    FakePage m_current;
    QString m_pending;
    quint64 m_load = 0;
    bool m_busy = false;
    bool m_hold = false;
    bool m_silent = false;
    int m_snapshots = 0;
    QStringList m_navigations;
    QList<int> m_clicks;
    QList<QPair<int, QString>> m_values;
};

} // namespace dh::test
