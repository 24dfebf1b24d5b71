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

} // namespace NBEEmbeddedCSS
