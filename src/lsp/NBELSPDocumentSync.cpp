#include "NBELSPDocumentSync.h"

namespace {

// Where `text` ends when it starts at `start`.
NBELSPPosition endOf(const NBELSPPosition &start, QStringView text)
{
    const qsizetype breaks = text.count(u'\n');
    if (breaks == 0)
        return {start.line, start.character + text.size()};
    return {start.line + breaks, text.size() - text.lastIndexOf(u'\n') - 1};
}

// The offset in `text`, which starts at `start`, of `at`, a position inside
// it.
qsizetype offsetIn(QStringView text, const NBELSPPosition &start, const NBELSPPosition &at)
{
    if (at.line == start.line)
        return at.character - start.character;
    qsizetype lineStart = 0;
    for (qint64 line = start.line; line < at.line; ++line)
        lineStart = text.indexOf(u'\n', lineStart) + 1;
    return lineStart + at.character;
}

bool before(const NBELSPPosition &a, const NBELSPPosition &b)
{
    return a.line < b.line || (a.line == b.line && a.character < b.character);
}

} // namespace

bool NBELSPDocumentSync::merge(RangedChange &into, const RangedChange &next)
{
    // The span `into` wrote, as the text stands now.
    const NBELSPPosition start = into.range.start;
    const NBELSPPosition end = endOf(start, into.text);
    const NBELSPRange &range = next.range;
    if (before(end, range.start) || before(range.end, start))
        return false;

    // Around the span the text is still the one the server has: a start
    // before it is the same place there, and an end past it lies as far
    // past the span's old end.
    QString text;
    if (before(start, range.start))
        text = into.text.left(offsetIn(into.text, start, range.start));
    text += next.text;
    NBELSPPosition oldEnd = into.range.end;
    if (before(range.end, end)) {
        text += QStringView(into.text).sliced(offsetIn(into.text, start, range.end));
    } else if (range.end.line == end.line) {
        oldEnd.character += range.end.character - end.character;
    } else {
        oldEnd = {oldEnd.line + range.end.line - end.line, range.end.character};
    }
    into = {{before(range.start, start) ? range.start : start, oldEnd}, std::move(text)};
    return true;
}
