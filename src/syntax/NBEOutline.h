#pragma once

#include "NBESymbol.h"

#include <QList>
#include <QString>

#include <optional>

// The structural symbols of a document for the outline sidebar: HTML
// elements worth navigating to, CSS rules and at-rules, JavaScript classes,
// functions and methods. Single forward passes, no parser: malformed text
// just gives fewer or odder symbols.
namespace NBEOutline {

// Symbols in document order for "html", "css" or "javascript"; none for any
// other language.
QList<NBESymbol> symbols(const QString &text, const std::optional<QString> &languageID);

} // namespace NBEOutline
