#include "NBEHTMLFormatter.h"

#include "NBEHTMLData.h"
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

bool isRawElement(const QString &name)
{
    return name == QLatin1String("pre") || name == QLatin1String("script") ||
           name == QLatin1String("style") || name == QLatin1String("textarea");
}

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

LineEffect analyze(const QString &line)
{
    LineEffect effect;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        if (line[i] != QLatin1Char('<')) {
            ++i;
            continue;
        }
        if (QStringView(line).mid(i).startsWith(u"<!--")) {
            const qsizetype close = line.indexOf(QStringLiteral("-->"), i);
            if (close < 0) {
                effect.opensRaw = QStringLiteral("-->");
                return effect;
            }
            i = close + 3;
            continue;
        }
        if (i + 1 < n && (line[i + 1] == QLatin1Char('!') || line[i + 1] == QLatin1Char('?'))) {
            const qsizetype close = line.indexOf(QLatin1Char('>'), i);
            if (close < 0)
                return effect;
            i = close + 1;
            continue;
        }
        const bool closing = i + 1 < n && line[i + 1] == QLatin1Char('/');
        const qsizetype nameStart = i + (closing ? 2 : 1);
        const qsizetype nameEnd = NBEMarkupScan::nameEnd(line, nameStart);
        const QString name = line.mid(nameStart, nameEnd - nameStart).toLower();
        const NBEMarkupScan::TagTail tail = NBEMarkupScan::tagTail(line, nameEnd, false);
        const bool selfClosing = tail.selfClosing();
        i = tail.closed ? tail.end + 1 : tail.end;
        if (name.isEmpty())
            continue;
        if (closing) {
            --effect.net;
            continue;
        }
        if (selfClosing || NBEHTMLData::voidElements().contains(name))
            continue;
        if (isRawElement(name)) {
            const QString terminator = QLatin1String("</") + name;
            const qsizetype close = line.indexOf(terminator, i, Qt::CaseInsensitive);
            if (close < 0) {
                effect.opensRaw = terminator;
                return effect;
            }
            i = close + terminator.size();
            continue;
        }
        ++effect.net;
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
