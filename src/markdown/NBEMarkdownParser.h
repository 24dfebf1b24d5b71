#pragma once

#include "NBEMarkdownBlock.h"

#include <QList>
#include <QString>

// Turns Markdown text into a flat list of blocks. A small line-based dialect of
// its own: every block kind is recognised by a fixed test on one trimmed line
// (sometimes with a look at the next), tried in a fixed order. Block payloads
// keep raw inline Markdown; the renderer and the preview format it.
//
// Pure and stateless; safe on any thread. Every pass is linear in the input
// (or close to it), so no document can stall the caller.
class NBEMarkdownParser
{
public:
    NBEMarkdownParser() = delete;

    static QList<NBEMarkdownBlock> parse(const QString &text);

    // Numeric footnote references ("[^12]") become superscript digits.
    static QString substitutingFootnoteReferences(const QString &text);

    // A paragraph split into text runs and inline images; never empty.
    static QList<NBEInlineSegment> inlineSegments(const QString &text);

    // The reference-link pre-pass that parse() runs first: drops link
    // definition lines and rewrites reference links into inline links.
    static QStringList preprocessReferenceLinks(const QStringList &lines);
};
