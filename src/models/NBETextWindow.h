#pragma once

#include <QString>

class QTextDocument;

// A stretch of a document's text around a place, read without copying the
// whole text: what helpers that look near the caret work on. `start` is the
// document offset of the stretch's first character.
struct NBETextWindow
{
    QString text;
    int start = 0;
    // The document's length when read, so a caller can tell a stretch that
    // reaches the end from one cut short.
    int documentLength = 0;

    int end() const { return start + int(text.size()); }
    bool reachesStart() const { return start == 0; }
    bool reachesEnd() const { return end() >= documentLength; }
    // A document offset as an offset of `text`, and back.
    int local(int offset) const { return offset - start; }

    // The text of [from, to), clamped to the document, with "\n" line
    // breaks and every other character as stored.
    static NBETextWindow read(const QTextDocument *document, int from, int to);
    // Up to `before` characters before `position` and `after` after it.
    static NBETextWindow around(const QTextDocument *document, int position, int before, int after);
};
