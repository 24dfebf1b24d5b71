#pragma once

#include "NBETextRange.h"

#include <QString>

#include <optional>

// The tag name that holds the caret and the name of its partner tag.
struct NBETagPairsLink
{
    NBETextRange caretName;
    QString name;
    std::optional<NBETextRange> pairName;

    bool operator==(const NBETagPairsLink &) const = default;
};

// Finds, for a caret in an HTML tag name, the tag that pairs with it, so an
// opening and its closing tag can be renamed together. Pairing is by
// structure (a stack of open tags), not by name, so a half-edited name still
// finds its partner.
namespace NBETagPairs {

std::optional<NBETagPairsLink> caretLink(const QString &text, int caret);

// The same link found by scanning only outwards from the caret's tag to its
// partner, so a lookup in a large file costs what lies between the two. It
// differs from caretLink only where a "<" inside a quoted attribute value
// looks like a tag, and for a tag name more than 64 KiB into a comment or a
// script, style or textarea element.
std::optional<NBETagPairsLink> caretLinkNearby(const QString &text, int caret);

} // namespace NBETagPairs
