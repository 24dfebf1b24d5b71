#pragma once

#include "NBETextRange.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// One colour literal in CSS text and the colour it names (sRGB).
struct NBECSSColorsSwatch
{
    NBETextRange range;
    QColor color;

    bool operator==(const NBECSSColorsSwatch &) const = default;
};

// Finds colour literals in the declaration values of CSS text and writes a
// picked colour back in the notation of the literal it replaces.
namespace NBECSSColors {

// The 148 named colours of CSS, lower-case name to 0xRRGGBB.
const QHash<QString, quint32> &namedColors();

// Every colour literal of declaration values, in document order. Selectors
// and comments between declarations are never searched.
QList<NBECSSColorsSwatch> swatches(const QString &text);

// The colour literals of a text in a language (by id): all of CSS, the
// "style" elements of HTML, none elsewhere.
QList<NBECSSColorsSwatch> swatches(const QString &text, const std::optional<QString> &languageID);

// The text to put in place of the literal `original` for `color`: rgb()/rgba()
// for an rgb literal, hsl()/hsla() for an hsl one, else lower-case hex.
QString replacement(const QColor &color, const QString &original);

} // namespace NBECSSColors
