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

// [handle, text] pairs; malformed entries are skipped.
QList<SnapLink> parseLinks(const QJsonArray &array)
{
    QList<SnapLink> links;
    links.reserve(array.size());
    for (const QJsonValue &entry : array) {
        const QJsonArray pair = entry.toArray();
        if (pair.size() < 2 || handleOf(pair.at(0)) < 0)
            continue;
        links.append({handleOf(pair.at(0)), pair.at(1).toString()});
    }
    return links;
}

// [handle, tag, class, link|null, spanText|null, bracketTagText, parent]
// link = [handle, href, text, h3Text|null]
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
    e.bracketTagText = a.at(5).toString();
    e.parent = a.size() > 6 ? a.at(6).toInt(-1) : -1;
    return true;
}

} // namespace

PageSnapshot ParsePageSnapshot(const QByteArray &json)
{
    PageSnapshot snap;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return snap;
    const QJsonObject o = doc.object();
    if (!o.value(QLatin1String("url")).isString() || !o.value(QLatin1String("html")).isString())
        return snap;
    snap.valid = true;
    snap.url = o.value(QLatin1String("url")).toString();
    snap.html = o.value(QLatin1String("html")).toString();
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
    snap.pnnextHandle = handleOf(o.value(QLatin1String("pnnext")));
    const QJsonValue gsn = o.value(QLatin1String("gsn"));
    snap.hasGsN = gsn.isArray();
    snap.gsnLinks = parseLinks(gsn.toArray());
    return snap;
}

} // namespace dh
