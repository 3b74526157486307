// Reads what the page extractors need in one pass and returns it as JSON text.
// Runs in an isolated world: the elements it names stay in window.__dh, out of
// the page's reach, and a handle is an index into that array.
(function () {
    'use strict';
    try {
        var keep = [];
        var bracketTag = /^\[[A-Za-z]{2,5}\]$/;
        var handle = function (el) {
            keep.push(el);
            return keep.length - 1;
        };
        var text = function (el) {
            var t = el.innerText;
            return typeof t === 'string' ? t : String(el.textContent || '');
        };
        var links = function (root) {
            if (!root)
                return null;
            var out = [];
            var as = root.getElementsByTagName('A');
            for (var i = 0; as[i]; ++i)
                out.push([handle(as[i]), text(as[i])]);
            return out;
        };
        var firstLink = function (el) {
            var a = el.getElementsByTagName('A')[0];
            if (!a)
                return null;
            var h3 = a.getElementsByTagName('H3')[0];
            return [handle(a), String(a.href || ''), text(a), h3 ? text(h3) : null];
        };
        var spans = function (el) {
            var s = el.getElementsByTagName('SPAN');
            if (!s[0])
                return [null, ''];
            var tag = '';
            for (var i = 0; s[i]; ++i) {
                // Only a span holding "[" can render as a tag; skip the others cheaply.
                if (String(s[i].textContent || '').indexOf('[') < 0)
                    continue;
                var t = text(s[i]);
                if (bracketTag.test(t.trim())) {
                    tag = t;
                    break;
                }
            }
            return [text(s[0]), tag];
        };

        var doc = document;
        var root = doc.documentElement;
        var elements = [];
        var all = doc.querySelectorAll('li[class], div[class]');
        var indexOf = new Map();
        for (var i = 0; i < all.length; ++i) {
            var el = all[i];
            var sp = spans(el);
            // ancestors come first in document order, so the nearest listed one is known
            var parent = -1;
            for (var up = el.parentElement; up; up = up.parentElement) {
                if (indexOf.has(up)) {
                    parent = indexOf.get(up);
                    break;
                }
            }
            indexOf.set(el, i);
            elements.push([handle(el), String(el.tagName).toUpperCase(), el.getAttribute('class'), firstLink(el),
                           sp[0], sp[1], parent]);
        }
        var next = doc.getElementById('pnnext');
        var result = {
            url: String(doc.URL || ''),
            html: root ? root.outerHTML : '',
            elements: elements,
            nav: links(doc.getElementById('nav')),
            pnnext: next ? handle(next) : -1,
            gsn: links(doc.getElementById('gs_n'))
        };
        window.__dh = keep;
        return JSON.stringify(result);
    } catch (e) {
        return '';
    }
})()
