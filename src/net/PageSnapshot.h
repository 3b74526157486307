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
    QString href; // absolute target
    QString ariaLabel;
};

// An LI or DIV element whose class list holds "g" or "gs_ri".
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
    // Text of the first descendant SPAN that reads like a type label ("PDF", "[DOC]"), or empty.
    QString labelText;
    // Index in PageSnapshot::elements of the nearest enclosing listed element, or -1.
    int parent = -1;
    // Inside a pack that holds no organic hits (questions, image or news packs,
    // carousels, ads, the side panel).
    bool inPack = false;
    // A scholar hit's side link to the full text, and that link's label ("[PDF]").
    QString sideHref;
    QString sideLabel;
};

// A link that holds an H3 inside the results area (#rso, or #main on the basic layout).
struct SnapHeadedLink {
    int handle = -1;
    QString href;
    QString headingText;
    bool inPack = false;
    QString labelText; // a type label of the block that holds this link alone
};

struct PageSnapshot {
    bool valid = false; // false: no document, or the page did not answer in time
    QString url;        // the document's own URL
    QString html;       // the root element's outer HTML
    QList<SnapElement> elements; // LI and DIV hit candidates, in document order
    QList<SnapHeadedLink> headedLinks; // in document order
    int resultLinks = -1;            // links in the results area; -1: the page has none
    bool hasNav = false;
    QList<SnapLink> navLinks; // descendant A of #nav
    int pnnextHandle = -1;    // #pnnext, or -1
    QString pnnextHref;
    bool hasGsN = false;
    QList<SnapLink> gsnLinks; // descendant A of #gs_n
    // Links with an aria-label or a "start=" in their target (the paging links of newer layouts).
    QList<SnapLink> pagerLinks;
    bool captchaForm = false; // form#captcha-form or a .g-recaptcha element
};

// An INPUT element of the page (the login area fills these).
struct SnapInput {
    int handle = -1;
    QString name;
    QString type;
    QString value;
};

// Parses the JSON the snapshot script returns, with the page's markup beside
// it; an unusable text gives an invalid snapshot.
PageSnapshot ParsePageSnapshot(const QByteArray &json, const QString &html);
// The same with the markup inside the JSON ("html").
PageSnapshot ParsePageSnapshot(const QByteArray &json);

} // namespace dh
