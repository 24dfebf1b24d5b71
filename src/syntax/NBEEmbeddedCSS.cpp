#include "NBEEmbeddedCSS.h"

namespace NBEEmbeddedCSS {

QList<NBETextRange> styleRegions(const QString &text)
{
    QList<NBETextRange> regions;
    const qsizetype n = text.size();
    qsizetype from = 0;
    while (from < n) {
        const qsizetype open = text.indexOf(QLatin1String("<style"), from, Qt::CaseInsensitive);
        if (open < 0)
            break;
        const qsizetype after = open + 6;
        if (after >= n)
            break;
        const QChar next = text[after];
        if (next != QLatin1Char('>') && next != QLatin1Char(' ') && next != QLatin1Char('\t') &&
            next != QLatin1Char('\n') && next != QLatin1Char('\r') && next != QLatin1Char('/')) {
            from = after;
            continue;
        }
        const qsizetype headEnd = text.indexOf(QLatin1Char('>'), after);
        if (headEnd < 0)
            break;
        const qsizetype bodyStart = headEnd + 1;
        const qsizetype close =
            text.indexOf(QLatin1String("</style"), bodyStart, Qt::CaseInsensitive);
        const qsizetype bodyEnd = close < 0 ? n : close;
        if (bodyEnd > bodyStart)
            regions.append({int(bodyStart), int(bodyEnd - bodyStart)});
        if (close < 0)
            break;
        from = close + 7;
    }
    return regions;
}

std::optional<NBETextRange> region(int offset, const QString &text)
{
    for (const NBETextRange &range : styleRegions(text)) {
        if (range.contains(offset))
            return range;
    }
    return std::nullopt;
}

std::optional<NBETextRange> regionAround(int offset, const QString &text)
{
    const qsizetype n = text.size();
    if (offset < 0 || offset > n)
        return std::nullopt;
    // The nearest "<" before the offset that starts a tag, a closing tag or
    // a comment; a lone "<" in CSS text does not.
    qsizetype open = offset;
    do {
        open = open > 0 ? text.lastIndexOf(QLatin1Char('<'), open - 1) : -1;
        if (open < 0)
            return std::nullopt;
    } while (open + 1 < n && !text[open + 1].isLetter() && text[open + 1] != QLatin1Char('/') &&
             text[open + 1] != QLatin1Char('!'));
    const qsizetype after = open + 6;
    if (after >= n || QStringView(text).mid(open, 6).compare(u"<style", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QChar next = text[after];
    if (next != QLatin1Char('>') && next != QLatin1Char(' ') && next != QLatin1Char('\t') &&
        next != QLatin1Char('\n') && next != QLatin1Char('\r') && next != QLatin1Char('/'))
        return std::nullopt;
    const qsizetype headEnd = text.indexOf(QLatin1Char('>'), after);
    if (headEnd < 0 || headEnd >= offset)
        return std::nullopt;
    // No "</style" lies before the offset: its "<" would be the nearest.
    const qsizetype close = text.indexOf(QLatin1String("</style"), offset, Qt::CaseInsensitive);
    const qsizetype bodyEnd = close < 0 ? n : close;
    if (bodyEnd <= headEnd + 1)
        return std::nullopt;
    return NBETextRange{int(headEnd + 1), int(bodyEnd - headEnd - 1)};
}

} // namespace NBEEmbeddedCSS
