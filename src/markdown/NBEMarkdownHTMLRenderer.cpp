#include "NBEMarkdownHTMLRenderer.h"

#include "NBEMarkdownParser.h"

#include <array>
#include <vector>

namespace {

const QString &styleSheet()
{
    static const QString css = QStringLiteral(
        ":root { color-scheme: light dark; --accent: #D97706; }\n"
        "body {\n"
        "  font: 16px/1.6 -apple-system, system-ui, sans-serif;\n"
        "  max-width: 46rem; margin: 3rem auto; padding: 0 1.25rem;\n"
        "  color: #1c1c1e; background: #fff;\n"
        "}\n"
        "@media (prefers-color-scheme: dark) {\n"
        "  body { color: #e6e6e6; background: #1c1c1e; }\n"
        "  pre, code, table th { background: #2a2a2c; }\n"
        "  td, th, blockquote, hr { border-color: #3a3a3c; }\n"
        "}\n"
        "h1, h2, h3, h4, h5, h6 { line-height: 1.25; }\n"
        "a { color: var(--accent); }\n"
        "code {\n"
        "  font-family: ui-monospace, SFMono-Regular, Menlo, monospace; font-size: 0.9em;\n"
        "  background: #f4f4f5; padding: 0.15em 0.35em; border-radius: 4px;\n"
        "}\n"
        "pre { background: #f4f4f5; padding: 1rem; border-radius: 8px; overflow-x: auto; }\n"
        "pre code { background: none; padding: 0; }\n"
        "blockquote { margin: 1rem 0; padding: 0.25rem 1rem; border-left: 3px solid "
        "var(--accent); color: #6b7280; }\n"
        "table { border-collapse: collapse; width: 100%; }\n"
        "th, td { border: 1px solid #e5e7eb; padding: 0.4rem 0.7rem; text-align: left; }\n"
        "th { background: #f4f4f5; }\n"
        "img { max-width: 100%; height: auto; border-radius: 6px; }\n"
        "hr { border: none; border-top: 1px solid #e5e7eb; margin: 2rem 0; }\n"
        "li.task { list-style: none; margin-left: -1.2rem; }\n"
        ".footnote { font-size: 0.85em; color: #6b7280; }\n"
        "dt { font-weight: 600; margin-top: 0.5rem; }\n"
        "dd { margin-left: 1.2rem; color: #6b7280; }\n");
    return css;
}

// Inline formatting works on a sequence of atoms: characters of the source
// text and whole generated tags. Rules match on characters only, so a tag
// (and the URL inside it) is never rewritten by a later rule.
struct Atom
{
    char16_t ch = 0;
    int tag = -1; // index into Inline::tags, -1 for a character
};

struct Tag
{
    int depth; // +1 opens an element, -1 closes one, 0 stands alone
    QString html;
};

class Inline
{
public:
    explicit Inline(const QString &text)
    {
        atoms.reserve(text.size());
        for (QChar c : text) {
            atoms.push_back(Atom{c.unicode(), -1});
            if (c.unicode() < 128)
                present[c.unicode()] = true;
        }
    }

    // Whether any rule could match: without these characters the text only
    // needs escaping.
    static bool mayHaveMarkup(const QString &text)
    {
        for (QChar c : text) {
            switch (c.unicode()) {
            case u'[':
            case u'`':
            case u'*':
            case u'_':
            case u'~':
                return true;
            default:
                break;
            }
        }
        return false;
    }

    void applyImages() { applyBracketRule(true); }
    void applyLinks() { applyBracketRule(false); }

    // marker + content without the marker's first character + marker.
    void applyPair(QStringView marker, const QString &element)
    {
        if (!containsCharacter(marker[0]))
            return;
        const qsizetype m = marker.size();
        const qsizetype n = qsizetype(atoms.size());
        std::vector<Atom> out;
        out.reserve(atoms.size());
        const int open = addTag(+1, u'<' + element + u'>');
        const int close = addTag(-1, QStringLiteral("</") + element + u'>');
        NextCharacter nextMarker(*this, marker[0]);
        qsizetype p = 0;
        while (p < n) {
            if (isMarkerAt(p, marker)) {
                const qsizetype start = p + m;
                const qsizetype q = nextMarker.find(start);
                if (q > start && isMarkerAt(q, marker) && isBalanced(start, q)) {
                    out.push_back(Atom{0, open});
                    out.insert(out.end(), atoms.begin() + start, atoms.begin() + q);
                    out.push_back(Atom{0, close});
                    p = q + m;
                    continue;
                }
            }
            out.push_back(atoms[p]);
            ++p;
        }
        atoms = std::move(out);
    }

    // With `lineBreaks`, a line break of the text becomes "<br>" (never one
    // inside an attribute).
    QString html(bool lineBreaks) const
    {
        QString out;
        out.reserve(qsizetype(atoms.size()) + 16);
        for (const Atom &atom : atoms) {
            if (atom.tag >= 0) {
                out += tags[atom.tag].html;
                continue;
            }
            switch (atom.ch) {
            case u'&':
                out += QStringLiteral("&amp;");
                break;
            case u'<':
                out += QStringLiteral("&lt;");
                break;
            case u'>':
                out += QStringLiteral("&gt;");
                break;
            case u'\n':
                out += lineBreaks ? QStringLiteral("<br>") : QStringLiteral("\n");
                break;
            default:
                out += QChar(atom.ch);
            }
        }
        return out;
    }

private:
    std::vector<Atom> atoms;
    std::vector<Tag> tags;
    std::array<bool, 128> present{};
    qsizetype stopFrom = -1; // cache of urlEndAfter
    qsizetype stopAt = -1;

    // The next character `c` at or after a position; forward queries reuse
    // the last answer, keeping a left-to-right scan linear.
    struct NextCharacter
    {
        const Inline &line;
        char16_t c;
        qsizetype from = -1;
        qsizetype result = -1;

        NextCharacter(const Inline &line, QChar c)
            : line(line)
            , c(c.unicode())
        {}

        qsizetype find(qsizetype start)
        {
            if (from < 0 || start < from || (result >= 0 && start > result)) {
                from = start;
                result = line.findCharacter(QChar(c), start);
            }
            return result;
        }
    };

    int addTag(int depth, const QString &html)
    {
        tags.push_back(Tag{depth, html});
        return int(tags.size()) - 1;
    }

    bool isCharacter(qsizetype p, char16_t c) const
    {
        return p < qsizetype(atoms.size()) && atoms[p].tag < 0 && atoms[p].ch == c;
    }

    // Rules only ever remove characters, so the characters of the source
    // text bound what is left.
    bool containsCharacter(QChar c) const { return c.unicode() < 128 && present[c.unicode()]; }

    qsizetype findCharacter(QChar c, qsizetype from) const
    {
        for (qsizetype k = from; k < qsizetype(atoms.size()); ++k) {
            if (isCharacter(k, c.unicode()))
                return k;
        }
        return -1;
    }

    bool isMarkerAt(qsizetype p, QStringView marker) const
    {
        for (qsizetype k = 0; k < marker.size(); ++k) {
            if (!isCharacter(p + k, marker[k].unicode()))
                return false;
        }
        return true;
    }

    // Whether the atoms [from, to) open and close their elements in order.
    bool isBalanced(qsizetype from, qsizetype to) const
    {
        int depth = 0;
        for (qsizetype k = from; k < to; ++k) {
            if (atoms[k].tag < 0)
                continue;
            depth += tags[atoms[k].tag].depth;
            if (depth < 0)
                return false;
        }
        return depth == 0;
    }

    QString characters(qsizetype from, qsizetype to) const
    {
        QString text;
        text.reserve(to - from);
        for (qsizetype k = from; k < to; ++k) {
            if (atoms[k].tag < 0)
                text += QChar(atoms[k].ch);
        }
        return text;
    }

    // "![alt](url)" (images) or "[text](url)" (links): the text may hold no
    // "]", the URL neither ")" nor whitespace nor a generated tag.
    void applyBracketRule(bool images)
    {
        if (!containsCharacter(u'[') || !containsCharacter(u'('))
            return;
        const qsizetype n = qsizetype(atoms.size());
        std::vector<Atom> out;
        out.reserve(atoms.size());
        stopFrom = stopAt = -1;
        NextCharacter nextClose(*this, u']');
        qsizetype urlFor = -1; // the "]" whose URL was last read
        qsizetype urlEnd = -1; // index of its ")", or -1 when there is no URL
        qsizetype p = 0;
        while (p < n) {
            const qsizetype open = images ? p + 1 : p;
            const bool candidate =
                images ? isCharacter(p, u'!') && isCharacter(p + 1, u'[') : isCharacter(p, u'[');
            if (candidate) {
                const qsizetype close = nextClose.find(open + 1);
                const bool hasText = images || close > open + 1;
                if (close >= 0 && hasText && isCharacter(close + 1, u'(')) {
                    if (urlFor != close) {
                        urlFor = close;
                        urlEnd = urlEndAfter(close + 2);
                    }
                    if (urlEnd >= 0) {
                        const QString url = characters(close + 2, urlEnd);
                        if (images) {
                            out.push_back(Atom{
                                0, addTag(0, QStringLiteral("<img src=\"") +
                                                 NBEMarkdownHTMLRenderer::escapeAttribute(url) +
                                                 QStringLiteral("\" alt=\"") +
                                                 NBEMarkdownHTMLRenderer::escapeAttribute(
                                                     characters(open + 1, close)) +
                                                 QStringLiteral("\">"))});
                        } else {
                            out.push_back(Atom{
                                0, addTag(+1, QStringLiteral("<a href=\"") +
                                                  NBEMarkdownHTMLRenderer::escapeAttribute(url) +
                                                  QStringLiteral("\">"))});
                            out.insert(out.end(), atoms.begin() + open + 1, atoms.begin() + close);
                            out.push_back(Atom{0, addTag(-1, QStringLiteral("</a>"))});
                        }
                        p = urlEnd + 1;
                        continue;
                    }
                }
            }
            out.push_back(atoms[p]);
            ++p;
        }
        atoms = std::move(out);
    }

    bool endsURL(qsizetype k) const
    {
        return atoms[k].tag >= 0 || atoms[k].ch == u')' || QChar(atoms[k].ch).isSpace();
    }

    // The ")" that ends a URL starting at `from`, or -1. The stop found last
    // answers every later start before it, so a run of unclosed links such
    // as "[a](b[a](b…" is read once, not once per link.
    qsizetype urlEndAfter(qsizetype from)
    {
        if (from < stopFrom || from > stopAt) {
            stopFrom = from;
            stopAt = from;
            while (stopAt < qsizetype(atoms.size()) && !endsURL(stopAt))
                ++stopAt;
        }
        return stopAt > from && isCharacter(stopAt, u')') ? stopAt : -1;
    }
};

} // namespace

QString NBEMarkdownHTMLRenderer::render(const QString &markdown, const QString &title)
{
    const QList<NBEMarkdownBlock> blocks = NBEMarkdownParser::parse(markdown);
    QString body;
    for (qsizetype k = 0; k < blocks.size(); ++k) {
        if (k > 0)
            body += u'\n';
        body += blockHTML(blocks[k]);
    }
    return document(title, body);
}

QString NBEMarkdownHTMLRenderer::document(const QString &title, const QString &body)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>") +
           escape(title) + QStringLiteral("</title>\n<style>\n") + styleSheet() +
           QStringLiteral("</style>\n</head>\n<body>\n") + body +
           QStringLiteral("\n</body>\n</html>");
}

QString NBEMarkdownHTMLRenderer::blockHTML(const NBEMarkdownBlock &block)
{
    using Kind = NBEMarkdownBlock::Kind;
    switch (block.kind) {
    case Kind::heading: {
        const QString level = QString::number(block.level);
        return QStringLiteral("<h") + level + u'>' + inlineHTML(block.text) +
               QStringLiteral("</h") + level + u'>';
    }
    case Kind::paragraph:
        return QStringLiteral("<p>") + inlineHTML(block.text) + QStringLiteral("</p>");
    case Kind::bulletList:
    case Kind::orderedList: {
        const QString tag =
            block.kind == Kind::bulletList ? QStringLiteral("ul") : QStringLiteral("ol");
        QStringList items;
        items.reserve(block.items.size());
        for (const NBEMarkdownListItem &item : block.items)
            items.append(listItemHTML(item));
        return u'<' + tag + QStringLiteral(">\n") + items.join(u'\n') + QStringLiteral("\n</") +
               tag + u'>';
    }
    case Kind::codeBlock: {
        // The info text is the author's, so it is quoted like any attribute.
        const QString language = block.language ? QStringLiteral(" class=\"language-") +
                                                      escapeAttribute(*block.language) + u'"'
                                                : QString();
        return QStringLiteral("<pre><code") + language + u'>' + escape(block.code) +
               QStringLiteral("</code></pre>");
    }
    case Kind::blockquote:
        return QStringLiteral("<blockquote>") + inlineHTML(block.text, true) +
               QStringLiteral("</blockquote>");
    case Kind::table:
        return tableHTML(block.headers, block.alignments, block.rows);
    case Kind::image:
        return QStringLiteral("<p><img src=\"") + escapeAttribute(block.url) +
               QStringLiteral("\" alt=\"") + escapeAttribute(block.alt) + QStringLiteral("\"></p>");
    case Kind::htmlBlock:
        return block.text;
    case Kind::footnoteDefinition:
        return QStringLiteral("<div class=\"footnote\"><sup>") + escape(block.id) +
               QStringLiteral("</sup> ") + inlineHTML(block.text) + QStringLiteral("</div>");
    case Kind::definitionList: {
        QStringList items;
        for (const NBEMarkdownDefinition &item : block.definitions) {
            QStringList parts{QStringLiteral("<dt>") + inlineHTML(item.term) +
                              QStringLiteral("</dt>")};
            for (const QString &definition : item.definitions)
                parts.append(QStringLiteral("<dd>") + inlineHTML(definition) +
                             QStringLiteral("</dd>"));
            items.append(parts.join(u'\n'));
        }
        return QStringLiteral("<dl>\n") + items.join(u'\n') + QStringLiteral("\n</dl>");
    }
    case Kind::thematicBreak:
        return QStringLiteral("<hr>");
    }
    return {};
}

QString NBEMarkdownHTMLRenderer::listItemHTML(const NBEMarkdownListItem &item)
{
    QString html = item.checked ? QStringLiteral("<li class=\"task\">") : QStringLiteral("<li>");
    if (item.checked) {
        html += QStringLiteral("<input type=\"checkbox\" disabled");
        if (*item.checked)
            html += QStringLiteral(" checked");
        html += QStringLiteral("> ");
    }
    html += inlineHTML(item.text);
    for (const NBEMarkdownBlock &child : item.children) {
        html += u'\n';
        html += blockHTML(child);
    }
    return html + QStringLiteral("</li>");
}

QString NBEMarkdownHTMLRenderer::tableHTML(const QStringList &headers,
                                           const QList<NBEMarkdownAlignment> &alignments,
                                           const QList<QStringList> &rows)
{
    const auto attribute = [&](qsizetype column) {
        if (column >= alignments.size())
            return QString();
        switch (alignments[column]) {
        case NBEMarkdownAlignment::center:
            return QStringLiteral(" style=\"text-align:center\"");
        case NBEMarkdownAlignment::trailing:
            return QStringLiteral(" style=\"text-align:right\"");
        case NBEMarkdownAlignment::leading:
            break;
        }
        return QString();
    };
    QString head;
    for (qsizetype c = 0; c < headers.size(); ++c)
        head += QStringLiteral("<th") + attribute(c) + u'>' + inlineHTML(headers[c]) +
                QStringLiteral("</th>");
    QStringList body;
    for (const QStringList &row : rows) {
        QString cells;
        for (qsizetype c = 0; c < row.size(); ++c)
            cells += QStringLiteral("<td") + attribute(c) + u'>' + inlineHTML(row[c]) +
                     QStringLiteral("</td>");
        body.append(QStringLiteral("<tr>") + cells + QStringLiteral("</tr>"));
    }
    return QStringLiteral("<table>\n<thead><tr>") + head +
           QStringLiteral("</tr></thead>\n<tbody>\n") + body.join(u'\n') +
           QStringLiteral("\n</tbody>\n</table>");
}

QString NBEMarkdownHTMLRenderer::inlineHTML(const QString &text, bool lineBreaks)
{
    const QString source = NBEMarkdownParser::substitutingFootnoteReferences(text);
    if (!Inline::mayHaveMarkup(source)) {
        QString html = escape(source);
        return lineBreaks ? html.replace(u'\n', QStringLiteral("<br>")) : html;
    }
    Inline line(source);
    line.applyImages();
    line.applyLinks();
    line.applyPair(u"`", QStringLiteral("code"));
    line.applyPair(u"**", QStringLiteral("strong"));
    line.applyPair(u"__", QStringLiteral("strong"));
    line.applyPair(u"*", QStringLiteral("em"));
    line.applyPair(u"_", QStringLiteral("em"));
    line.applyPair(u"~~", QStringLiteral("del"));
    return line.html(lineBreaks);
}

QString NBEMarkdownHTMLRenderer::escape(const QString &text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    return out;
}

QString NBEMarkdownHTMLRenderer::escapeAttribute(const QString &text)
{
    return escape(text).replace(u'"', QStringLiteral("&quot;"));
}
