#pragma once
// Which addresses belong to one site: the same host, or hosts under the same
// registrable domain ("login.example.com.cn" and "www.example.com.cn"), read
// from the public suffix list, so "a.github.io" and "b.github.io" stay apart.
#include <QString>
#include <QUrl>

namespace dh {

// The host in its ASCII (punycode) form, lower case; empty for none.
QString AsciiHost(const QUrl &url);
// The registrable domain of an ASCII host; empty for an IP address, a public
// suffix itself or a name without dots.
QString RegistrableDomain(const QString &asciiHost);
// Same host, or both hosts under one registrable domain.
bool SameSite(const QUrl &a, const QUrl &b);

} // namespace dh
