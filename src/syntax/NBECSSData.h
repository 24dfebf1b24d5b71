#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The built-in CSS vocabulary shared by completion and the other engines.
// Tables are built once on first use and never change afterwards.
namespace NBECSSData {

// Property names in alphabetical order (the order completion offers them).
const QStringList &properties();
// Properties whose value is a colour.
const QSet<QString> &colorProperties();
// Colour keywords offered for colour properties (a completion list, not the
// colour table of the swatches).
const QStringList &namedColors();
// Values every property accepts.
const QStringList &globalKeywords();
// Keyword values of each property, in table order.
const QHash<QString, QStringList> &propertyValues();

// The values offered for `property` (any case): its own keywords, colour
// keywords for colour properties and the global keywords, without duplicates,
// sorted by code point.
QStringList values(const QString &property);

} // namespace NBECSSData
