#pragma once
// The browser view as the search windows and the login area use it. The real
// view is WebBrowserView (over QtWebEngine); tests of the drivers use a fake
// with the same interface.
#include "net/PageSnapshot.h"

#include <QObject>
#include <QString>

class QWidget;

namespace dh {

class BrowserView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserView() override = default;

    virtual QWidget *Widget() = 0; // the widget to place in a window, or null (fakes)
    virtual void Navigate(const QString &address) = 0;
    virtual void Reload() = 0;
    virtual void Back() = 0;    // failures are ignored
    virtual void Forward() = 0; // failures are ignored
    virtual bool IsBusy() const = 0;
    virtual QString CurrentUrl() const = 0;
    // Script alert/confirm/prompt swallowed while on.
    virtual void SetSilent(bool on) = 0;
    virtual bool IsSilent() const = 0;
    // Reads the current document; waits in the event loop at most timeoutMs.
    virtual PageSnapshot Snapshot(int timeoutMs = 10000) = 0;
    virtual QList<SnapInput> Inputs(int timeoutMs = 10000) = 0;
    virtual int ElementById(const QString &id, int timeoutMs = 10000) = 0; // handle or -1
    // Handles come from the latest Snapshot/Inputs/ElementById.
    virtual bool Click(int handle) = 0;
    virtual bool SetValue(int handle, const QString &value) = 0;

signals:
    void statusTextChanged(const QString &text);
    void titleChanged(const QString &title);
    // The top-level document finished loading (frames do not count).
    void documentComplete(const QString &url);
    // A page asked for a new window; the view has already loaded it in place.
    void newWindowRequested(const QString &url);
};

} // namespace dh
