#include "NBEHTMLData.h"

#include "NBEWordLists.h"

#include <algorithm>

namespace {

using NBEWordLists::list;
using NBEWordLists::table;

QSet<QString> set(const char *items)
{
    const QStringList names = list(items);
    return QSet<QString>(names.begin(), names.end());
}

} // namespace

namespace NBEHTMLData {

const QStringList &elements()
{
    static const QStringList names = list(
        "a, abbr, address, area, article, aside, audio, b, base, bdi, bdo, blockquote, body, br, "
        "button, canvas, caption, cite, code, col, colgroup, data, datalist, dd, del, details, "
        "dfn, dialog, div, dl, dt, em, embed, fieldset, figcaption, figure, footer, form, h1, h2, "
        "h3, h4, h5, h6, head, header, hgroup, hr, html, i, iframe, img, input, ins, kbd, label, "
        "legend, li, link, main, map, mark, menu, meta, meter, nav, noscript, object, ol, "
        "optgroup, option, output, p, param, picture, pre, progress, q, rp, rt, ruby, s, samp, "
        "script, section, select, slot, small, source, span, strong, style, sub, summary, sup, "
        "table, tbody, td, template, textarea, tfoot, th, thead, time, title, tr, track, u, ul, "
        "var, video, wbr");
    return names;
}

const QSet<QString> &voidElements()
{
    static const QSet<QString> names =
        set("area, base, br, col, embed, hr, img, input, link, meta, param, source, track, wbr");
    return names;
}

const QSet<QString> &pathAttributes()
{
    static const QSet<QString> names =
        set("href, src, poster, data, action, formaction, cite, manifest");
    return names;
}

const QStringList &globalAttributes()
{
    static const QStringList names = list(
        "accesskey, autocapitalize, autofocus, class, contenteditable, dir, draggable, "
        "enterkeyhint, hidden, id, inert, inputmode, lang, popover, role, slot, spellcheck, "
        "style, tabindex, title, translate, aria-label, aria-labelledby, aria-describedby, "
        "aria-hidden, aria-live, aria-expanded, aria-controls, aria-current, aria-disabled, "
        "data-, onclick, oninput, onchange, onsubmit, onload, onkeydown, onkeyup, onmouseover, "
        "onmouseout, onfocus, onblur");
    return names;
}

const QHash<QString, QStringList> &elementAttributes()
{
    static const QHash<QString, QStringList> rows = table({
        {"a", "href, target, rel, download, hreflang, type, referrerpolicy, ping"},
        {"area", "alt, coords, shape, href, target, rel, download"},
        {"audio", "src, controls, autoplay, loop, muted, preload, crossorigin"},
        {"base", "href, target"},
        {"blockquote, q", "cite"},
        {"button", "type, name, value, disabled, form, formaction, formmethod, autofocus"},
        {"canvas", "width, height"},
        {"col, colgroup", "span"},
        {"data, li", "value"},
        {"del, ins", "cite, datetime"},
        {"details, dialog", "open"},
        {"embed", "src, type, width, height"},
        {"fieldset", "disabled, form, name"},
        {"form", "action, method, enctype, target, novalidate, autocomplete, name, rel"},
        {"iframe", "src, srcdoc, width, height, loading, allow, allowfullscreen, sandbox, "
                   "referrerpolicy, name"},
        {"img", "src, alt, width, height, loading, srcset, sizes, decoding, crossorigin, usemap, "
                "ismap, referrerpolicy"},
        {"input", "type, name, value, placeholder, required, disabled, readonly, checked, min, "
                  "max, step, pattern, autocomplete, multiple, accept, list, minlength, "
                  "maxlength, autofocus"},
        {"label", "for"},
        {"link", "rel, href, type, media, sizes, crossorigin, integrity, as, referrerpolicy, "
                 "hreflang"},
        {"map", "name"},
        {"meta", "name, content, charset, property, http-equiv"},
        {"meter", "value, min, max, low, high, optimum, form"},
        {"object", "data, type, width, height, name, form"},
        {"ol", "type, start, reversed"},
        {"optgroup", "label, disabled"},
        {"option", "value, selected, disabled, label"},
        {"output", "for, name, form"},
        {"progress", "value, max"},
        {"script", "src, type, async, defer, crossorigin, integrity, nomodule, referrerpolicy"},
        {"select", "name, multiple, required, disabled, size, form, autofocus"},
        {"source", "src, srcset, type, media, sizes, width, height"},
        {"style", "media, type"},
        {"td", "colspan, rowspan, headers"},
        {"textarea", "name, rows, cols, placeholder, required, readonly, disabled, maxlength, "
                     "minlength, wrap, autofocus"},
        {"th", "colspan, rowspan, headers, scope, abbr"},
        {"time", "datetime"},
        {"track", "kind, src, srclang, label, default"},
        {"video", "src, controls, autoplay, loop, muted, poster, width, height, preload, "
                  "playsinline, crossorigin"},
    });
    return rows;
}

const QHash<QString, QStringList> &attributeValues()
{
    static const QHash<QString, QStringList> rows = table({
        {"target", "_blank, _self, _parent, _top"},
        {"rel", "stylesheet, icon, preload, prefetch, dns-prefetch, preconnect, modulepreload, "
                "noopener, noreferrer, nofollow, canonical, alternate, author, help, license, "
                "manifest, next, prev, search"},
        {"method, formmethod", "get, post, dialog"},
        {"enctype", "application/x-www-form-urlencoded, multipart/form-data, text/plain"},
        {"loading", "lazy, eager"},
        {"decoding", "async, sync, auto"},
        {"crossorigin", "anonymous, use-credentials"},
        {"dir", "ltr, rtl, auto"},
        {"contenteditable", "true, false, plaintext-only"},
        {"draggable, spellcheck", "true, false"},
        {"translate", "yes, no"},
        {"autocapitalize", "off, none, on, sentences, words, characters"},
        {"autocomplete", "on, off, name, email, username, current-password, new-password, "
                         "one-time-code, organization, street-address, country, postal-code, "
                         "tel"},
        {"wrap", "soft, hard"},
        {"scope", "row, col, rowgroup, colgroup"},
        {"preload", "none, metadata, auto"},
        {"referrerpolicy", "no-referrer, no-referrer-when-downgrade, origin, "
                           "origin-when-cross-origin, same-origin, strict-origin, "
                           "strict-origin-when-cross-origin, unsafe-url"},
        {"inputmode", "none, text, decimal, numeric, tel, search, email, url"},
        {"enterkeyhint", "enter, done, go, next, previous, search, send"},
        {"sandbox", "allow-forms, allow-scripts, allow-same-origin, allow-popups, allow-modals, "
                    "allow-downloads, allow-top-navigation, allow-presentation"},
        {"kind", "subtitles, captions, descriptions, chapters, metadata"},
        {"shape", "rect, circle, poly, default"},
        {"as", "script, style, image, font, fetch, document, audio, video, track"},
        {"charset", "utf-8"},
        {"http-equiv", "content-type, content-security-policy, refresh, x-ua-compatible"},
        {"popover", "auto, manual"},
        {"role",
         "alert, alertdialog, application, article, banner, button, cell, checkbox, "
         "columnheader, combobox, complementary, contentinfo, dialog, document, feed, figure, "
         "form, grid, gridcell, group, heading, img, link, list, listbox, listitem, main, menu, "
         "menubar, menuitem, navigation, none, option, presentation, progressbar, radio, "
         "radiogroup, region, row, rowgroup, rowheader, search, searchbox, separator, slider, "
         "spinbutton, status, switch, tab, table, tablist, tabpanel, textbox, timer, toolbar, "
         "tooltip, tree, treeitem"},
    });
    return rows;
}

const QStringList &inputTypes()
{
    static const QStringList names =
        list("text, password, email, number, tel, url, search, date, time, datetime-local, "
             "month, week, color, checkbox, radio, file, hidden, range, submit, reset, button, "
             "image");
    return names;
}

QStringList attributes(const QString &element)
{
    QStringList result = elementAttributes().value(element.toLower()) + globalAttributes();
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

QStringList values(const QString &element, const QString &attribute)
{
    const QString name = attribute.toLower();
    if (name != QLatin1String("type"))
        return attributeValues().value(name);
    static const QHash<QString, QStringList> typeValues = table({
        {"button", "submit, reset, button"},
        {"ol", "1, a, A, i, I"},
        {"script", "module, text/javascript, importmap, application/json"},
        {"link, style", "text/css"},
    });
    const QString tag = element.toLower();
    if (tag == QLatin1String("input"))
        return inputTypes();
    return typeValues.value(tag);
}

} // namespace NBEHTMLData
