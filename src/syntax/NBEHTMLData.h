#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The built-in HTML vocabulary shared by completion, validation, formatting,
// outline and tag pairs. Tables are built once on first use.
namespace NBEHTMLData {

// Element names in alphabetical order.
const QStringList &elements();
// Elements that never have content or a closing tag.
const QSet<QString> &voidElements();
// Attributes whose value is a file path or URL.
const QSet<QString> &pathAttributes();
// Attributes offered on every element ("data-" is a stem).
const QStringList &globalAttributes();
// Each element's own attributes.
const QHash<QString, QStringList> &elementAttributes();
// Values of each attribute, in table order ("type" is handled per element).
const QHash<QString, QStringList> &attributeValues();
// Values of the "type" attribute of "input".
const QStringList &inputTypes();

// The element's own attributes (any case) plus the global ones, without
// duplicates, sorted.
QStringList attributes(const QString &element);

// The values offered for `attribute` of `element`, in table order.
QStringList values(const QString &element, const QString &attribute);

} // namespace NBEHTMLData
