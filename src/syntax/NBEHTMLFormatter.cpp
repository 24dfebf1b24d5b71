#include "NBEHTMLFormatter.h"

#include "NBEMarkupScan.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

// Lines nested deeper are indented no further: a file of thousands of
// unclosed tags would otherwise format to a text quadratic in its size.
constexpr int maxIndentLevel = 64;

// The elements open at a line's start, innermost last. Their count is the
// nesting depth.
using OpenElements = QList<QString>;

struct LineEffect
{
    // The depth the line's first tag leaves once it has closed what it
    // closes; the line is written at that level when it starts with a tag.
    std::optional<qsizetype> levelAtFirstTag;
    std::optional<QString> opensRaw;
};

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isOneOf(QStringView name, std::initializer_list<QStringView> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements whose end tag may be left out: an opening tag ends the ones it
// can't sit inside of, as an HTML parser does, so a list of "<li>" lines
// without "</li>" stays at one depth.
void closeImplied(OpenElements &open, QStringView name)
{
    const auto closeTop = [&](std::initializer_list<QStringView> names) {
        if (!open.isEmpty() && isOneOf(open.last(), names))
            open.removeLast();
    };
    if (name == u"li") {
        closeTop({u"p"});
        closeTop({u"li"});
    } else if (name == u"dt" || name == u"dd") {
        closeTop({u"p"});
        closeTop({u"dt", u"dd"});
    } else if (name == u"td" || name == u"th") {
        closeTop({u"td", u"th"});
    } else if (name == u"tr") {
        closeTop({u"td", u"th"});
        closeTop({u"tr"});
    } else if (name == u"thead" || name == u"tbody" || name == u"tfoot") {
        closeTop({u"td", u"th"});
        closeTop({u"tr"});
        closeTop({u"thead", u"tbody", u"tfoot"});
    } else if (name == u"option") {
        closeTop({u"option"});
    } else if (name == u"optgroup") {
        closeTop({u"option"});
        closeTop({u"optgroup"});
    } else if (name == u"rt" || name == u"rp") {
        closeTop({u"rt", u"rp"});
    } else if (isOneOf(name,
                       {u"p",    u"address", u"article",  u"aside",      u"blockquote", u"details",
                        u"div",  u"dl",      u"fieldset", u"figcaption", u"figure",     u"footer",
                        u"form", u"h1",      u"h2",       u"h3",         u"h4",         u"h5",
                        u"h6",   u"header",  u"hgroup",   u"hr",         u"main",       u"menu",
                        u"nav",  u"ol",      u"pre",      u"section",    u"table",      u"ul"})) {
        closeTop({u"p"});
    }
}

// A closing tag ends its element and whatever is still open inside it; one
// that matches nothing open lowers the depth by one all the same.
void close(OpenElements &open, const QString &name)
{
    const qsizetype at = open.lastIndexOf(name);
    if (at >= 0)
        open.resize(at);
    else if (!open.isEmpty())
        open.removeLast();
}

LineEffect analyze(const QString &line, OpenElements &open)
{
    using Open = NBEMarkupScan::TagIterator::Open;
    LineEffect effect;
    NBEMarkupScan::TagIterator tags(line);
    while (const auto tag = tags.next()) {
        const QString name = line.mid(tag->nameStart, tag->nameLength()).toLower();
        const bool first = !effect.levelAtFirstTag && tag->start == 0;
        if (tag->closing)
            close(open, name);
        else
            closeImplied(open, name);
        if (first)
            effect.levelAtFirstTag = open.size();
        if (tag->closing || tag->selfClosing || NBEMarkupScan::isVoidElement(name))
            continue;
        open.append(name);
        // A pre's text keeps its layout too, though unlike raw text it may
        // hold tags.
        if (name == u"pre") {
            const qsizetype end =
                line.indexOf(QLatin1String("</pre"), tag->end, Qt::CaseInsensitive);
            if (end < 0) {
                open.removeLast();
                effect.opensRaw = QStringLiteral("</pre");
                return effect;
            }
            tags.seek(end);
        }
    }
    if (tags.openAtEnd() == Open::comment) {
        effect.opensRaw = QStringLiteral("-->");
    } else if (tags.openAtEnd() == Open::rawText) {
        // The element whose text runs on did not open a level of its own.
        if (!open.isEmpty())
            open.removeLast();
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
    OpenElements open;
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
        const qsizetype depth = open.size();
        const LineEffect effect = analyze(trimmed, open);
        qsizetype level = depth;
        if (trimmed.startsWith(QLatin1String("-->")))
            level = std::max<qsizetype>(depth - 1, 0);
        else if (effect.levelAtFirstTag)
            level = *effect.levelAtFirstTag;
        // Blanks at the end of a line that opens a raw region belong to its
        // content (a pre's first line), so they stay.
        const QString kept = effect.opensRaw ? line.mid(start) : trimmed;
        written.append(indentUnit.repeated(std::min<qsizetype>(level, maxIndentLevel)) + kept);
        raw = effect.opensRaw;
    }
    return written.join(QLatin1Char('\n'));
}

} // namespace NBEHTMLFormatter
