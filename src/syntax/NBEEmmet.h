#pragma once

#include "NBETextRange.h"

#include <QString>

#include <optional>

// An abbreviation before the caret and the markup it expands to.
struct NBEEmmetExpansion
{
    NBETextRange range;
    QString html;

    bool operator==(const NBEEmmetExpansion &) const = default;
};

// Expands a short Emmet abbreviation into indented HTML: child ">", sibling
// "+", repetition "*N", id "#", classes ".", attributes "[...]" and text
// "{...}", with "div" as the implicit tag, and "!" for an HTML5 skeleton.
namespace NBEEmmet {

// Expansions larger than this many elements are refused: nobody types that
// by hand, and `div*100000000` must not hang or exhaust memory.
inline constexpr qint64 maxElements = 1000;
// Likewise for the size of the expansion in UTF-16 units.
inline constexpr qint64 maxLength = 256 * 1024;
// And for how deeply ">" may nest.
inline constexpr int maxDepth = 100;

// The abbreviation ending at `caret` (from after the last blank outside
// brackets and braces on its line) and its expansion; nothing when there is
// nothing to expand.
std::optional<NBEEmmetExpansion> expansion(int caret, const QString &text, const QString &indent);

bool shouldExpand(const QString &abbreviation);

// The markup, or nothing when the abbreviation does not parse or its
// expansion would be too large.
std::optional<QString> expand(const QString &abbreviation, const QString &indent);

} // namespace NBEEmmet
