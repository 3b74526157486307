#pragma once
// What the page extractors read from a loaded page: one JavaScript call in the
// browser view returns all of it as JSON, and the rules run in C++ over this
// value. Elements are named by handles that the view can click.
#include <QList>
#include <QString>

namespace dh {

struct SnapLink {
    int handle = -1;
    QString text; // inner text as rendered
};

// An LI or DIV element that carries a class attribute.
struct SnapElement {
    int handle = -1;
    QString tag;       // "LI" or "DIV"
    QString className; // the class attribute as written
    // First descendant A, if any.
    bool hasLink = false;
    int linkHandle = -1;
    QString linkHref;   // absolute target
    QString linkText;   // inner text
    QString linkH3Text; // inner text of the first H3 inside that A, or empty
    bool linkHasH3 = false;
    // First descendant SPAN, if any.
    bool hasSpan = false;
    QString spanText;
    // Inner text of the first descendant SPAN whose text looks like "[PDF]", or empty.
    QString bracketTagText;
    // Index in PageSnapshot::elements of the nearest enclosing listed element, or -1.
    int parent = -1;
};

struct PageSnapshot {
    bool valid = false; // false: no document, or the page did not answer in time
    QString url;        // the document's own URL
    QString html;       // the root element's outer HTML
    QList<SnapElement> elements; // LI and DIV elements with a class attribute, in document order
    bool hasNav = false;
    QList<SnapLink> navLinks; // descendant A of #nav
    int pnnextHandle = -1;    // #pnnext, or -1
    bool hasGsN = false;
    QList<SnapLink> gsnLinks; // descendant A of #gs_n
};

// An INPUT element of the page (the login area fills these).
struct SnapInput {
    int handle = -1;
    QString name;
    QString type;
    QString value;
};

// Parses the JSON the snapshot script returns; an unusable text gives an invalid snapshot.
PageSnapshot ParsePageSnapshot(const QByteArray &json);

} // namespace dh
