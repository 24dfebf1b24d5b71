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

// The same region found from the characters around the offset alone: the
// nearest tag before it must open a "style" element. It costs what lies
// between that tag and the element's end, and differs from region() only
// for a "<" inside CSS that looks like a tag.
std::optional<NBETextRange> regionAround(int offset, const QString &text);

} // namespace NBEEmbeddedCSS
