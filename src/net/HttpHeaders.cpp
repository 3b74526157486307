#include "net/HttpHeaders.h"

namespace dh {

QByteArray CanonicalHeaderName(const QByteArray &name) {
    QByteArray out = name.toLower();
    bool wordStart = true;
    for (char &c : out) {
        if (wordStart && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        wordStart = c == '-';
    }
    return out;
}

QString HeaderLines(const QList<QPair<QByteArray, QByteArray>> &headers) {
    QString lines;
    for (const auto &[name, value] : headers)
        lines += QString::fromLatin1(CanonicalHeaderName(name)) + QStringLiteral(": ") + QString::fromLatin1(value) +
                 QStringLiteral("\r\n");
    return lines;
}

} // namespace dh
