#pragma once
// Local HTTP server for the search, paging and download tests.
//
// It listens on 127.0.0.1 on two free ports and runs on threads of its own,
// so a test drives it from the UI thread while a browser view or a transfer
// talks to it. Both ports answer the same routes:
//   BaseUrl()     the main server: a thin relay logs each request head as
//                 sent (the HTTP library would decode header values), then
//                 the library answers;
//   RawBaseUrl()  a small responder of our own that writes the status line
//                 and headers byte for byte; only it can send a reason text
//                 other than the standard one ("200 Success") or omit the
//                 Content-Type. DocumentUrl() picks the port a document needs.
//
// Routes:
//   /                     web home page            /scholar_home  scholar home page
//   /search?...           web result pages         /scholar?...   scholar result pages
//   /sorry/index?...      the unusual-traffic page of the captcha rule
//   /sorry/image?...      a tiny image
//   /url?q=<u>&...        302 to <u>               /scholar_url?url=<u>&...  302 to <u>
//   /login                login page (see LoginOptions), /login/submit, /login/ip
//   /docs/<name>.<ext>    registered document, else a small valid file of type <ext>
//   /files/<name>         registered document, else fixtures/files/<name>
//   /fixture/<name>       fixtures/serp/<name> as "text/html; charset=utf-8"
//   any registered path   its document; anything else: 404 page
// A request in absolute form ("GET http://host/path", as sent to a proxy)
// is routed by its path, so the server also works as the proxy of a test.
// Every response carries "Connection: close" and is never compressed; Range
// is ignored unless a document asks for ranges (DocumentOptions::ranges), so
// bodies and lengths are exactly what the test configured.
#include "support/SerpPages.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

namespace dh::test {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One request as it arrived. favicon.ico requests are not logged.
struct LoggedRequest {
    QString method;
    QString target;     // request target exactly as sent: path + "?" + query, escapes untouched.
                        // Clients send a space as %20 (a raw space would not parse).
    QString path;       // path part, percent-decoded (UTF-8)
    QByteArray query;   // raw text after "?", empty without one
    QByteArray referer; // "Referer" header, empty when absent
    QByteArray cookie;  // "Cookie" header
    QByteArray userAgent;
    HeaderList headers;                              // all request headers as sent, in arrival order
    int port = 0;                                    // Port() or RawPort()
    QByteArray Header(const QByteArray &name) const; // first header of that name, any case
};

// How a document body is framed.
enum class Framing {
    ContentLength,      // "Content-Length: <n>"
    Chunked,            // "Transfer-Encoding: chunked"
    CloseWithoutLength, // neither header; the body ends when the connection closes
};

// How a document answers a "Range: bytes=N-" request.
enum class Ranges {
    Ignore,        // the whole body with 200 (as a server without ranges)
    Honour,        // 206 with the rest and its Content-Range; a stale If-Range gets 200 whole
    Unsatisfiable, // 416 to every range request
    WrongStart,    // 206 whose Content-Range starts at 0, with the whole body
};

// A document for the download tests. The defaults give a small valid file
// of the path's extension with a Content-Length.
struct DocumentOptions {
    QByteArray body;        // exact body; when empty a generated body of `size` bytes
    qint64 size = -1;       // generated body size (SerpPages::DocumentBody); -1: type default
    QString type;           // type of the generated body; empty: the path's extension
    QByteArray contentType; // empty: from the type; "-": no Content-Type (raw port only)
    Framing framing = Framing::ContentLength;
    int status = 200;
    QByteArray reason;             // status-line text; empty: the standard one. Another text
                                   // ("Success") is served only on the raw port (the main
                                   // port answers 500 for such a document).
    QByteArray contentDisposition; // raw header value, any bytes; empty: no header
    HeaderList headers;            // further response headers
    int bytesPerSecond = 0;        // slow body; 0: as fast as possible
    qint64 stallAfter = -1;        // send this many body bytes, then nothing more while the
                                   // connection stays open (until Stop()); -1: whole body
    int headerDelayMs = 0;         // wait before the status line is sent
    QString redirectTo;            // non-empty: 302 with this Location (absolute or a path)
    bool requiresLogin = false;    // served only with the login cookie; otherwise an HTML
                                   // page "请先登录" (200, text/html) that links to /login
    // Hostile answers; any of these is served on the raw port only.
    QByteArray contentEncoding;  // "Content-Encoding" value; the body is sent as given
    bool endless = false;        // the body repeats until the client goes away (or Stop())
    qint64 announcedLength = -1; // Content-Length to send whatever the body; -1: the real one
    // Resuming; any of these is served on the raw port only.
    QByteArray etag;         // "ETag" value as sent (quotes included); empty: none
    QByteArray lastModified; // "Last-Modified" value; empty: none
    Ranges ranges = Ranges::Ignore;
    qint64 dropAfter = -1; // the first `drops` answers close the connection after this many body bytes
    int drops = 1;
    // A busy site: the first `busyAnswers` answers are `busyStatus` with this
    // Retry-After (none when empty), the next ones the document.
    int busyAnswers = 0;
    int busyStatus = 429;
    QByteArray retryAfter;

    static DocumentOptions Html(const QString &html); // an HTML page instead of a document
    static DocumentOptions Bytes(const QByteArray &body, const QByteArray &contentType);
    // Reads the file now; a missing file gives a 500 plain-text document.
    static DocumentOptions File(const QString &diskPath, const QByteArray &contentType = {});
    // A gzip body (Content-Encoding: gzip) that inflates to `inflatedSize` zero bytes.
    static DocumentOptions GzipBomb(qint64 inflatedSize, const QByteArray &contentType = "application/pdf");
};

// Captcha rule for the search routes. The page is served for the
// atSearchRequest-th request of /search and /scholar counted since the rule
// was set (1-based; 0: never), and for every search whose group equals
// forQuery (empty: none). With viaSorryRedirect the search answers
// 302 to "/sorry/index?continue=...", which serves the page. Status 200.
struct CaptchaRule {
    CaptchaKind kind = CaptchaKind::English;
    int atSearchRequest = 0;
    QString forQuery;
    bool viaSorryRedirect = false;
};

// The login page. It always holds a form (/login/submit, fields "username",
// "password", a submit input) and an IP-login form whose submit input has the
// id "submitip". With an empty account, opening /login already logs in: its
// response sets the cookie through Set-Cookie and through document.cookie.
// Otherwise /login/submit with the right account and password sets it;
// /login/ip always sets it.
struct LoginOptions {
    QByteArray cookie = "dh_session=ok"; // name=value
    QString account;
    QString password;
    // Names of the form's two fields, as the page writes them and as
    // /login/submit reads them.
    QString accountField = QStringLiteral("username");
    QString passwordField = QStringLiteral("password");
    // Markup that replaces both forms of the login page when not empty.
    QString formHtml = {};
};

class TestServer {
public:
    TestServer();
    ~TestServer(); // Stop()
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    // Binds both ports and returns once the server accepts requests; false
    // when it could not bind. Stop() returns promptly even with stalled or
    // slow bodies open: their connections are cut.
    bool Start();
    void Stop();
    bool IsRunning() const;

    int Port() const;
    int RawPort() const;
    QString BaseUrl() const;                        // "http://127.0.0.1:<port>"
    QString RawBaseUrl() const;                     // "http://127.0.0.1:<raw port>"
    QString Url(const QString &pathAndQuery) const; // BaseUrl() + pathAndQuery

    // Search pages. Web and scholar have a configuration each.
    void SetSearchConfig(Engine engine, const SerpConfig &config);
    SerpConfig SearchConfig(Engine engine) const;
    void SetCaptcha(const CaptchaRule &rule); // also restarts the search count
    void ClearCaptcha();
    int SearchRequestCount() const;    // /search and /scholar requests so far
    QString WebSearchBase() const;     // BaseUrl() + "/search"
    QString ScholarSearchBase() const; // BaseUrl() + "/scholar"
    QString WebHomeUrl() const;        // BaseUrl() + "/"
    QString ScholarHomeUrl() const;    // BaseUrl() + "/scholar_home"
    // Absolute URL of a generated hit's document (what the extractors should
    // list for it after unwrapping a redirect form).
    QString HitUrl(const QString &group, const QString &type, int page, int rank) const;

    // Documents. The path is the decoded path ("/files/报告.pdf"); the query
    // of a request is ignored when matching.
    void AddDocument(const QString &path, const DocumentOptions &doc);
    void RemoveDocument(const QString &path);
    // Absolute URL of the path on the port that can serve its document.
    QString DocumentUrl(const QString &path) const;
    void SetLogin(const LoginOptions &login);
    QString LoginUrl() const;                          // BaseUrl() + "/login"
    QString FixtureUrl(const QString &name) const;     // BaseUrl() + "/fixture/<name>"
    QString FixtureFileUrl(const QString &name) const; // BaseUrl() + "/files/<name>"

    // Request log of both ports, in arrival order.
    QList<LoggedRequest> Requests() const;
    QStringList RequestTargets() const;
    void ClearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace dh::test
