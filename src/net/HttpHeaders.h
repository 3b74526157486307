#pragma once
// Response header names in one form on every Qt version: the network library
// hands them back as the server sent them (Qt 6.4) or in lower case (Qt 6.8),
// so they are given in the usual capitalised form, "Content-Length".
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace dh {

// "content-length" -> "Content-Length"; "etag" -> "Etag".
QByteArray CanonicalHeaderName(const QByteArray &name);
// "Name: value" lines, each ending in CR LF, names in the form above.
QString HeaderLines(const QList<QPair<QByteArray, QByteArray>> &headers);

} // namespace dh
