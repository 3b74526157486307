#pragma once
// The one browser session of the process: every browser view uses its
// persistent profile, and its cookie store feeds the cookie jar of the HTTP
// transfers, so a login made in a view is seen by the downloads.
#include <QObject>

class QNetworkAccessManager;
class QNetworkCookieJar;
class QWebEngineProfile;

namespace dh
{

class WebSession : public QObject
{
    Q_OBJECT
public:
    // Created on first use (needs the application object); lives until the
    // application shuts down.
    static WebSession &Instance();
    // The session when one was created, else null (a clear at exit must not start the engine).
    static WebSession *Existing();

    QWebEngineProfile *Profile() const { return m_profile; }
    // Mirrors the profile's cookies; owned by the session.
    QNetworkCookieJar *CookieJar() const { return m_jar; }
    // Lets `manager` send the session's cookies. The jar stays the session's.
    void AttachTo(QNetworkAccessManager *manager);
    void ClearHttpCache();

private:
    WebSession();
    ~WebSession() override;
    static void Shutdown();

    QWebEngineProfile *m_profile = nullptr;
    QNetworkCookieJar *m_jar = nullptr;
};

} // namespace dh
