#pragma once

#include <QString>

#include <algorithm>

// One edit of a text: `removed` UTF-16 units at `position` gave way to
// `inserted`. The same edit as a language server reads it: the range of the
// text before the edit (0-based lines, UTF-16 characters) that `rangeText`
// replaces; the range may reach past the edit, to whole lines, when the
// edit's end could not be placed otherwise.
struct NBETextChange
{
    qsizetype position = 0;
    qsizetype removed = 0;
    QString inserted;

    int startLine = 0;
    int startCharacter = 0;
    int endLine = 0;
    int endCharacter = 0;
    QString rangeText;

    bool operator==(const NBETextChange &) const = default;
};

// What a text document's change report really covers: `removed` units at
// `from` gave way to `added`. A document reports a change of its whole text
// with its final paragraph separator counted too; the lengths before and
// after settle it, and a report they don't fit is the whole text.
struct NBEChangedSpan
{
    qsizetype from = 0;
    qsizetype removed = 0;
    qsizetype added = 0;

    static NBEChangedSpan of(qsizetype position, qsizetype removed, qsizetype oldLength,
                             qsizetype newLength)
    {
        NBEChangedSpan span;
        span.from = std::clamp<qsizetype>(position, 0, oldLength);
        span.removed = std::clamp<qsizetype>(removed, 0, oldLength - span.from);
        span.added = newLength - (oldLength - span.removed);
        if (span.added < 0 || span.from + span.added > newLength)
            span = {0, oldLength, newLength};
        return span;
    }
};
