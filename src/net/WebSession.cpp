#include "net/WebSession.h"

#include "util/FileHelpers.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QStandardPaths>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace dh
{
namespace
{
WebSession *g_session = nullptr;
} // namespace

WebSession &WebSession::Instance()
{
    if (!g_session) {
        g_session = new WebSession;
        // The engine tears itself down in a post routine registered when the
        // profile created it; ours is registered later and so runs first,
        // while the engine can still release the profile.
        qAddPostRoutine(&WebSession::Shutdown);
    }
    return *g_session;
}

WebSession *WebSession::Existing()
{
    return g_session;
}

void WebSession::Shutdown()
{
    delete g_session;
    g_session = nullptr;
}

WebSession::WebSession()
{
    m_profile = new QWebEngineProfile(QStringLiteral("Default"), this);
    m_profile->setPersistentStoragePath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                        QStringLiteral("/webengine"));
    m_profile->setCachePath(InternetCacheFolder());
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);

    m_jar = new QNetworkCookieJar(this);
    QWebEngineCookieStore *store = m_profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, m_jar,
            [this](const QNetworkCookie &cookie) { m_jar->insertCookie(cookie); });
    connect(store, &QWebEngineCookieStore::cookieRemoved, m_jar,
            [this](const QNetworkCookie &cookie) { m_jar->deleteCookie(cookie); });
    // Cookies kept from earlier runs arrive through cookieAdded.
    store->loadAllCookies();
}

WebSession::~WebSession() = default;

void WebSession::AttachTo(QNetworkAccessManager *manager)
{
    if (!manager)
        return;
    // The manager adopts the jar it is given; take it back so that the jar
    // outlives the manager and serves the next one.
    manager->setCookieJar(m_jar);
    m_jar->setParent(this);
}

void WebSession::ClearHttpCache()
{
    m_profile->clearHttpCache();
}

} // namespace dh
