// Reads what the page extractors need in one pass and returns it as JSON text
// and the page's markup.
// Runs in an isolated world: the elements it names stay in window.__dh, out of
// the page's reach, and a handle is an index into that array.
(function () {
    'use strict';
    try {
        var keep = [];
        // Type label spans such as "PDF" or "[DOC]"; the rules decide what each means.
        var label = /^\s*\[?(PDF|DOCX?|PPTX?|XLSX?|RTF|HTML?)\]?\s*$/i;
        var hitClass = /(^|\s)(g|gs_ri)(\s|$)/i;
        // Packs that hold links with headings but no organic hits.
        var packs = '.related-question-pair, g-section-with-header, g-scrolling-carousel, '
            + '#tads, #tadsb, #bottomads, #rhs';
        var handle = function (el) {
            keep.push(el);
            return keep.length - 1;
        };
        var text = function (el) {
            var t = el.innerText;
            return typeof t === 'string' ? t : String(el.textContent || '');
        };
        var inPack = function (el) {
            return el.closest(packs) ? 1 : 0;
        };
        var links = function (root) {
            if (!root)
                return null;
            var out = [];
            var as = root.getElementsByTagName('A');
            for (var i = 0; as[i]; ++i)
                out.push([handle(as[i]), text(as[i]), String(as[i].href || '')]);
            return out;
        };
        var firstLink = function (el) {
            var a = el.getElementsByTagName('A')[0];
            if (!a)
                return null;
            var h3 = a.getElementsByTagName('H3')[0];
            return [handle(a), String(a.href || ''), text(a), h3 ? text(h3) : null];
        };
        // The first span that reads like a type label, by its text content.
        var labelIn = function (el) {
            var s = el.getElementsByTagName('SPAN');
            for (var i = 0; s[i]; ++i) {
                var t = String(s[i].textContent || '');
                if (t.length <= 12 && label.test(t))
                    return t;
            }
            return '';
        };
        var firstSpan = function (el) {
            var s = el.getElementsByTagName('SPAN')[0];
            return s ? text(s) : null;
        };
        // A scholar hit's side block (sibling of the hit) links the full text.
        var sideLink = function (el) {
            var box = el.parentElement;
            var side = box ? box.querySelector('.gs_ggs a, .gs_or_ggsm a') : null;
            if (!side)
                return null;
            var tag = side.querySelector('.gs_ctg2');
            return [String(side.href || ''), tag ? String(tag.textContent || '') : labelIn(side)];
        };

        var doc = document;
        var root = doc.documentElement;
        var elements = [];
        var all = doc.querySelectorAll('li[class], div[class]');
        var indexOf = new Map();
        for (var i = 0; i < all.length; ++i) {
            var el = all[i];
            if (!hitClass.test(el.getAttribute('class') || ''))
                continue;
            // ancestors come first in document order, so the nearest listed one is known
            var parent = -1;
            for (var up = el.parentElement; up; up = up.parentElement) {
                if (indexOf.has(up)) {
                    parent = indexOf.get(up);
                    break;
                }
            }
            indexOf.set(el, elements.length);
            var scholar = /(^|\s)gs_ri(\s|$)/i.test(el.getAttribute('class'));
            elements.push([handle(el), String(el.tagName).toUpperCase(), el.getAttribute('class'), firstLink(el),
                           firstSpan(el), labelIn(el), parent, inPack(el), scholar ? sideLink(el) : null]);
        }

        // Every link that holds a heading inside the results area, with the
        // label of the block that holds that link alone.
        var area = doc.getElementById('rso') || doc.getElementById('main');
        var headed = [];
        if (area) {
            var seen = new Set();
            var anchors = [];
            var h3s = area.getElementsByTagName('H3');
            for (var h = 0; h3s[h]; ++h) {
                var a = h3s[h].closest('a');
                if (a && area.contains(a) && !seen.has(a)) {
                    seen.add(a);
                    anchors.push([a, h3s[h]]);
                }
            }
            var counts = new Map();
            anchors.forEach(function (pair) {
                for (var up = pair[0].parentElement; up && up !== area; up = up.parentElement)
                    counts.set(up, (counts.get(up) || 0) + 1);
            });
            anchors.forEach(function (pair) {
                var block = pair[0];
                for (var up = pair[0].parentElement; up && up !== area && counts.get(up) === 1; up = up.parentElement)
                    block = up;
                headed.push([handle(pair[0]), String(pair[0].href || ''), text(pair[1]), inPack(pair[0]),
                             labelIn(block)]);
            });
        }
        var results = area || doc.getElementById('search') || doc.getElementById('res')
            || doc.getElementById('gs_res_ccl_mid') || doc.getElementById('gs_res_ccl');

        var pagers = [];
        var candidates = doc.querySelectorAll('a[aria-label], a[href*="start="]');
        for (var p = 0; p < candidates.length && p < 400; ++p) {
            var c = candidates[p];
            pagers.push([handle(c), String(c.href || ''), String(c.getAttribute('aria-label') || '')]);
        }

        var next = doc.getElementById('pnnext');
        var result = {
            url: String(doc.URL || ''),
            elements: elements,
            headed: headed,
            resultLinks: results ? results.getElementsByTagName('A').length : -1,
            nav: links(doc.getElementById('nav')),
            pnnext: next ? [handle(next), String(next.href || '')] : null,
            gsn: links(doc.getElementById('gs_n')),
            pagers: pagers,
            captchaForm: !!doc.querySelector('form#captcha-form, .g-recaptcha')
        };
        window.__dh = keep;
        // The markup travels beside the JSON: escaping and parsing megabytes twice costs more than reading them.
        return [JSON.stringify(result), root ? root.outerHTML : ''];
    } catch (e) {
        return '';
    }
})()
