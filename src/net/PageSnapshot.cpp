#include "net/PageSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace dh
{
namespace
{

int handleOf(const QJsonValue &v)
{
    if (!v.isDouble())
        return -1;
    const double d = v.toDouble();
    return d >= 0 && d < 2147483647.0 && d == static_cast<int>(d) ? static_cast<int>(d) : -1;
}

// [handle, text, href] entries; malformed entries are skipped.
QList<SnapLink> parseLinks(const QJsonArray &array)
{
    QList<SnapLink> links;
    links.reserve(array.size());
    for (const QJsonValue &entry : array) {
        const QJsonArray pair = entry.toArray();
        if (pair.size() < 2 || handleOf(pair.at(0)) < 0)
            continue;
        links.append({handleOf(pair.at(0)), pair.at(1).toString(), pair.at(2).toString(), {}});
    }
    return links;
}

// [handle, href, ariaLabel] entries.
QList<SnapLink> parsePagers(const QJsonArray &array)
{
    QList<SnapLink> links;
    for (const QJsonValue &entry : array) {
        const QJsonArray a = entry.toArray();
        if (a.size() >= 3 && handleOf(a.at(0)) >= 0)
            links.append({handleOf(a.at(0)), {}, a.at(1).toString(), a.at(2).toString()});
    }
    return links;
}

// [handle, href, headingText, inPack, labelText] entries.
QList<SnapHeadedLink> parseHeaded(const QJsonArray &array)
{
    QList<SnapHeadedLink> links;
    links.reserve(array.size());
    for (const QJsonValue &entry : array) {
        const QJsonArray a = entry.toArray();
        if (a.size() >= 5 && handleOf(a.at(0)) >= 0)
            links.append({handleOf(a.at(0)), a.at(1).toString(), a.at(2).toString(), a.at(3).toInt() != 0,
                          a.at(4).toString()});
    }
    return links;
}

// [handle, tag, class, link|null, spanText|null, labelText, parent, inPack, side|null]
// link = [handle, href, text, h3Text|null]; side = [href, label]
bool parseElement(const QJsonArray &a, SnapElement &e)
{
    if (a.size() < 6 || handleOf(a.at(0)) < 0 || !a.at(1).isString())
        return false;
    e.handle = handleOf(a.at(0));
    e.tag = a.at(1).toString();
    e.className = a.at(2).toString();
    const QJsonArray link = a.at(3).toArray();
    if (link.size() >= 4 && handleOf(link.at(0)) >= 0) {
        e.hasLink = true;
        e.linkHandle = handleOf(link.at(0));
        e.linkHref = link.at(1).toString();
        e.linkText = link.at(2).toString();
        e.linkHasH3 = link.at(3).isString();
        e.linkH3Text = link.at(3).toString();
    }
    e.hasSpan = a.at(4).isString();
    e.spanText = a.at(4).toString();
    e.labelText = a.at(5).toString();
    e.parent = a.size() > 6 ? a.at(6).toInt(-1) : -1;
    e.inPack = a.at(7).toInt() != 0;
    const QJsonArray side = a.at(8).toArray();
    if (side.size() >= 2) {
        e.sideHref = side.at(0).toString();
        e.sideLabel = side.at(1).toString();
    }
    return true;
}

} // namespace

PageSnapshot ParsePageSnapshot(const QByteArray &json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    const QJsonValue html = doc.isObject() ? doc.object().value(QLatin1String("html")) : QJsonValue();
    return html.isString() ? ParsePageSnapshot(json, html.toString()) : PageSnapshot();
}

PageSnapshot ParsePageSnapshot(const QByteArray &json, const QString &html)
{
    PageSnapshot snap;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return snap;
    const QJsonObject o = doc.object();
    if (!o.value(QLatin1String("url")).isString())
        return snap;
    snap.valid = true;
    snap.url = o.value(QLatin1String("url")).toString();
    snap.html = html;
    const QJsonArray elements = o.value(QLatin1String("elements")).toArray();
    snap.elements.reserve(elements.size());
    for (const QJsonValue &v : elements) {
        SnapElement e;
        if (parseElement(v.toArray(), e))
            snap.elements.append(std::move(e));
    }
    const QJsonValue nav = o.value(QLatin1String("nav"));
    snap.hasNav = nav.isArray();
    snap.navLinks = parseLinks(nav.toArray());
    const QJsonArray pnnext = o.value(QLatin1String("pnnext")).toArray();
    snap.pnnextHandle = pnnext.isEmpty() ? -1 : handleOf(pnnext.at(0));
    snap.pnnextHref = pnnext.size() > 1 ? pnnext.at(1).toString() : QString();
    const QJsonValue gsn = o.value(QLatin1String("gsn"));
    snap.hasGsN = gsn.isArray();
    snap.gsnLinks = parseLinks(gsn.toArray());
    snap.headedLinks = parseHeaded(o.value(QLatin1String("headed")).toArray());
    snap.resultLinks = o.value(QLatin1String("resultLinks")).toInt(-1);
    snap.pagerLinks = parsePagers(o.value(QLatin1String("pagers")).toArray());
    snap.captchaForm = o.value(QLatin1String("captchaForm")).toBool();
    return snap;
}

} // namespace dh
