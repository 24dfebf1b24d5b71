#include "NBEOutline.h"

#include "NBEHTMLData.h"
#include "NBEMarkupScan.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

using NBEMarkupScan::isBlank;
using NBEMarkupScan::lineIndex;

const QSet<QString> &significantTags()
{
    static const QSet<QString> tags{"html",   "head",    "body",    "title", "header", "nav",
                                    "main",   "section", "article", "aside", "footer", "form",
                                    "figure", "table",   "dialog",  "ul",    "ol",     "h1",
                                    "h2",     "h3",      "h4",      "h5",    "h6"};
    return tags;
}

const QSet<QString> &jsKeywords()
{
    static const QSet<QString> words{
        "if",   "for",   "while",  "switch", "catch",  "function", "return", "else", "do",  "try",
        "with", "await", "typeof", "new",    "delete", "void",     "in",     "of",   "case"};
    return words;
}

QRegularExpression attributePattern(const QString &name)
{
    return QRegularExpression(QStringLiteral("(?:^|\\s)") + name +
                              QStringLiteral("\\s*=\\s*[\"']([^\"']*)[\"']"));
}

std::optional<QString> attrValue(QStringView attributes, const QString &name)
{
    // The two names the scanner asks for are compiled once: compiling per tag
    // made a 1 MiB page take seconds.
    static const QRegularExpression idPattern = attributePattern(QStringLiteral("id"));
    static const QRegularExpression classPattern = attributePattern(QStringLiteral("class"));
    const QRegularExpression pattern = name == QLatin1String("id")      ? idPattern
                                       : name == QLatin1String("class") ? classPattern
                                                                        : attributePattern(name);
    if (!pattern.isValid())
        return std::nullopt;
    const QRegularExpressionMatch match = pattern.match(attributes);
    if (!match.hasMatch())
        return std::nullopt;
    QString value = match.captured(1);
    qsizetype start = 0;
    qsizetype end = value.size();
    while (start < end && (value[start] == QLatin1Char(' ') || value[start] == QLatin1Char('\t')))
        ++start;
    while (end > start &&
           (value[end - 1] == QLatin1Char(' ') || value[end - 1] == QLatin1Char('\t')))
        --end;
    value = value.mid(start, end - start);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

QList<NBESymbol> htmlSymbols(const QString &text)
{
    QList<NBESymbol> symbols;
    const QList<qsizetype> starts = NBEMarkupScan::lineStarts(text);
    qint64 depth = 0;
    NBEMarkupScan::TagIterator iterator(text);
    while (const auto tag = iterator.next()) {
        if (tag->closing) {
            depth = std::max<qint64>(depth - 1, 0);
            continue;
        }
        const QString name = text.mid(tag->nameStart, tag->nameLength()).toLower();
        if (tag->selfClosing || NBEHTMLData::voidElements().contains(name))
            continue;
        const QStringView attributes = QStringView(text).mid(tag->nameEnd, tag->end - tag->nameEnd);
        const auto id = attrValue(attributes, QStringLiteral("id"));
        const auto cls = attrValue(attributes, QStringLiteral("class"));
        if (significantTags().contains(name) || id || cls) {
            QString display = name;
            if (id) {
                display += QLatin1Char('#') + *id;
            } else if (cls) {
                const QStringList words = cls->split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (!words.isEmpty())
                    display += QLatin1Char('.') + words.first();
            }
            symbols.append({tag->start, display, NBESymbolKind::element,
                            lineIndex(starts, tag->start) + 1, depth});
        }
        ++depth;
    }
    return symbols;
}

QList<NBESymbol> cssSymbols(const QString &text)
{
    QList<NBESymbol> symbols;
    const qsizetype n = text.size();
    const QList<qsizetype> starts = NBEMarkupScan::lineStarts(text);
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    qint64 depth = 0;
    qsizetype segment = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            while (j < n && text[j] != c)
                j += text[j] == QLatin1Char('\\') ? 2 : 1;
            i = std::min(j + 1, n);
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && text[i + 1] == QLatin1Char('*')) {
            const qsizetype close = text.indexOf(QLatin1String("*/"), i + 2);
            if (close < 0)
                break;
            i = close + 2;
            continue;
        }
        if (c == QLatin1Char(';')) {
            segment = i + 1;
        } else if (c == QLatin1Char('{')) {
            QString prelude = text.mid(segment, i - segment).trimmed();
            prelude.replace(whitespace, QStringLiteral(" "));
            if (!prelude.isEmpty()) {
                qsizetype start = segment;
                while (start < i && isBlank(text[start]))
                    ++start;
                symbols.append({start, prelude,
                                prelude.startsWith(QLatin1Char('@')) ? NBESymbolKind::atRule
                                                                     : NBESymbolKind::selector,
                                lineIndex(starts, start) + 1, depth});
            }
            ++depth;
            segment = i + 1;
        } else if (c == QLatin1Char('}')) {
            depth = std::max<qint64>(depth - 1, 0);
            segment = i + 1;
        }
        ++i;
    }
    return symbols;
}

QList<qint64> braceDepthPerLine(const QString &text)
{
    QList<qint64> depths{0};
    qint64 depth = 0;
    enum class State { code, lineComment, blockComment, string } state = State::code;
    QChar quote;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')) {
            depths.append(depth);
            if (state == State::lineComment)
                state = State::code;
            continue;
        }
        switch (state) {
        case State::lineComment:
            break;
        case State::blockComment:
            if (c == QLatin1Char('*') && i + 1 < n && text[i + 1] == QLatin1Char('/')) {
                state = State::code;
                ++i;
            }
            break;
        case State::string:
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                state = State::code;
            break;
        case State::code:
            if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('`')) {
                state = State::string;
                quote = c;
            } else if (c == QLatin1Char('/') && i + 1 < n && text[i + 1] == QLatin1Char('*')) {
                state = State::blockComment;
                ++i;
            } else if (c == QLatin1Char('/') && i + 1 < n && text[i + 1] == QLatin1Char('/')) {
                state = State::lineComment;
                ++i;
            } else if (c == QLatin1Char('{')) {
                ++depth;
            } else if (c == QLatin1Char('}')) {
                depth = std::max<qint64>(depth - 1, 0);
            }
            break;
        }
    }
    return depths;
}

std::optional<std::pair<QString, NBESymbolKind>> jsMatch(const QString &line)
{
    // \s and \w read Unicode as in the highlighter's patterns.
    const auto options = QRegularExpression::UseUnicodePropertiesOption;
    static const QRegularExpression classRe(
        QStringLiteral(
            R"(^\s*(?:export\s+)?(?:default\s+)?(?:abstract\s+)?class\s+([A-Za-z_$][\w$]*))"),
        options);
    static const QRegularExpression funcRe(
        QStringLiteral(
            R"(^\s*(?:export\s+)?(?:default\s+)?(?:async\s+)?function\s*\*?\s*([A-Za-z_$][\w$]*))"),
        options);
    static const QRegularExpression arrowRe(
        QStringLiteral(
            R"(^\s*(?:export\s+)?(?:const|let|var)\s+([A-Za-z_$][\w$]*)\s*=\s*(?:async\s+)?(?:function\b|\([^)]*\)\s*=>|[A-Za-z_$][\w$]*\s*=>))"),
        options);
    static const QRegularExpression methodRe(
        QStringLiteral(
            R"(^\s*(?:public\s+|private\s+|protected\s+|static\s+|async\s+|get\s+|set\s+|\*\s*)*([A-Za-z_$][\w$]*)\s*\([^;=]*\)\s*\{)"),
        options);
    const std::pair<const QRegularExpression *, NBESymbolKind> patterns[] = {
        {&classRe, NBESymbolKind::cls},
        {&funcRe, NBESymbolKind::function},
        {&arrowRe, NBESymbolKind::function},
        {&methodRe, NBESymbolKind::method},
    };
    for (const auto &[pattern, kind] : patterns) {
        const QRegularExpressionMatch match = pattern->match(line);
        if (!match.hasMatch())
            continue;
        const QString name = match.captured(1);
        if (kind == NBESymbolKind::method && jsKeywords().contains(name))
            return std::nullopt;
        return std::pair{name, kind};
    }
    return std::nullopt;
}

QList<NBESymbol> jsSymbols(const QString &text)
{
    QList<NBESymbol> symbols;
    const QList<qint64> depths = braceDepthPerLine(text);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const auto found = jsMatch(lines[k]);
        if (!found)
            continue;
        symbols.append({qint64(k) * 100003 + symbols.size(), found->first, found->second, k + 1,
                        k < depths.size() ? depths[k] : 0});
    }
    return symbols;
}

} // namespace

namespace NBEOutline {

QList<NBESymbol> symbols(const QString &text, const std::optional<QString> &languageID)
{
    if (text.isEmpty() || !languageID)
        return {};
    if (*languageID == QLatin1String("html"))
        return htmlSymbols(text);
    if (*languageID == QLatin1String("css"))
        return cssSymbols(text);
    if (*languageID == QLatin1String("javascript"))
        return jsSymbols(text);
    return {};
}

} // namespace NBEOutline
