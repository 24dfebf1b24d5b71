#include "NBEHTMLFormatter.h"

#include "NBEMarkupScan.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

// Lines nested deeper are indented no further: a file of thousands of
// unclosed tags would otherwise format to a text quadratic in its size.
constexpr int maxIndentLevel = 64;

struct LineEffect
{
    int net = 0;
    std::optional<QString> opensRaw;
};

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

LineEffect analyze(const QString &line)
{
    using Open = NBEMarkupScan::TagIterator::Open;
    LineEffect effect;
    NBEMarkupScan::TagIterator tags(line);
    while (const auto tag = tags.next()) {
        if (tag->closing) {
            --effect.net;
            continue;
        }
        const QStringView name = QStringView(line).mid(tag->nameStart, tag->nameLength());
        if (tag->selfClosing || NBEMarkupScan::isVoidElement(name))
            continue;
        ++effect.net;
        // A pre's text keeps its layout too, though unlike raw text it may
        // hold tags.
        if (name.compare(u"pre", Qt::CaseInsensitive) == 0) {
            const qsizetype close =
                line.indexOf(QLatin1String("</pre"), tag->end, Qt::CaseInsensitive);
            if (close < 0) {
                --effect.net;
                effect.opensRaw = QStringLiteral("</pre");
                return effect;
            }
            tags.seek(close);
        }
    }
    if (tags.openAtEnd() == Open::comment) {
        effect.opensRaw = QStringLiteral("-->");
    } else if (tags.openAtEnd() == Open::rawText) {
        // The element whose text runs on did not open a level of its own.
        --effect.net;
        effect.opensRaw = QLatin1String("</") + tags.openRawName().toString().toLower();
    }
    return effect;
}

} // namespace

namespace NBEHTMLFormatter {

QString format(const QString &text, const QString &indentUnit)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList written;
    written.reserve(lines.size());
    int depth = 0;
    std::optional<QString> raw;
    for (const QString &line : lines) {
        if (raw) {
            written.append(line);
            if (line.contains(*raw, Qt::CaseInsensitive))
                raw.reset();
            continue;
        }
        qsizetype start = 0;
        qsizetype end = line.size();
        while (start < end && isSpaceOrTab(line[start]))
            ++start;
        while (end > start && isSpaceOrTab(line[end - 1]))
            --end;
        const QString trimmed = line.mid(start, end - start);
        if (trimmed.isEmpty()) {
            written.append(QString());
            continue;
        }
        const bool outdent =
            trimmed.startsWith(QLatin1String("</")) || trimmed.startsWith(QLatin1String("-->"));
        const LineEffect effect = analyze(trimmed);
        // Blanks at the end of a line that opens a raw region belong to its
        // content (a pre's first line), so they stay.
        const QString kept = effect.opensRaw ? line.mid(start) : trimmed;
        const int level = std::min(outdent ? std::max(depth - 1, 0) : depth, maxIndentLevel);
        written.append(indentUnit.repeated(level) + kept);
        depth = std::max(depth + effect.net, 0);
        raw = effect.opensRaw;
    }
    return written.join(QLatin1Char('\n'));
}

} // namespace NBEHTMLFormatter
