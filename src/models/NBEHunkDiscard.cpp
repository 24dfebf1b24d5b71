#include "NBEHunkDiscard.h"

#include <algorithm>

std::optional<NBEHunkDiscard> NBEHunkDiscard::of(const NBEDiffHunk &hunk, const QString &text,
                                                 const QString &head)
{
    // Works on the lines between line feeds, as the comparison does: a text
    // ending in a line feed has an empty last element, one without has none,
    // so putting the HEAD elements back in place restores HEAD exactly, with
    // or without a final line feed.
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    const qsizetype count = lines.size();
    const qsizetype removed = hunk.newLineCount();
    qsizetype first = hunk.newStart - 1;
    // HEAD lines removed from the very end of a text without a final line
    // feed are reported on the last line; they go back after it.
    if (removed == 0 && hunk.oldStart - 1 + hunk.oldLineCount() == head.count(u'\n') + 1)
        first = count;
    if (first < 0 || first + removed > count || (removed == 0 && hunk.oldLines.isEmpty()))
        return std::nullopt;
    for (qsizetype i = 0; i < removed; ++i)
        if (lines[first + i] != hunk.newLines[i])
            return std::nullopt;

    const auto start = [&](qsizetype element) {
        return element < count ? lines[element].data() - text.constData() : text.size();
    };
    const QString old = hunk.oldLines.join(u'\n');
    NBEHunkDiscard discard;
    if (removed > 0 && !hunk.oldLines.isEmpty()) {
        discard.from = start(first);
        discard.to = start(first + removed - 1) + lines[first + removed - 1].size();
        discard.replacement = old;
    } else if (removed > 0) {
        // Added lines go together with one line feed: the one after them, or
        // at the end of the text the one before them.
        discard.from = start(first);
        discard.to = start(first + removed);
        if (first + removed == count) {
            discard.from = std::max<qsizetype>(0, discard.from - 1);
            discard.to = text.size();
        }
    } else if (first < count) {
        discard.from = discard.to = start(first);
        discard.replacement = old + u'\n';
    } else {
        discard.from = discard.to = text.size();
        discard.replacement = u'\n' + old;
    }
    return discard;
}

QString NBEHunkDiscard::appliedTo(const QString &text) const
{
    return QString(text).replace(from, to - from, replacement);
}
