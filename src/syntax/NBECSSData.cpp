#include "NBECSSData.h"

#include "NBEWordLists.h"

#include <algorithm>

using NBEWordLists::list;

namespace NBECSSData {

const QStringList &properties()
{
    static const QStringList table = list(
        "align-content, align-items, align-self, all, animation, animation-delay, "
        "animation-direction, animation-duration, animation-fill-mode, "
        "animation-iteration-count, animation-name, animation-play-state, "
        "animation-timing-function, appearance, aspect-ratio, backdrop-filter, "
        "backface-visibility, background, background-attachment, background-blend-mode, "
        "background-clip, background-color, background-image, background-origin, "
        "background-position, background-repeat, background-size, border, border-bottom, "
        "border-bottom-color, border-bottom-left-radius, border-bottom-right-radius, "
        "border-bottom-style, border-bottom-width, border-collapse, border-color, border-image, "
        "border-left, border-left-color, border-left-style, border-left-width, border-radius, "
        "border-right, border-right-color, border-right-style, border-right-width, "
        "border-spacing, border-style, border-top, border-top-color, border-top-left-radius, "
        "border-top-right-radius, border-top-style, border-top-width, border-width, bottom, "
        "box-shadow, box-sizing, caret-color, clear, clip-path, color, column-count, column-gap, "
        "columns, content, cursor, direction, display, filter, flex, flex-basis, flex-direction, "
        "flex-flow, flex-grow, flex-shrink, flex-wrap, float, font, font-family, "
        "font-feature-settings, font-size, font-style, font-variant, font-weight, gap, grid, "
        "grid-area, grid-auto-columns, grid-auto-flow, grid-auto-rows, grid-column, "
        "grid-column-end, grid-column-gap, grid-column-start, grid-gap, grid-row, grid-row-end, "
        "grid-row-gap, grid-row-start, grid-template, grid-template-areas, "
        "grid-template-columns, grid-template-rows, height, inset, isolation, justify-content, "
        "justify-items, justify-self, left, letter-spacing, line-height, list-style, "
        "list-style-image, list-style-position, list-style-type, margin, margin-bottom, "
        "margin-left, margin-right, margin-top, max-height, max-width, min-height, min-width, "
        "mix-blend-mode, object-fit, object-position, opacity, order, outline, outline-color, "
        "outline-offset, outline-style, outline-width, overflow, overflow-wrap, overflow-x, "
        "overflow-y, padding, padding-bottom, padding-left, padding-right, padding-top, "
        "perspective, place-content, place-items, place-self, pointer-events, position, resize, "
        "right, rotate, row-gap, scale, scroll-behavior, scroll-margin, scroll-padding, "
        "scroll-snap-align, scroll-snap-type, tab-size, table-layout, text-align, "
        "text-decoration, text-decoration-color, text-decoration-line, text-decoration-style, "
        "text-indent, text-overflow, text-shadow, text-transform, top, transform, "
        "transform-origin, transform-style, transition, transition-delay, transition-duration, "
        "transition-property, transition-timing-function, translate, user-select, "
        "vertical-align, visibility, white-space, width, will-change, word-break, word-spacing, "
        "writing-mode, z-index");
    return table;
}

const QSet<QString> &colorProperties()
{
    static const QSet<QString> table = [] {
        const QStringList names =
            list("color, background-color, background, border-color, border-top-color, "
                 "border-right-color, border-bottom-color, border-left-color, outline-color, "
                 "caret-color, text-decoration-color, column-rule-color, fill, stroke");
        return QSet<QString>(names.begin(), names.end());
    }();
    return table;
}

const QStringList &namedColors()
{
    static const QStringList table = list(
        "transparent, currentColor, black, white, red, green, blue, yellow, orange, purple, "
        "pink, gray, grey, brown, cyan, magenta, lime, navy, teal, olive, maroon, silver, gold, "
        "indigo, violet, coral, salmon, khaki, crimson, chocolate, tomato, turquoise, orchid, "
        "plum, beige, ivory, lavender, aqua, fuchsia, aliceblue, cornflowerblue, darkgray, "
        "dimgray, lightgray, slategray, whitesmoke, rebeccapurple");
    return table;
}

const QStringList &globalKeywords()
{
    static const QStringList table = list("inherit, initial, revert, revert-layer, unset");
    return table;
}

const QHash<QString, QStringList> &propertyValues()
{
    static const QHash<QString, QStringList> table = NBEWordLists::table({
        {"display", "block, inline, inline-block, flex, inline-flex, grid, inline-grid, none, "
                    "contents, flow-root, table, table-row, table-cell, list-item"},
        {"position", "static, relative, absolute, fixed, sticky"},
        {"float", "left, right, none, inline-start, inline-end"},
        {"clear", "none, left, right, both"},
        {"visibility", "visible, hidden, collapse"},
        {"overflow, overflow-x, overflow-y", "visible, hidden, scroll, auto, clip"},
        {"box-sizing", "content-box, border-box"},
        {"flex-direction", "row, row-reverse, column, column-reverse"},
        {"flex-wrap", "nowrap, wrap, wrap-reverse"},
        {"justify-content", "flex-start, flex-end, center, space-between, space-around, "
                            "space-evenly, start, end, stretch"},
        {"align-items", "stretch, flex-start, flex-end, center, baseline, start, end"},
        {"align-content", "stretch, flex-start, flex-end, center, space-between, "
                          "space-around, space-evenly"},
        {"align-self", "auto, stretch, flex-start, flex-end, center, baseline"},
        {"justify-items", "stretch, start, end, center"},
        {"justify-self", "auto, stretch, start, end, center"},
        {"place-items", "center, start, end, stretch"},
        {"place-content", "center, start, end, space-between, space-around"},
        {"text-align", "left, right, center, justify, start, end"},
        {"text-transform", "none, capitalize, uppercase, lowercase"},
        {"text-decoration-line, text-decoration", "none, underline, overline, line-through"},
        {"text-decoration-style", "solid, double, dotted, dashed, wavy"},
        {"text-overflow", "clip, ellipsis"},
        {"font-style", "normal, italic, oblique"},
        {"font-weight",
         "normal, bold, bolder, lighter, 100, 200, 300, 400, 500, 600, 700, 800, 900"},
        {"font-variant", "normal, small-caps"},
        {"white-space", "normal, nowrap, pre, pre-wrap, pre-line, break-spaces"},
        {"word-break", "normal, break-all, keep-all, break-word"},
        {"overflow-wrap", "normal, break-word, anywhere"},
        {"vertical-align", "baseline, top, middle, bottom, sub, super, text-top, text-bottom"},
        {"list-style-type", "none, disc, circle, square, decimal, lower-alpha, upper-alpha, "
                            "lower-roman, upper-roman"},
        {"list-style-position", "inside, outside"},
        {"cursor", "auto, default, pointer, text, move, grab, grabbing, not-allowed, wait, "
                   "help, crosshair, zoom-in, zoom-out, col-resize, row-resize, ew-resize, "
                   "ns-resize, none, progress"},
        {"border-style",
         "none, solid, dashed, dotted, double, groove, ridge, inset, outset, hidden"},
        {"border-top-style, border-right-style, border-bottom-style, border-left-style",
         "none, solid, dashed, dotted, double"},
        {"outline-style", "none, solid, dashed, dotted, double, groove, ridge"},
        {"border-collapse", "separate, collapse"},
        {"table-layout", "auto, fixed"},
        {"object-fit", "fill, contain, cover, none, scale-down"},
        {"background-repeat", "repeat, repeat-x, repeat-y, no-repeat, space, round"},
        {"background-attachment", "scroll, fixed, local"},
        {"background-size", "auto, cover, contain"},
        {"background-position", "top, bottom, left, right, center"},
        {"background-clip", "border-box, padding-box, content-box, text"},
        {"pointer-events", "auto, none"},
        {"user-select", "auto, none, text, all, contain"},
        {"resize", "none, both, horizontal, vertical"},
        {"writing-mode", "horizontal-tb, vertical-rl, vertical-lr"},
        {"direction", "ltr, rtl"},
        {"scroll-behavior", "auto, smooth"},
        {"transition-timing-function",
         "ease, ease-in, ease-out, ease-in-out, linear, step-start, step-end"},
        {"animation-timing-function", "ease, ease-in, ease-out, ease-in-out, linear"},
        {"animation-direction", "normal, reverse, alternate, alternate-reverse"},
        {"animation-fill-mode", "none, forwards, backwards, both"},
        {"animation-play-state", "running, paused"},
        {"transform-style", "flat, preserve-3d"},
        {"backface-visibility", "visible, hidden"},
        {"mix-blend-mode", "normal, multiply, screen, overlay, darken, lighten, color-dodge, "
                           "color-burn, difference, exclusion, hue"},
        {"isolation", "auto, isolate"},
        {"grid-auto-flow", "row, column, row dense, column dense"},
        {"scroll-snap-align", "none, start, end, center"},
        {"scroll-snap-type", "none, x, y, both, x mandatory, y mandatory"},
        {"font-family", "serif, sans-serif, monospace, cursive, fantasy, system-ui"},
    });
    return table;
}

QStringList values(const QString &property)
{
    const QString name = property.toLower();
    QStringList result = propertyValues().value(name);
    if (colorProperties().contains(name))
        result += namedColors();
    result += globalKeywords();
    // QString's operator< compares UTF-16 units, which orders ASCII by code point.
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

} // namespace NBECSSData
