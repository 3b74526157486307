#pragma once
// Text coding routines shared by the search URLs and the header parsing of the
// downloads. Code page 936 rules are applied through ICU on every platform.
#include <QByteArray>
#include <QString>

namespace dh {

QString UrlEncodeKeyword(const QString &text);
QString Utf8EscapeText(const QString &text);
QString UrlDecodeAuto(const QString &text);
QString UrlDecodeUtf8(const QString &text);
qint32 HexToLong(const QString &text);
QString Utf8ToText(const QByteArray &bytes);
QString StripLineBreaks(const QString &text);
// Cuts at a character boundary so that the code-page-936 form fits n bytes.
QString LeftAnsiBytes(const QString &text, int n);

// Code page 936 conversions (ICU "windows-936").
QByteArray ToCp936(const QString &text);
QString FromCp936(const QByteArray &bytes);
// Code-page value of one UTF-16 unit: the byte for a single-byte character,
// lead * 256 + trail as a signed 16-bit number for a double-byte one, and 63
// ("?") for a unit the code page cannot hold.
qint16 Cp936Value(QChar c);
// Byte length of one character (or surrogate pair) in code page 936;
// a character that 936 cannot hold counts as 2.
int Cp936Width(const QString &character);

} // namespace dh
