#include "NBEEmmet.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <utility>

namespace {

const QSet<QString> &voidTags()
{
    static const QSet<QString> tags{"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                    "input", "link", "meta", "param", "source", "track", "wbr"};
    return tags;
}

const QSet<QString> &knownTags()
{
    static const QSet<QString> tags = [] {
        const QStringList names =
            QStringLiteral(
                "a abbr address article aside audio b blockquote body button canvas caption code "
                "col colgroup data datalist dd details dialog div dl dt em fieldset figcaption "
                "figure footer form h1 h2 h3 h4 h5 h6 head header hgroup html i iframe img input "
                "label legend li main map mark menu meter nav object ol optgroup option output p "
                "picture pre progress q section select small span strong sub summary sup table "
                "tbody td template textarea tfoot th thead time tr u ul video br hr link meta")
                .split(QLatin1Char(' '));
        return QSet<QString>(names.begin(), names.end());
    }();
    return tags;
}

const QString &skeleton()
{
    static const QString text = QStringLiteral(
        "<!DOCTYPE html>\n"
        "<html lang=\"en\">\n"
        "<head>\n"
        "    <meta charset=\"UTF-8\">\n"
        "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
        "    <title>Document</title>\n"
        "</head>\n"
        "<body>\n"
        "    \n"
        "</body>\n"
        "</html>");
    return text;
}

struct Node
{
    QString tag;
    std::optional<QString> id;
    QStringList classes;
    QList<std::pair<QString, QString>> attrs;
    std::optional<QString> text;
    qint64 multiply = 1;
    QList<Node> children;
};

// Reads the abbreviation one code point at a time; marks (accents) count as
// part of the letter before them, so a grapheme stays whole in a name.
class Parser
{
public:
    explicit Parser(const QString &abbreviation)
        : chars(abbreviation.toUcs4())
    {}

    std::optional<QList<Node>> parseSiblings(int depth)
    {
        if (depth > NBEEmmet::maxDepth)
            return std::nullopt;
        QList<Node> nodes;
        auto first = parseElementWithChildren(depth);
        if (!first)
            return std::nullopt;
        nodes.append(std::move(*first));
        while (peek() == U'+') {
            ++pos;
            auto node = parseElementWithChildren(depth);
            if (!node)
                return std::nullopt;
            nodes.append(std::move(*node));
        }
        return nodes;
    }

    bool atEnd() const { return pos >= chars.size(); }

private:
    QList<uint> chars;
    qsizetype pos = 0;

    char32_t peek() const { return atEnd() ? 0 : char32_t(chars[pos]); }

    static bool isLetterOrDigit(char32_t c)
    {
        return QChar::isLetterOrNumber(c) || QChar::isMark(c);
    }

    QString readWhile(auto accept)
    {
        const qsizetype start = pos;
        while (!atEnd() && accept(char32_t(chars[pos])))
            ++pos;
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()) + start,
                                 pos - start);
    }

    std::optional<Node> parseElementWithChildren(int depth)
    {
        auto node = parseElement();
        if (!node)
            return std::nullopt;
        if (peek() == U'>') {
            ++pos;
            auto children = parseSiblings(depth + 1);
            if (!children)
                return std::nullopt;
            node->children = std::move(*children);
        }
        return node;
    }

    std::optional<Node> parseElement()
    {
        Node node;
        node.tag = readWhile([](char32_t c) { return isLetterOrDigit(c) || c == U'-'; });
        auto identifier = [&] {
            return readWhile(
                [](char32_t c) { return isLetterOrDigit(c) || c == U'-' || c == U'_'; });
        };
        bool hasModifier = false;
        for (;;) {
            const char32_t c = peek();
            if (c == U'.') {
                ++pos;
                const QString name = identifier();
                if (name.isEmpty())
                    return std::nullopt;
                node.classes.append(name);
            } else if (c == U'#') {
                ++pos;
                const QString name = identifier();
                if (name.isEmpty())
                    return std::nullopt;
                node.id = name;
            } else if (c == U'[') {
                if (!parseAttributes(node))
                    return std::nullopt;
            } else if (c == U'{') {
                if (!parseText(node))
                    return std::nullopt;
            } else {
                break;
            }
            hasModifier = true;
        }
        if (node.tag.isEmpty()) {
            if (!hasModifier)
                return std::nullopt;
            node.tag = QStringLiteral("div");
        }
        if (peek() == U'*') {
            ++pos;
            const QString digits = readWhile([](char32_t c) { return c >= U'0' && c <= U'9'; });
            bool ok = false;
            const qint64 count = digits.toLongLong(&ok);
            if (!ok || count <= 0)
                return std::nullopt;
            node.multiply = count;
        }
        return node;
    }

    bool parseAttributes(Node &node)
    {
        ++pos; // "["
        for (;;) {
            while (peek() == U' ')
                ++pos;
            if (atEnd())
                return false;
            if (peek() == U']') {
                ++pos;
                return true;
            }
            const QString name = readWhile([](char32_t c) {
                return isLetterOrDigit(c) || c == U'-' || c == U':' || c == U'_';
            });
            if (name.isEmpty())
                return false;
            QString value;
            if (peek() == U'=') {
                ++pos;
                const char32_t quote = peek();
                if (quote == U'"' || quote == U'\'') {
                    ++pos;
                    value = readWhile([quote](char32_t c) { return c != quote; });
                    if (atEnd())
                        return false;
                    ++pos;
                } else {
                    value = readWhile([](char32_t c) { return c != U' ' && c != U']'; });
                }
            }
            node.attrs.append({name, value});
        }
    }

    bool parseText(Node &node)
    {
        ++pos; // "{"
        const QString text = readWhile([](char32_t c) { return c != U'}'; });
        if (atEnd())
            return false;
        ++pos;
        node.text = text;
        return true;
    }
};

// Elements the nodes would render, saturating at the cap so that nested
// multiplications cannot overflow.
qint64 elementCount(const QList<Node> &nodes)
{
    qint64 total = 0;
    for (const Node &node : nodes) {
        const qint64 inner = 1 + elementCount(node.children);
        if (inner > NBEEmmet::maxElements || node.multiply > NBEEmmet::maxElements)
            return NBEEmmet::maxElements + 1;
        total += node.multiply * inner;
        if (total > NBEEmmet::maxElements)
            return NBEEmmet::maxElements + 1;
    }
    return total;
}

QString openingTag(const Node &node)
{
    QString tag = QLatin1Char('<') + node.tag;
    if (node.id)
        tag += QLatin1String(" id=\"") + *node.id + QLatin1Char('"');
    if (!node.classes.isEmpty())
        tag += QLatin1String(" class=\"") + node.classes.join(QLatin1Char(' ')) + QLatin1Char('"');
    for (const auto &[name, value] : node.attrs) {
        tag += QLatin1Char(' ') + name;
        if (!value.isEmpty())
            tag += QLatin1String("=\"") + value + QLatin1Char('"');
    }
    return tag + QLatin1Char('>');
}

QString render(const Node &node, int indent, const QString &unit)
{
    if (node.tag.isEmpty())
        return {};
    const QString pad = unit.repeated(indent);
    QString copy;
    if (voidTags().contains(node.tag.toLower())) {
        copy = pad + openingTag(node);
    } else if (!node.children.isEmpty()) {
        QStringList lines{pad + openingTag(node)};
        if (node.text)
            lines.append(pad + unit + *node.text);
        for (const Node &child : node.children)
            lines.append(render(child, indent + 1, unit));
        lines.append(pad + QLatin1String("</") + node.tag + QLatin1Char('>'));
        copy = lines.join(QLatin1Char('\n'));
    } else {
        copy = pad + openingTag(node) + node.text.value_or(QString()) + QLatin1String("</") +
               node.tag + QLatin1Char('>');
    }
    QStringList copies;
    for (qint64 i = 0; i < std::max<qint64>(node.multiply, 1); ++i)
        copies.append(copy);
    return copies.join(QLatin1Char('\n'));
}

// Output length without building it, to refuse a huge expansion up front.
qint64 renderedLength(const QList<Node> &nodes, int indent, qint64 unit)
{
    qint64 total = 0;
    for (const Node &node : nodes) {
        qint64 open = 2 + node.tag.size();
        if (node.id)
            open += 6 + node.id->size();
        for (const QString &cls : node.classes)
            open += 1 + cls.size() + 8;
        for (const auto &[name, value] : node.attrs)
            open += 4 + name.size() + value.size();
        const qint64 text = node.text ? node.text->size() + unit * (indent + 1) + 1 : 0;
        const qint64 one = unit * indent * 2 + open + text + node.tag.size() + 4 +
                           renderedLength(node.children, indent + 1, unit) + node.children.size() +
                           1;
        total += node.multiply * one;
        if (total > NBEEmmet::maxLength)
            return NBEEmmet::maxLength + 1;
    }
    return total;
}

} // namespace

namespace NBEEmmet {

bool shouldExpand(const QString &abbreviation)
{
    if (abbreviation.isEmpty())
        return false;
    if (abbreviation == QLatin1String("!"))
        return true;
    for (QChar c : abbreviation) {
        if (QStringView(u".#>+*[{").contains(c))
            return true;
    }
    return knownTags().contains(abbreviation.toLower());
}

std::optional<QString> expand(const QString &abbreviation, const QString &indent)
{
    qsizetype start = 0;
    qsizetype end = abbreviation.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(abbreviation[start]))
        ++start;
    while (end > start && blank(abbreviation[end - 1]))
        --end;
    const QString trimmed = abbreviation.mid(start, end - start);
    if (trimmed.isEmpty())
        return std::nullopt;
    if (trimmed == QLatin1String("!"))
        return skeleton();
    Parser parser(trimmed);
    const auto nodes = parser.parseSiblings(0);
    if (!nodes || !parser.atEnd() || nodes->isEmpty())
        return std::nullopt;
    if (elementCount(*nodes) > maxElements || renderedLength(*nodes, 0, indent.size()) > maxLength)
        return std::nullopt;
    QStringList rendered;
    for (const Node &node : *nodes)
        rendered.append(render(node, 0, indent));
    return rendered.join(QLatin1Char('\n'));
}

std::optional<NBEEmmetExpansion> expansion(int caret, const QString &text, const QString &indent)
{
    if (caret < 0 || caret > text.size())
        return std::nullopt;
    const qsizetype lineStart = caret == 0 ? 0 : text.lastIndexOf(QLatin1Char('\n'), caret - 1) + 1;
    int depth = 0;
    qsizetype start = lineStart;
    for (qsizetype i = lineStart; i < caret; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('[') || c == QLatin1Char('{'))
            ++depth;
        else if (c == QLatin1Char(']') || c == QLatin1Char('}'))
            depth = std::max(depth - 1, 0);
        else if ((c == QLatin1Char(' ') || c == QLatin1Char('\t')) && depth == 0)
            start = i + 1;
    }
    const QString abbreviation = text.mid(start, caret - start);
    if (!shouldExpand(abbreviation))
        return std::nullopt;
    const auto html = expand(abbreviation, indent);
    if (!html)
        return std::nullopt;
    return NBEEmmetExpansion{{int(start), int(caret - start)}, *html};
}

} // namespace NBEEmmet
