#include "net/uXMLHTTP.h"

#include "net/HttpHeaders.h"
#include "util/Clock.h"
#include "util/FileHelpers.h"
#include "util/TextCoding.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>

#include <array>

namespace dh {
namespace {

constexpr int kTableSize = 601;

const std::array<QString, kTableSize> &statusTable() {
    static const std::array<QString, kTableSize> table = [] {
        std::array<QString, kTableSize> t;
        const std::pair<int, const char *> texts[] = {
            {100, "客户必须继续发出请求"},
            {101, "客户要求服务器根据请求转换HTTP协议版本"},
            {200, "交易成功"},
            {201, "提示知道新文件的URL"},
            {202, "接受和处理?但处理未完成"},
            {203, "返回信息不确定或不完整"},
            {204, "请求收到，但返回信息为空"},
            {205, "服务器完成了请求，用户代理必须复位当前已经浏览过的文件"},
            {206, "服务器已经完成了部分用户的GET请求"},
            {300, "请求的资源可在多处得到"},
            {301, "删除请求数据"},
            {302, "在其他地址发现了请求数据"},
            {303, "建议客户访问其他URL或访问方式"},
            {304, "客户端已经执行了GET，但文件未变化"},
            {305, "请求的资源必须从服务器指定的地址得到"},
            {306, "前一版本HTTP中使用的代码，现行版本中不再使用"},
            {307, "申明请求的资源临时性删除"},
            {400, "错误请求，如语法错误"},
            {401, "请求授权失败"},
            {402, "保留有效ChargeTo头响应"},
            {403, "请求不允许"},
            {404, "没有发现文件?查询或URl"},
            {405, "用户在Request -Line字段定义的方法不允许"},
            {406, "根据用户发送的Accept拖，请求资源不可访问"},
            {407, "类似401，用户必须首先在代理服务器上得到授权"},
            {408, "客户端没有在用户指定的饿时间内完成请求"},
            {409, "对当前资源状态，请求不能完成"},
            {410, "服务器上不再有此资源且无进一步的参考地址"},
            {411, "服务器拒绝用户定义的Content -Length属性请求"},
            {412, "一个或多个请求头字段在当前请求中错误"},
            {413, "请求的资源大于服务器允许的大小"},
            {414, "请求的资源URL长于服务器允许的长度"},
            {415, "请求资源不支持请求项目格式"},
            {416, "请求中包含Range请求头字段，在当前请求资源范围内没有range指示值，请求也不包含If-"
                  "Range请求头字段"},
            {417,
             "服务器不满足请求Expect头字段指定的期望值，如果是代理服务器，可能是下一级服务器不能满足请求"},
            {500, "服务器产生内部错误"},
            {501, "服务器不支持请求的函数"},
            {502, "服务器暂时不可用，有时是为了防止发生系统过载"},
            {503, "服务器过载或暂停维修"},
            {504, "关口过载，服务器使用另一个关口或服务来响应用户，等待时间设定值较长"},
            {505, "服务器不支持或拒绝支请求头中指定的HTTP版本"},
        };
        for (const auto &[code, text] : texts)
            t[code] = QString::fromUtf8(text);
        return t;
    }();
    return table;
}

// RFC 9110 token characters: what a method or header name may hold.
bool isToken(const QByteArray &text) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || QByteArrayView("\"(),/:;<=>?@[\\]{}").contains(c))
            return false;
    }
    return true;
}

// The reply carries an HTTP answer (possibly an error status) rather than a
// broken transport: content and server error codes come from the status line.
bool isHttpAnswer(QNetworkReply::NetworkError e) {
    return e == QNetworkReply::NoError || (e >= 201 && e <= 299) || (e >= 401 && e <= 499);
}

} // namespace

uXMLHTTP::uXMLHTTP(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("uXMLHTTP"));
    m_manager = new QNetworkAccessManager(this);
    m_manager->setCookieJar(nullptr);
    m_tmrReader = new QTimer(this);
    m_tmrReader->setObjectName(QStringLiteral("tmrReader"));
    m_tmrReader->setInterval(10);
    m_stallTimer = new QTimer(this);
    m_stallTimer->setSingleShot(true);
    connect(m_tmrReader, &QTimer::timeout, this, &uXMLHTTP::poll);
    connect(m_stallTimer, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // ends in finished() as a transport failure
    });
}

uXMLHTTP::~uXMLHTTP() {
    m_tmrReader->stop();
    dropReply();
}

QString uXMLHTTP::StatusDescription(int status) {
    return status >= 0 && status < kTableSize ? statusTable()[status] : QString();
}

QString uXMLHTTP::TooLargeText() {
    return QStringLiteral("返回的数据超过大小上限");
}

void uXMLHTTP::dropReply() {
    m_stallTimer->stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

bool uXMLHTTP::Open_(const QString &method, const QString &url, const QString &savePath) {
    m_tmrReader->stop();
    dropReply();
    m_done = false;
    m_opened = false;
    m_tooLarge = false;
    m_readyState = 0;
    m_status = 0;
    m_statusText.clear();
    m_responseHeaders.clear();
    m_body.clear();
    m_requestHeaders.clear();

    const QByteArray verb = method.trimmed().toUpper().toLatin1();
    const QUrl target(url.trimmed(), QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    if (!isToken(verb) || !target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    m_method = verb;
    m_url = target;
    m_savePath = savePath;
    m_opened = true;
    m_armed = true;
    m_readyState = 1;
    return true;
}

void uXMLHTTP::SetRequestHeader(const QString &name, const QString &value) {
    const QByteArray n = name.trimmed().toLatin1();
    const QByteArray v = value.toUtf8();
    // A line break in a value would start a header of the server's choosing.
    if (!m_opened || !isToken(n) || v.contains('\r') || v.contains('\n') || v.contains('\0'))
        return;
    m_requestHeaders.append({n, v});
}

void uXMLHTTP::Send_(const QByteArray &body) {
    // Without an opened request there is nothing that could ever complete.
    if (!m_opened || m_reply || m_readyState != 1)
        return;
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    for (const auto &[name, value] : std::as_const(m_requestHeaders))
        request.setRawHeader(name, value);

    QNetworkReply *reply = nullptr;
    if (m_method == "GET" && body.isEmpty())
        reply = m_manager->get(request);
    else if (m_method == "HEAD")
        reply = m_manager->head(request);
    else
        reply = m_manager->sendCustomRequest(request, m_method, body);
    m_reply = reply;
    reply->setReadBufferSize(1024 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (!m_reply)
            return;
        m_readyState = std::max(m_readyState, 2);
        m_stallTimer->start();
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBody) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, &uXMLHTTP::readBody);
    connect(reply, &QNetworkReply::finished, this, &uXMLHTTP::finished);
    m_stallTimer->start(Clock::RealInterval(StallTimeoutMs));
    if (m_armed)
        m_tmrReader->start();
}

void uXMLHTTP::readBody() {
    if (!m_reply)
        return;
    m_readyState = 3;
    m_stallTimer->start();
    const QByteArray chunk = m_reply->readAll();
    if (m_body.size() + chunk.size() > m_maxBody) {
        m_tooLarge = true;
        m_reply->abort();
        return;
    }
    m_body += chunk;
}

void uXMLHTTP::finished() {
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    if (!m_tooLarge && reply->bytesAvailable() > 0)
        readBody();
    m_stallTimer->stop();
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (code.isValid() && isHttpAnswer(reply->error())) {
        m_status = code.toInt();
        m_statusText =
            QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    } else {
        m_status = 0; // no answer: the connection failed, stalled, was cut or overflowed
        m_statusText.clear();
        m_body.clear();
    }
    m_responseHeaders = reply->rawHeaderPairs();
    m_readyState = 4;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
}

void uXMLHTTP::Abort_() {
    m_tmrReader->stop();
    dropReply();
    m_opened = false;
    m_readyState = 0;
}

int uXMLHTTP::Status() const {
    return m_readyState >= 2 ? m_status : 0;
}
QString uXMLHTTP::StatusText() const {
    return m_readyState >= 2 ? m_statusText : QString();
}

QString uXMLHTTP::GetResponseHeader(const QString &name) const {
    const QByteArray wanted = name.trimmed().toLatin1();
    QStringList values;
    for (const auto &[n, v] : m_responseHeaders) {
        if (n.compare(wanted, Qt::CaseInsensitive) == 0)
            values.append(QString::fromLatin1(v));
    }
    return values.join(QStringLiteral(", "));
}

QString uXMLHTTP::GetAllResponseHeaders() const {
    return HeaderLines(m_responseHeaders);
}

QString uXMLHTTP::ResponseText() const {
    if (m_body.isEmpty())
        return {};
    // A byte-order mark wins; then the charset of Content-Type; UTF-8 otherwise.
    if (auto bom = QStringConverter::encodingForData(m_body))
        return QStringDecoder(*bom).decode(m_body);
    const QString type = GetResponseHeader(QStringLiteral("Content-Type")).toLower();
    const qsizetype at = type.indexOf(QLatin1String("charset="));
    if (at >= 0) {
        QString charset = type.mid(at + 8).section(QLatin1Char(';'), 0, 0).trimmed();
        charset.remove(QLatin1Char('"'));
        if (charset == QLatin1String("gbk") || charset == QLatin1String("gb2312") ||
            charset == QLatin1String("gb18030") || charset == QLatin1String("cp936"))
            return FromCp936(m_body);
        if (auto named = QStringConverter::encodingForName(charset.toLatin1().constData()))
            return QStringDecoder(*named).decode(m_body);
    }
    return QString::fromUtf8(m_body);
}

void uXMLHTTP::saveBody() {
    const QString path = LocalFilePath(m_savePath);
    if (path.isEmpty() || m_body.isEmpty())
        return;
    // Written beside the target and moved onto it whole: a failed write
    // leaves the old file as it was.
    WriteWholeFile(path, m_body);
}

void uXMLHTTP::poll() {
    const QPointer<uXMLHTTP> self(this);
    emit OnReadyStateChange();
    if (!self || m_readyState != 4)
        return;
    m_tmrReader->stop();
    m_done = true;
    m_opened = false;
    if (m_tooLarge) {
        emit OnDateErr(TooLargeText());
        return;
    }
    const int status = m_status;
    if (status == 200) {
        saveBody();
        emit OnDateArrived();
    } else if (status >= 0 && status < kTableSize) {
        emit OnDateErr(StatusDescription(status));
    }
}

} // namespace dh
