#pragma once
// uXMLHTTP: one HTTP request at a time without blocking the user interface.
// Completion is found by polling on a 10 ms timer (tmrReader), which also
// raises OnReadyStateChange on every tick; the reply ends in OnDateArrived
// (status 200, after the body was saved when a save path is set) or in
// OnDateErr with the Chinese text of the status. Built on QNetworkAccessManager.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace dh {

class uXMLHTTP : public QObject {
    Q_OBJECT
public:
    // A body larger than this is not kept: the request fails instead.
    static constexpr qint64 DefaultMaxBody = 64LL * 1024 * 1024;
    // No byte for this long (program time) ends the request as a transport failure.
    static constexpr qint64 StallTimeoutMs = 60 * 1000;

    explicit uXMLHTTP(QObject *parent = nullptr);
    ~uXMLHTTP() override;

    // Prepares a request; false (nothing prepared) for a method that is not an
    // HTTP token or an address that is not http/https.
    bool Open_(const QString &method, const QString &url, const QString &savePath = {});
    void SetRequestHeader(const QString &name, const QString &value);
    void Send_(const QByteArray &body = {});
    void Abort_();

    bool DownOK() const { return m_done; }
    int ReadyState() const { return m_readyState; }
    int Status() const;
    QString StatusText() const;
    // The values of a header, any case of its name, joined by ", ".
    QString GetResponseHeader(const QString &name) const;
    // "Name: value" lines ending in CR LF, names as "Content-Length" on every Qt version.
    QString GetAllResponseHeaders() const;
    QByteArray ResponseBody() const { return m_body; }
    QString ResponseText() const;

    void SetMaxBodySize(qint64 bytes) { m_maxBody = bytes; }

    // The status text table: the text of a code from 0 to 600, empty otherwise.
    static QString StatusDescription(int status);
    // OnDateErr's text when a body passes the size limit.
    static QString TooLargeText();

signals:
    void OnDateArrived();
    void OnReadyStateChange();
    void OnDateErr(const QString &text);

private:
    void poll();
    void dropReply();
    void readBody();
    void finished();
    void saveBody();

    QNetworkAccessManager *m_manager = nullptr;
    QTimer *m_tmrReader = nullptr;
    QTimer *m_stallTimer = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_method;
    QUrl m_url;
    QList<QPair<QByteArray, QByteArray>> m_requestHeaders;
    QString m_savePath;
    bool m_armed = false;
    bool m_opened = false;
    bool m_done = false;
    bool m_tooLarge = false;
    int m_readyState = 0;
    int m_status = 0;
    QString m_statusText;
    QList<QPair<QByteArray, QByteArray>> m_responseHeaders;
    QByteArray m_body;
    qint64 m_maxBody = DefaultMaxBody;
};

} // namespace dh
