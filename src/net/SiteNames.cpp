#include "net/SiteNames.h"

#include <QHostAddress>
#include <libpsl.h>

namespace dh {
namespace {

const psl_ctx_t *Suffixes() {
    // The newest of the list built into the library and the system's copy.
    static const psl_ctx_t *const ctx = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return ctx;
}

} // namespace

QString AsciiHost(const QUrl &url) {
    return url.host(QUrl::FullyEncoded).toLower();
}

QString RegistrableDomain(const QString &asciiHost) {
    QString host = asciiHost;
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    if (host.isEmpty() || !host.contains(QLatin1Char('.')) || !QHostAddress(host).isNull())
        return {};
    const psl_ctx_t *ctx = Suffixes();
    if (!ctx)
        return {};
    const QByteArray bytes = host.toUtf8();
    const char *domain = psl_registrable_domain(ctx, bytes.constData());
    return domain ? QString::fromUtf8(domain) : QString();
}

bool SameSite(const QUrl &a, const QUrl &b) {
    const QString first = AsciiHost(a), second = AsciiHost(b);
    if (first.isEmpty() || second.isEmpty())
        return false;
    if (first == second)
        return true;
    const QString domain = RegistrableDomain(first);
    return !domain.isEmpty() && domain == RegistrableDomain(second);
}

} // namespace dh
