#pragma once

#include "NBETextRange.h"

#include <QList>
#include <QString>

#include <optional>

// The bodies of "style" elements in HTML text, so CSS features work inside an
// HTML file. "style" attributes are not looked at.
namespace NBEEmbeddedCSS {

// The CSS bodies in document order: never empty, never overlapping.
QList<NBETextRange> styleRegions(const QString &text);

// The first region holding `offset`, both ends included (a caret right after
// the last CSS character, before "</style", still counts).
std::optional<NBETextRange> region(int offset, const QString &text);

} // namespace NBEEmbeddedCSS
