#include "support/TestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <httplib.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

namespace dh::test {
namespace {

// One request, whichever port it came in on.
struct Incoming {
    QString method;
    QByteArray target;
    QString path;
    QByteArray query;
    HeaderList headers;
    QByteArray body;
    int port = 0;

    QByteArray Header(const QByteArray &name) const {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        return {};
    }
};

// What to send back; both ports execute the same plan.
struct Plan {
    int status = 200;
    QByteArray reason;
    HeaderList headers;
    QByteArray body;
    Framing framing = Framing::ContentLength;
    int bytesPerSecond = 0;
    qint64 stallAfter = -1;
    int headerDelayMs = 0;
    bool rawOnly = false; // the main server cannot send it as configured
    bool endless = false;
    qint64 announcedLength = -1;
    qint64 dropAfter = -1; // close the connection after this many body bytes
};

QByteArray StandardReason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

bool NeedsRawPort(const DocumentOptions &doc) {
    return (!doc.reason.isEmpty() && doc.reason != StandardReason(doc.status)) || doc.contentType == "-" ||
           !doc.contentEncoding.isEmpty() || doc.endless || doc.announcedLength >= 0 || !doc.etag.isEmpty() ||
           !doc.lastModified.isEmpty() || doc.ranges != Ranges::Ignore || doc.dropAfter >= 0 ||
           doc.busyAnswers > 0;
}

// "bytes=N-" -> N, or -1.
qint64 RangeStart(const QByteArray &range) {
    const QByteArray value = range.trimmed();
    if (!value.startsWith("bytes=") || !value.endsWith('-'))
        return -1;
    bool ok = false;
    const qint64 n = value.mid(6, value.size() - 7).toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

QByteArray GzipZeros(qint64 inflatedSize) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    char buffer[1 << 16];
    qint64 left = inflatedSize;
    int flush = Z_NO_FLUSH;
    do {
        const qint64 n = qMin<qint64>(left, zeros.size());
        left -= n;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        z.avail_in = uInt(n);
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}

// Splits a request target into the routing path (decoded) and the raw query;
// the absolute form of proxy requests is cut down to its path.
void SplitTarget(const QByteArray &target, QString *path, QByteArray *query) {
    QByteArray t = target;
    const qsizetype scheme = t.indexOf("://");
    if (scheme > 0 && !t.startsWith('/')) {
        const qsizetype slash = t.indexOf('/', scheme + 3);
        t = slash < 0 ? QByteArray("/") : t.mid(slash);
    }
    const qsizetype q = t.indexOf('?');
    *query = q < 0 ? QByteArray() : t.mid(q + 1);
    *path = QString::fromUtf8(QByteArray::fromPercentEncoding(q < 0 ? t : t.left(q)));
}

QByteArray ParamValue(const QByteArray &urlEncoded, const QByteArray &key) {
    for (const QByteArray &part : urlEncoded.split('&')) {
        if (part.startsWith(key + '=')) {
            QByteArray v = part.mid(key.size() + 1);
            v.replace('+', ' ');
            return QByteArray::fromPercentEncoding(v);
        }
    }
    return {};
}

bool HasCookie(const QByteArray &cookieHeader, const QByteArray &cookie) {
    for (const QByteArray &c : cookieHeader.split(';'))
        if (c.trimmed() == cookie)
            return true;
    return false;
}

Plan HtmlPlan(const QByteArray &html, int status = 200) {
    Plan p;
    p.status = status;
    p.headers << qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8"));
    p.body = html;
    return p;
}

QByteArray SimplePage(const QString &title, const QString &body) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>\n"
                          "<body>\n%2\n</body></html>\n")
        .arg(title.toHtmlEscaped(), body)
        .toUtf8();
}

Plan RedirectPlan(const QByteArray &location) {
    Plan p = HtmlPlan(
        SimplePage(
            QStringLiteral("302 Moved"),
            QStringLiteral("<a href=\"%1\">here</a>").arg(QString::fromUtf8(location).toHtmlEscaped())),
        302);
    p.headers << qMakePair(QByteArray("Location"), location);
    return p;
}

Plan NotFoundPlan(const QString &path) {
    return HtmlPlan(SimplePage(QStringLiteral("404 Not Found"),
                               QStringLiteral("<h1>Not Found</h1><p>%1</p>").arg(path.toHtmlEscaped())),
                    404);
}

QString FileExtension(const QString &path) {
    return QFileInfo(path).suffix().toLower();
}

QByteArray ReadFile(const QString &diskPath, bool *ok) {
    QFile f(diskPath);
    *ok = f.open(QIODevice::ReadOnly);
    return *ok ? f.readAll() : QByteArray();
}

// A file name from a URL path, without any way up or across folders.
bool SafeName(const QString &name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String("..") && name != QLatin1String(".");
}

QByteArray TinyGif() {
    return QByteArray::fromHex(
        "47494638396101000100800000000000FFFFFF21F90401000000002C00000000010001000002024401003B");
}

} // namespace

QByteArray LoggedRequest::Header(const QByteArray &name) const {
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

DocumentOptions DocumentOptions::Html(const QString &html) {
    return Bytes(html.toUtf8(), "text/html; charset=utf-8");
}

DocumentOptions DocumentOptions::Bytes(const QByteArray &body, const QByteArray &contentType) {
    DocumentOptions s;
    s.body = body;
    s.size = body.size();
    s.contentType = contentType;
    return s;
}

DocumentOptions DocumentOptions::GzipBomb(qint64 inflatedSize, const QByteArray &contentType) {
    static std::mutex mutex;
    static QHash<qint64, QByteArray> made;
    std::lock_guard lock(mutex);
    if (!made.contains(inflatedSize))
        made.insert(inflatedSize, GzipZeros(inflatedSize));
    DocumentOptions s = Bytes(made.value(inflatedSize), contentType);
    s.contentEncoding = "gzip";
    return s;
}

DocumentOptions DocumentOptions::File(const QString &diskPath, const QByteArray &contentType) {
    bool ok = false;
    DocumentOptions s = Bytes(ReadFile(diskPath, &ok), contentType);
    if (contentType.isEmpty())
        s.contentType = SerpPages::ContentTypeFor(FileExtension(diskPath));
    if (!ok) {
        // A missing fixture must fail the test that uses it, not look like an empty file.
        s.status = 500;
        s.body = "missing file: " + diskPath.toUtf8();
        s.contentType = "text/plain";
    }
    return s;
}

struct TestServer::Impl {
    struct RawConnection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    mutable std::mutex mutex; // guards everything up to `log`
    SerpConfig web;
    SerpConfig scholar;
    std::optional<CaptchaRule> captcha;
    int searchesSinceRule = 0;
    int searches = 0;
    QHash<QString, DocumentOptions> documents;
    QHash<QString, int> answered; // document answers so far, by path (for `drops`)
    LoginOptions login;
    QList<LoggedRequest> log;
    // Requests passed on by Relay(), by the relay's local port: the headers as
    // sent, and a flag set once the client has gone.
    struct Relayed {
        HeaderList headers;
        std::shared_ptr<std::atomic<bool>> clientGone;
    };
    QHash<int, Relayed> relayed;

    std::atomic<bool> stopping{false};
    std::mutex sleepMutex;
    std::condition_variable sleepCv;

    bool running = false;
    std::unique_ptr<httplib::Server> http;
    std::thread httpThread;
    int backendPort = 0; // the library's own port, reached only through Relay()

    int port = 0;
    int mainListen = -1;
    std::thread mainThread;
    int rawPort = 0;
    int rawListen = -1;
    std::thread rawThread;
    std::mutex connMutex;
    std::list<RawConnection> connections;

    static QString Base(int p) { return QStringLiteral("http://127.0.0.1:%1").arg(p); }

    // Sleeps unless the server stops first; false when it stops.
    bool Sleep(int ms) {
        std::unique_lock lock(sleepMutex);
        return !sleepCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
    }

    void Log(const Incoming &in) {
        if (in.path.endsWith(QLatin1String("/favicon.ico")))
            return;
        LoggedRequest r;
        r.method = in.method;
        r.target = QString::fromUtf8(in.target);
        r.path = in.path;
        r.query = in.query;
        r.referer = in.Header("Referer");
        r.cookie = in.Header("Cookie");
        r.userAgent = in.Header("User-Agent");
        r.headers = in.headers;
        r.port = in.port;
        std::lock_guard lock(mutex);
        log << r;
    }

    // Writes the plan's body from `offset` through `write`; false when the
    // write failed or the server stopped (a stalled body ends only that way).
    // A client that went away also ends a stalled body.
    bool Pump(const Plan &plan, qint64 offset, const std::function<bool(const char *, size_t)> &write,
              const std::function<bool()> &clientGone) {
        const qint64 total = plan.body.size();
        if (plan.dropAfter >= 0 && offset >= plan.dropAfter)
            return false;
        qint64 limit = plan.stallAfter >= 0 ? qMin(plan.stallAfter, total) : total;
        const bool drop = plan.dropAfter >= 0 && plan.dropAfter < limit;
        if (drop)
            limit = plan.dropAfter;
        const qint64 slice = plan.bytesPerSecond > 0 ? qMax<qint64>(1, plan.bytesPerSecond / 20) : 65536;
        while (offset < limit) {
            if (stopping || clientGone())
                return false;
            const qint64 n = qMin(slice, limit - offset);
            if (!write(plan.body.constData() + offset, size_t(n)))
                return false;
            offset += n;
            if (plan.bytesPerSecond > 0 && offset < limit && !Sleep(int(n * 1000 / plan.bytesPerSecond)))
                return false;
        }
        if (drop) {
            // Closed once the client has read what came, as a mirror that drops out does.
            Sleep(100);
            return false;
        }
        if (limit < total) {
            while (!clientGone() && Sleep(50)) {
            }
            return false;
        }
        return true;
    }

    Plan DocumentPlan(const QString &path, const DocumentOptions &doc, const Incoming &in) {
        LoginOptions l;
        {
            std::lock_guard lock(mutex);
            l = login;
        }
        if (doc.requiresLogin && !HasCookie(in.Header("Cookie"), l.cookie)) {
            return HtmlPlan(
                SimplePage(QStringLiteral("请先登录"),
                           QStringLiteral("<h1>请先登录</h1><p><a href=\"/login\">登录</a></p>")));
        }
        if (!doc.redirectTo.isEmpty())
            return RedirectPlan(doc.redirectTo.toUtf8());
        const QString type = doc.type.isEmpty() ? FileExtension(path) : doc.type.toLower();
        Plan p;
        p.status = doc.status;
        p.reason = doc.reason;
        p.body = !doc.body.isEmpty() || doc.size == 0 ? doc.body : SerpPages::DocumentBody(type, doc.size);
        const QByteArray contentType =
            doc.contentType.isEmpty() ? SerpPages::ContentTypeFor(type) : doc.contentType;
        if (contentType != "-")
            p.headers << qMakePair(QByteArray("Content-Type"), contentType);
        if (!doc.contentDisposition.isEmpty())
            p.headers << qMakePair(QByteArray("Content-Disposition"), doc.contentDisposition);
        if (!doc.contentEncoding.isEmpty())
            p.headers << qMakePair(QByteArray("Content-Encoding"), doc.contentEncoding);
        p.endless = doc.endless;
        p.announcedLength = doc.announcedLength;
        p.headers << doc.headers;
        ApplyRanges(path, doc, in, p);
        p.framing = doc.framing;
        p.bytesPerSecond = doc.bytesPerSecond;
        p.stallAfter = doc.stallAfter;
        p.headerDelayMs = doc.headerDelayMs;
        p.rawOnly = NeedsRawPort(doc);
        return p;
    }

    // Validators, a range answer and a dropped connection, as the document asks.
    void ApplyRanges(const QString &path, const DocumentOptions &doc, const Incoming &in, Plan &p) {
        int answer = 0;
        {
            std::lock_guard lock(mutex);
            answer = ++answered[path];
        }
        if (doc.dropAfter >= 0 && answer <= doc.drops)
            p.dropAfter = doc.dropAfter;
        if (answer <= doc.busyAnswers) {
            p.status = doc.busyStatus;
            p.body = "busy";
            p.headers = {qMakePair(QByteArray("Content-Type"), QByteArray("text/plain"))};
            if (!doc.retryAfter.isEmpty())
                p.headers << qMakePair(QByteArray("Retry-After"), doc.retryAfter);
            return;
        }
        if (!doc.etag.isEmpty())
            p.headers << qMakePair(QByteArray("ETag"), doc.etag);
        if (!doc.lastModified.isEmpty())
            p.headers << qMakePair(QByteArray("Last-Modified"), doc.lastModified);
        const qint64 start = RangeStart(in.Header("Range"));
        if (doc.ranges == Ranges::Ignore || p.status != 200)
            return;
        p.headers << qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes"));
        if (start < 0)
            return;
        const QByteArray total = QByteArray::number(p.body.size());
        const QByteArray ifRange = in.Header("If-Range").trimmed();
        switch (doc.ranges) {
        case Ranges::Ignore:
            return;
        case Ranges::Honour:
            if (!ifRange.isEmpty() && ifRange != doc.etag && ifRange != doc.lastModified)
                return; // changed since: the whole new body
            if (start >= p.body.size()) {
                p.status = 416;
                p.body.clear();
                p.headers << qMakePair(QByteArray("Content-Range"), "bytes */" + total);
                return;
            }
            p.status = 206;
            p.headers << qMakePair(QByteArray("Content-Range"), "bytes " + QByteArray::number(start) + '-' +
                                                                    QByteArray::number(p.body.size() - 1) +
                                                                    '/' + total);
            p.body = p.body.mid(start);
            return;
        case Ranges::Unsatisfiable:
            p.status = 416;
            p.body.clear();
            p.headers << qMakePair(QByteArray("Content-Range"), "bytes */" + total);
            return;
        case Ranges::WrongStart:
            p.status = 206;
            p.headers << qMakePair(QByteArray("Content-Range"),
                                   "bytes 0-" + QByteArray::number(p.body.size() - 1) + '/' + total);
            return;
        }
    }

    Plan SearchPlan(Engine engine, const Incoming &in) {
        const SerpRequest request = SerpPages::ParseRequest(engine, in.query);
        SerpConfig config;
        std::optional<CaptchaRule> rule;
        bool blocked = false;
        {
            std::lock_guard lock(mutex);
            config = engine == Engine::Web ? web : scholar;
            ++searches;
            const int n = ++searchesSinceRule;
            if (captcha) {
                blocked = captcha->atSearchRequest == n ||
                          (!captcha->forQuery.isEmpty() && captcha->forQuery == request.group);
                rule = captcha;
            }
        }
        if (blocked) {
            if (rule->viaSorryRedirect) {
                const QByteArray original = Base(in.port).toUtf8() + in.target;
                return RedirectPlan(Base(in.port).toUtf8() + "/sorry/index?continue=" +
                                    QUrl::toPercentEncoding(QString::fromUtf8(original)) + "&q=EgQ");
            }
            return HtmlPlan(SerpPages::CaptchaPage(rule->kind));
        }
        Plan p = HtmlPlan(SerpPages::ResultPage(config, request, Base(in.port)));
        p.headerDelayMs = config.delayMs;
        return p;
    }

    Plan LoginPlan(const Incoming &in) {
        LoginOptions l;
        {
            std::lock_guard lock(mutex);
            l = login;
        }
        QString cookieJs = QString::fromUtf8(l.cookie);
        cookieJs.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('"'), QLatin1String("\\\""))
            .replace(QLatin1Char('<'), QLatin1String("\\x3c"));
        const QString form =
            !l.formHtml.isEmpty()
                ? l.formHtml
                : QStringLiteral(
                      "<h1>用户登录</h1>\n<form id=\"loginform\" action=\"/login/submit\" "
                      "method=\"post\">帐号：<input type=\"text\" name=\"%1\"> 密码：<input "
                      "type=\"password\" name=\"%2\"> <input type=\"submit\" value=\"登录\"></form>\n"
                      "<form action=\"/login/ip\" method=\"post\"><input type=\"submit\" "
                      "id=\"submitip\" value=\"IP登录\"></form>")
                      .arg(l.accountField.toHtmlEscaped(), l.passwordField.toHtmlEscaped());
        const QString done =
            QStringLiteral("<h1>登录成功</h1>\n<script>document.cookie = \"%1; path=/\";</script>")
                .arg(cookieJs);
        const auto loggedIn = [&](const QString &body) {
            Plan p = HtmlPlan(SimplePage(QStringLiteral("登录"), body));
            p.headers << qMakePair(QByteArray("Set-Cookie"), l.cookie + "; Path=/");
            return p;
        };
        if (in.path == QLatin1String("/login/ip"))
            return loggedIn(done);
        if (in.path == QLatin1String("/login/submit")) {
            const QByteArray params = in.query + '&' + in.body;
            if (!l.account.isEmpty() &&
                QString::fromUtf8(ParamValue(params, l.accountField.toUtf8())) == l.account &&
                QString::fromUtf8(ParamValue(params, l.passwordField.toUtf8())) == l.password)
                return loggedIn(done);
            return HtmlPlan(SimplePage(QStringLiteral("登录"), QStringLiteral("<h1>登录失败</h1>\n") + form));
        }
        if (l.account.isEmpty())
            return loggedIn(form + QLatin1Char('\n') + done);
        return HtmlPlan(SimplePage(QStringLiteral("登录"), form));
    }

    Plan Route(const Incoming &in) {
        const QString &path = in.path;
        {
            std::unique_lock lock(mutex);
            const auto it = documents.constFind(path);
            if (it != documents.cend()) {
                const DocumentOptions doc = *it;
                lock.unlock();
                return DocumentPlan(path, doc, in);
            }
        }
        if (path == QLatin1String("/"))
            return HtmlPlan(SerpPages::HomePage(Engine::Web));
        if (path == QLatin1String("/scholar_home"))
            return HtmlPlan(SerpPages::HomePage(Engine::Scholar));
        if (path == QLatin1String("/search"))
            return SearchPlan(Engine::Web, in);
        if (path == QLatin1String("/scholar"))
            return SearchPlan(Engine::Scholar, in);
        if (path == QLatin1String("/sorry/index")) {
            std::lock_guard lock(mutex);
            return HtmlPlan(SerpPages::CaptchaPage(captcha ? captcha->kind : CaptchaKind::English));
        }
        if (path == QLatin1String("/sorry/image")) {
            DocumentOptions gif = DocumentOptions::Bytes(TinyGif(), "image/gif");
            return DocumentPlan(path, gif, in);
        }
        if (path == QLatin1String("/url") || path == QLatin1String("/scholar_url")) {
            const QByteArray to = ParamValue(in.query, path == QLatin1String("/url") ? "q" : "url");
            return to.isEmpty() ? NotFoundPlan(path) : RedirectPlan(to);
        }
        if (path == QLatin1String("/login") || path.startsWith(QLatin1String("/login/")))
            return LoginPlan(in);
        if (path.startsWith(QLatin1String("/docs/")) && !FileExtension(path).isEmpty())
            return DocumentPlan(path, DocumentOptions(), in);
        if (path.startsWith(QLatin1String("/files/")) || path.startsWith(QLatin1String("/fixture/"))) {
            const bool serp = path.startsWith(QLatin1String("/fixture/"));
            const QString name = path.mid(path.indexOf(QLatin1Char('/'), 1) + 1);
            bool ok = false;
            const QByteArray bytes =
                SafeName(name)
                    ? ReadFile(
                          QDir(QStringLiteral(DH_FIXTURES_DIR))
                              .filePath((serp ? QStringLiteral("serp/") : QStringLiteral("files/")) + name),
                          &ok)
                    : QByteArray();
            if (!ok)
                return NotFoundPlan(path);
            // The saved pages are UTF-8 whatever their own meta tags claim.
            const QByteArray type = serp ? QByteArray("text/html; charset=utf-8")
                                         : SerpPages::ContentTypeFor(FileExtension(name));
            return DocumentPlan(path, DocumentOptions::Bytes(bytes, type), in);
        }
        return NotFoundPlan(path);
    }

    void HandleHttp(const httplib::Request &req, httplib::Response &res) {
        // Keep bodies byte-exact and whole: no compression, no ranges.
        auto &mutableReq = const_cast<httplib::Request &>(req);
        Incoming in;
        std::shared_ptr<std::atomic<bool>> gone;
        in.method = QString::fromStdString(req.method);
        in.target = QByteArray::fromStdString(req.target);
        SplitTarget(in.target, &in.path, &in.query);
        {
            std::lock_guard lock(mutex);
            const Relayed r = relayed.value(req.remote_port);
            in.headers = r.headers;
            gone = r.clientGone;
        }
        in.body = QByteArray::fromStdString(req.body);
        in.port = port;
        mutableReq.headers.erase("Accept-Encoding");
        mutableReq.ranges.clear();

        auto plan = std::make_shared<Plan>(Route(in));
        if (plan->rawOnly) {
            // Fail loudly rather than send something else than the test asked for.
            *plan =
                HtmlPlan(SimplePage(QStringLiteral("500"),
                                    QStringLiteral("This document needs the raw port: use DocumentUrl().")),
                         500);
        }
        if (plan->headerDelayMs > 0 && !Sleep(plan->headerDelayMs)) {
            res.status = 503;
            return;
        }
        res.status = plan->status;
        std::string contentType;
        for (const auto &[name, value] : std::as_const(plan->headers)) {
            if (name.compare("Content-Type", Qt::CaseInsensitive) == 0)
                contentType = value.toStdString();
            else
                res.headers.emplace(name.toStdString(), value.toStdString());
        }
        if (contentType.empty())
            contentType = "application/octet-stream";
        const auto clientGone = [gone] { return gone && *gone; };
        const auto sinkWriter = [](httplib::DataSink &sink) {
            return [&sink](const char *data, size_t n) { return sink.is_writable() && sink.write(data, n); };
        };
        switch (plan->framing) {
        case Framing::ContentLength:
            if (plan->body.isEmpty()) {
                res.set_header("Content-Type", contentType);
                break;
            }
            res.set_content_provider(
                size_t(plan->body.size()), contentType,
                [this, plan, sinkWriter, clientGone](size_t offset, size_t, httplib::DataSink &sink) {
                    return Pump(*plan, qint64(offset), sinkWriter(sink), clientGone);
                });
            break;
        case Framing::Chunked:
            res.set_chunked_content_provider(
                contentType, [this, plan, sinkWriter, clientGone](size_t offset, httplib::DataSink &sink) {
                    if (!Pump(*plan, qint64(offset), sinkWriter(sink), clientGone))
                        return false;
                    sink.done();
                    return true;
                });
            break;
        case Framing::CloseWithoutLength:
            res.set_content_provider(
                contentType, [this, plan, sinkWriter, clientGone](size_t offset, httplib::DataSink &sink) {
                    if (!Pump(*plan, qint64(offset), sinkWriter(sink), clientGone))
                        return false;
                    sink.done();
                    return true;
                });
            break;
        }
    }

    // Socket work polls in short slices so that Stop() is seen at once.
    bool SendAll(int fd, const char *data, size_t n) {
        while (n > 0) {
            if (stopping)
                return false;
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, 50);
            if (r < 0)
                return false;
            if (r == 0)
                continue;
            const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data += sent;
            n -= size_t(sent);
        }
        return true;
    }

    // Reads until `done` holds for what was read; false on close, stop or time-out.
    bool ReadUntil(int fd, QByteArray *buffer, const std::function<bool(const QByteArray &)> &done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        char buf[4096];
        while (!done(*buffer)) {
            if (stopping || std::chrono::steady_clock::now() > deadline || buffer->size() > (1 << 20))
                return false;
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 50);
            if (r < 0)
                return false;
            if (r == 0)
                continue;
            const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
            if (got <= 0)
                return false;
            buffer->append(buf, got);
        }
        return true;
    }

    bool ReadHead(int fd, QByteArray *buffer) {
        return ReadUntil(fd, buffer, [](const QByteArray &b) { return b.contains("\r\n\r\n"); });
    }

    static Incoming ParseHead(const QByteArray &buffer, int port) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Incoming in;
        in.method = QString::fromLatin1(requestLine.value(0));
        in.target = requestLine.value(1);
        SplitTarget(in.target, &in.path, &in.query);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                in.headers << qMakePair(lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed());
        }
        in.body = buffer.mid(end + 4);
        in.port = port;
        return in;
    }

    // Main port: log the request head as sent (the HTTP library decodes
    // header values), then pass the bytes both ways to the library's port.
    void Relay(int client) {
        QByteArray buffer;
        const int backend = ReadHead(client, &buffer) ? Connect(backendPort) : -1;
        int relayPort = 0;
        if (backend >= 0) {
            const Incoming in = ParseHead(buffer, port);
            Log(in);
            // The handler finds the headers as sent through the relay's own port.
            const auto gone = std::make_shared<std::atomic<bool>>(false);
            sockaddr_in local{};
            socklen_t len = sizeof local;
            if (::getsockname(backend, reinterpret_cast<sockaddr *>(&local), &len) == 0) {
                relayPort = ntohs(local.sin_port);
                std::lock_guard lock(mutex);
                relayed.insert(relayPort, {in.headers, gone});
            }
            bool ok = SendAll(backend, buffer.constData(), size_t(buffer.size()));
            char buf[16384];
            while (ok && !stopping) {
                pollfd p[2] = {{backend, POLLIN, 0}, {client, POLLIN, 0}};
                if (::poll(p, 2, 50) <= 0)
                    continue;
                if (p[0].revents) {
                    const ssize_t n = ::recv(backend, buf, sizeof buf, 0);
                    ok = n > 0 && SendAll(client, buf, size_t(n));
                }
                if (ok && p[1].revents) {
                    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                    ok = n > 0 && SendAll(backend, buf, size_t(n));
                }
            }
            *gone = true;
            ::close(backend);
            std::lock_guard lock(mutex);
            relayed.remove(relayPort);
        }
        ::shutdown(client, SHUT_RDWR);
        ::close(client);
    }

    // Raw port: our own status line and headers, byte for byte.
    void ServeRaw(int fd) {
        QByteArray buffer;
        if (ReadHead(fd, &buffer)) {
            Incoming in = ParseHead(buffer, rawPort);
            const qsizetype length = in.Header("Content-Length").toLongLong();
            const qsizetype bodyStart = buffer.indexOf("\r\n\r\n") + 4;
            if (length > 0 &&
                ReadUntil(fd, &buffer, [&](const QByteArray &b) { return b.size() >= bodyStart + length; }))
                in.body = buffer.mid(bodyStart, length);
            Log(in);
            const Plan plan = Route(in);
            if (plan.headerDelayMs <= 0 || Sleep(plan.headerDelayMs)) {
                QByteArray out = "HTTP/1.1 " + QByteArray::number(plan.status) + ' ' +
                                 (plan.reason.isEmpty() ? StandardReason(plan.status) : plan.reason) + "\r\n";
                for (const auto &[name, value] : plan.headers)
                    out += name + ": " + value + "\r\n";
                if (plan.framing == Framing::ContentLength)
                    out += "Content-Length: " +
                           QByteArray::number(plan.announcedLength >= 0 ? plan.announcedLength
                                                                        : plan.body.size()) +
                           "\r\n";
                else if (plan.framing == Framing::Chunked)
                    out += "Transfer-Encoding: chunked\r\n";
                out += "Connection: close\r\n\r\n";
                bool ok = SendAll(fd, out.constData(), size_t(out.size()));
                const auto clientGone = [fd] {
                    pollfd p{fd, POLLIN, 0};
                    char c;
                    return ::poll(&p, 1, 0) > 0 && ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
                };
                if (ok && in.method != QLatin1String("HEAD")) {
                    if (plan.framing == Framing::Chunked) {
                        ok = Pump(
                            plan, 0,
                            [&](const char *data, size_t n) {
                                const QByteArray size = QByteArray::number(qulonglong(n), 16) + "\r\n";
                                return SendAll(fd, size.constData(), size_t(size.size())) &&
                                       SendAll(fd, data, n) && SendAll(fd, "\r\n", 2);
                            },
                            clientGone);
                        if (ok)
                            SendAll(fd, "0\r\n\r\n", 5);
                    } else {
                        while (Pump(
                                   plan, 0, [&](const char *data, size_t n) { return SendAll(fd, data, n); },
                                   clientGone) &&
                               plan.endless && !plan.body.isEmpty()) {
                        }
                    }
                }
            }
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    static int Connect(int toPort) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(quint16(toPort));
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    // A listening socket on a free loopback port; -1 on failure.
    static int Listen(int *boundPort) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return -1;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
            ::close(fd);
            return -1;
        }
        *boundPort = ntohs(addr.sin_port);
        return fd;
    }

    void AcceptLoop(int listenFd, void (Impl::*serve)(int)) {
        while (!stopping) {
            pollfd p{listenFd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept(listenFd, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::lock_guard lock(connMutex);
            for (auto it = connections.begin(); it != connections.end();) {
                if (*it->done) {
                    it->thread.join();
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
            auto done = std::make_shared<std::atomic<bool>>(false);
            connections.push_back({std::thread([this, serve, fd, done] {
                                       (this->*serve)(fd);
                                       *done = true;
                                   }),
                                   done});
        }
    }

    bool StartSockets() {
        mainListen = Listen(&port);
        rawListen = Listen(&rawPort);
        if (mainListen < 0 || rawListen < 0)
            return false;
        mainThread = std::thread([this] { AcceptLoop(mainListen, &Impl::Relay); });
        rawThread = std::thread([this] { AcceptLoop(rawListen, &Impl::ServeRaw); });
        return true;
    }

    void StopSockets() {
        for (std::thread *t : {&mainThread, &rawThread})
            if (t->joinable())
                t->join();
        for (int *fd : {&mainListen, &rawListen}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        std::lock_guard lock(connMutex);
        for (RawConnection &c : connections)
            c.thread.join();
        connections.clear();
    }
};

TestServer::TestServer() : d(std::make_unique<Impl>()) {}

TestServer::~TestServer() {
    Stop();
}

bool TestServer::Start() {
    if (d->running)
        return true;
    d->stopping = false;
    d->http = std::make_unique<httplib::Server>();
    httplib::Server &http = *d->http;
    // Stalled bodies hold a worker each; browsers open several connections.
    http.new_task_queue = [] { return new httplib::ThreadPool(24); };
    // One request per connection and short idle waits: Stop() must not wait
    // for a client's idle keep-alive connection.
    http.set_keep_alive_max_count(1);
    http.set_keep_alive_timeout(1);
    http.set_write_timeout(2, 0);
    const auto handler = [this](const httplib::Request &req, httplib::Response &res) {
        d->HandleHttp(req, res);
    };
    http.Get(".*", handler);
    http.Post(".*", handler);
    d->backendPort = http.bind_to_any_port("127.0.0.1");
    if (d->backendPort <= 0) {
        d->http.reset();
        return false;
    }
    d->httpThread = std::thread([&http] { http.listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!http.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    d->running = true;
    if (!http.is_running() || !d->StartSockets()) {
        Stop();
        return false;
    }
    return true;
}

void TestServer::Stop() {
    if (!d->running)
        return;
    {
        std::lock_guard lock(d->sleepMutex);
        d->stopping = true;
    }
    d->sleepCv.notify_all();
    d->StopSockets();
    d->http->stop();
    if (d->httpThread.joinable())
        d->httpThread.join();
    d->http.reset();
    d->running = false;
}

bool TestServer::IsRunning() const {
    return d->running;
}
int TestServer::Port() const {
    return d->port;
}
int TestServer::RawPort() const {
    return d->rawPort;
}
QString TestServer::BaseUrl() const {
    return Impl::Base(d->port);
}
QString TestServer::RawBaseUrl() const {
    return Impl::Base(d->rawPort);
}
QString TestServer::Url(const QString &pathAndQuery) const {
    return BaseUrl() + pathAndQuery;
}

void TestServer::SetSearchConfig(Engine engine, const SerpConfig &config) {
    std::lock_guard lock(d->mutex);
    (engine == Engine::Web ? d->web : d->scholar) = config;
}

SerpConfig TestServer::SearchConfig(Engine engine) const {
    std::lock_guard lock(d->mutex);
    return engine == Engine::Web ? d->web : d->scholar;
}

void TestServer::SetCaptcha(const CaptchaRule &rule) {
    std::lock_guard lock(d->mutex);
    d->captcha = rule;
    d->searchesSinceRule = 0;
}

void TestServer::ClearCaptcha() {
    std::lock_guard lock(d->mutex);
    d->captcha.reset();
}

int TestServer::SearchRequestCount() const {
    std::lock_guard lock(d->mutex);
    return d->searches;
}

QString TestServer::WebSearchBase() const {
    return BaseUrl() + QStringLiteral("/search");
}
QString TestServer::ScholarSearchBase() const {
    return BaseUrl() + QStringLiteral("/scholar");
}
QString TestServer::WebHomeUrl() const {
    return BaseUrl() + QStringLiteral("/");
}
QString TestServer::ScholarHomeUrl() const {
    return BaseUrl() + QStringLiteral("/scholar_home");
}

QString TestServer::HitUrl(const QString &group, const QString &type, int page, int rank) const {
    return BaseUrl() + SerpPages::DocumentPath(group, type, page, rank);
}

void TestServer::AddDocument(const QString &path, const DocumentOptions &doc) {
    std::lock_guard lock(d->mutex);
    d->documents.insert(path, doc);
}

void TestServer::RemoveDocument(const QString &path) {
    std::lock_guard lock(d->mutex);
    d->documents.remove(path);
}

QString TestServer::DocumentUrl(const QString &path) const {
    bool raw = false;
    {
        std::lock_guard lock(d->mutex);
        const auto it = d->documents.constFind(path);
        raw = it != d->documents.cend() && NeedsRawPort(*it);
    }
    return (raw ? RawBaseUrl() : BaseUrl()) + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
}

void TestServer::SetLogin(const LoginOptions &login) {
    std::lock_guard lock(d->mutex);
    d->login = login;
}

QString TestServer::LoginUrl() const {
    return BaseUrl() + QStringLiteral("/login");
}

QString TestServer::FixtureUrl(const QString &name) const {
    return BaseUrl() + QStringLiteral("/fixture/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QString TestServer::FixtureFileUrl(const QString &name) const {
    return BaseUrl() + QStringLiteral("/files/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QList<LoggedRequest> TestServer::Requests() const {
    std::lock_guard lock(d->mutex);
    return d->log;
}

QStringList TestServer::RequestTargets() const {
    QStringList out;
    for (const LoggedRequest &r : Requests())
        out << r.target;
    return out;
}

void TestServer::ClearRequests() {
    std::lock_guard lock(d->mutex);
    d->log.clear();
}

} // namespace dh::test
