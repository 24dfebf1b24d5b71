#include "NBEMarkdownParser.h"

#include "NBEMarkdownText.h"

#include <QHash>
#include <QSet>

#include <array>
#include <deque>
#include <vector>

using namespace NBEMarkdownText;

NBEMarkdownBlock NBEMarkdownBlock::heading(int level, const QString &text)
{
    NBEMarkdownBlock block;
    block.kind = Kind::heading;
    block.level = level;
    block.text = text;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::paragraph(const QString &text)
{
    NBEMarkdownBlock block;
    block.kind = Kind::paragraph;
    block.text = text;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::bulletList(const QList<NBEMarkdownListItem> &items)
{
    NBEMarkdownBlock block;
    block.kind = Kind::bulletList;
    block.items = items;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::orderedList(const QList<NBEMarkdownListItem> &items)
{
    NBEMarkdownBlock block;
    block.kind = Kind::orderedList;
    block.items = items;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::codeBlock(const std::optional<QString> &language,
                                             const QString &code)
{
    NBEMarkdownBlock block;
    block.kind = Kind::codeBlock;
    block.language = language;
    block.code = code;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::blockquote(const QString &text)
{
    NBEMarkdownBlock block;
    block.kind = Kind::blockquote;
    block.text = text;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::table(const QStringList &headers,
                                         const QList<NBEMarkdownAlignment> &alignments,
                                         const QList<QStringList> &rows)
{
    NBEMarkdownBlock block;
    block.kind = Kind::table;
    block.headers = headers;
    block.alignments = alignments;
    block.rows = rows;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::image(const QString &alt, const QString &url)
{
    NBEMarkdownBlock block;
    block.kind = Kind::image;
    block.alt = alt;
    block.url = url;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::htmlBlock(const QString &text)
{
    NBEMarkdownBlock block;
    block.kind = Kind::htmlBlock;
    block.text = text;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::footnoteDefinition(const QString &id, const QString &text)
{
    NBEMarkdownBlock block;
    block.kind = Kind::footnoteDefinition;
    block.id = id;
    block.text = text;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::definitionList(const QList<NBEMarkdownDefinition> &items)
{
    NBEMarkdownBlock block;
    block.kind = Kind::definitionList;
    block.definitions = items;
    return block;
}

NBEMarkdownBlock NBEMarkdownBlock::thematicBreak()
{
    NBEMarkdownBlock block;
    block.kind = Kind::thematicBreak;
    return block;
}

bool NBEMarkdownListItem::operator==(const NBEMarkdownListItem &other) const
{
    return text == other.text && checked == other.checked && children == other.children;
}

namespace {

struct Fence
{
    QChar character;
    std::optional<QString> language;
};

struct ListLine
{
    int indent = 0;
    bool ordered = false;
    std::optional<bool> checked;
    QString text;
};

// The lines of a document with their trimmed texts and, for every line, the
// next non-blank line at or after it: list parsing looks past blank runs
// often, and must not rescan them at every nesting level.
// Lines are views into the normalised text, or into the rewritten lines of
// the reference pre-pass, so a large document is not copied line by line.
struct Document
{
    QString text;
    std::deque<QString> rewritten;
    std::vector<QStringView> lines;
    std::vector<QStringView> trimmed;
    std::vector<qsizetype> nextNonBlank;

    explicit Document(const QString &source);
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    void index()
    {
        const qsizetype count = qsizetype(lines.size());
        trimmed.clear();
        trimmed.reserve(count);
        for (QStringView line : lines)
            trimmed.push_back(trimmedView(line));
        nextNonBlank.assign(count + 1, count);
        for (qsizetype i = count - 1; i >= 0; --i)
            nextNonBlank[i] = trimmed[i].isEmpty() ? nextNonBlank[i + 1] : i;
    }

    qsizetype size() const { return qsizetype(lines.size()); }

    QString join(qsizetype from, qsizetype to) const
    {
        QString joined;
        for (qsizetype k = from; k < to; ++k) {
            if (k > from)
                joined += u'\n';
            joined += lines[k];
        }
        return joined;
    }
};

std::optional<Fence> codeFence(QStringView t)
{
    QChar character;
    if (t.startsWith(u"```"))
        character = u'`';
    else if (t.startsWith(u"~~~"))
        character = u'~';
    else
        return std::nullopt;
    const QStringView info = trimmedView(t.mid(3));
    return Fence{character, info.isEmpty() ? std::nullopt : std::optional(info.toString())};
}

bool isFenceClose(QStringView t, QChar opener)
{
    if (t.size() < 3)
        return false;
    for (QChar c : t) {
        if (c != opener)
            return false;
    }
    return true;
}

bool isHTMLBlockStart(QStringView t)
{
    if (t.size() < 2 || t[0] != u'<')
        return false;
    const char32_t second = codePointAt(t, 1);
    return QChar::isLetter(second) || second == U'/' || second == U'!';
}

bool isThematicBreak(QStringView t)
{
    QChar marker;
    qsizetype count = 0;
    for (QChar c : t) {
        if (isHorizontalSpace(c) || c.isSpace())
            continue;
        if (c != u'-' && c != u'*' && c != u'_')
            return false;
        if (count > 0 && c != marker)
            return false;
        marker = c;
        ++count;
    }
    return count >= 3;
}

std::optional<NBEMarkdownBlock> parseHeading(QStringView t)
{
    qsizetype level = 0;
    while (level < t.size() && t[level] == u'#')
        ++level;
    if (level == 0 || level > 6 || level >= t.size() || t[level] != u' ')
        return std::nullopt;
    QStringView text = trimmedView(t.mid(level));
    // A closing run of "#" goes, also when it is glued to the last word.
    qsizetype end = text.size();
    while (end > 0 && (isHorizontalSpace(text[end - 1]) || text[end - 1].isSpace()))
        --end;
    if (end > 0 && text[end - 1] == u'#') {
        while (end > 0 && text[end - 1] == u'#')
            --end;
        text = trimmedView(text.first(end));
    }
    return NBEMarkdownBlock::heading(int(level), text.toString());
}

int setextLevel(QStringView t)
{
    if (t.isEmpty())
        return 0;
    const QChar marker = t[0];
    if (marker != u'=' && marker != u'-')
        return 0;
    for (QChar c : t) {
        if (c != marker)
            return 0;
    }
    return marker == u'=' ? 1 : 2;
}

std::optional<std::pair<QString, QString>> parseFootnoteDefinition(QStringView t)
{
    if (!t.startsWith(u"[^"))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']', 2);
    if (close < 3 || close + 1 >= t.size() || t[close + 1] != u':')
        return std::nullopt;
    return std::pair(t.sliced(2, close - 2).toString(),
                     trimmedView(t.sliced(close + 2)).toString());
}

std::optional<NBEMarkdownBlock> parseImage(QStringView t)
{
    if (!t.startsWith(u"!["))
        return std::nullopt;
    const auto image = parseInlineImage(t, 0);
    if (!image || image->end != t.size())
        return std::nullopt;
    return NBEMarkdownBlock::image(image->alt, image->url);
}

QStringList splitTableRow(QStringView line)
{
    QStringView t = trimmedView(line);
    if (t.startsWith(u'|'))
        t = t.sliced(1);
    if (t.endsWith(u'|') && !t.endsWith(u"\\|"))
        t.chop(1);
    QStringList cells;
    QString cell;
    bool escaped = false;
    for (QChar c : t) {
        if (escaped) {
            if (c != u'|')
                cell += u'\\';
            cell += c;
            escaped = false;
        } else if (c == u'\\') {
            escaped = true;
        } else if (c == u'|') {
            cells.append(trimmedView(cell).toString());
            cell.clear();
        } else {
            cell += c;
        }
    }
    if (escaped)
        cell += u'\\';
    cells.append(trimmedView(cell).toString());
    return cells;
}

bool isTableDelimiter(QStringView t)
{
    if (!t.contains(u'-'))
        return false;
    for (const QString &cell : splitTableRow(t)) {
        if (cell.isEmpty() || !cell.contains(u'-'))
            return false;
        for (QChar c : cell) {
            if (c != u'-' && c != u':')
                return false;
        }
    }
    return true;
}

QList<NBEMarkdownAlignment> parseAlignments(QStringView t)
{
    QList<NBEMarkdownAlignment> alignments;
    for (const QString &cell : splitTableRow(t)) {
        if (cell.startsWith(u':') && cell.endsWith(u':'))
            alignments.append(NBEMarkdownAlignment::center);
        else if (cell.endsWith(u':'))
            alignments.append(NBEMarkdownAlignment::trailing);
        else
            alignments.append(NBEMarkdownAlignment::leading);
    }
    return alignments;
}

int indentWidth(QStringView raw)
{
    int width = 0;
    for (QChar c : raw) {
        if (c == u' ')
            width += 1;
        else if (c == u'\t')
            width += 4;
        else
            break;
    }
    return width;
}

bool isNumeric(char32_t codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

std::optional<QStringView> orderedContent(QStringView t)
{
    qsizetype k = 0;
    while (k < t.size()) {
        const char32_t c = codePointAt(t, k);
        if (!isNumeric(c))
            break;
        k += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    if (k == 0 || k + 1 >= t.size() || (t[k] != u'.' && t[k] != u')') || t[k + 1] != u' ')
        return std::nullopt;
    return trimmedView(t.sliced(k + 2));
}

std::optional<ListLine> parseListLine(QStringView raw)
{
    const QStringView t = trimmedView(raw);
    ListLine result;
    QStringView content;
    if (t.startsWith(u"- ") || t.startsWith(u"* ") || t.startsWith(u"+ ")) {
        content = trimmedView(t.sliced(2));
    } else if (const auto ordered = orderedContent(t)) {
        content = *ordered;
        result.ordered = true;
    } else {
        return std::nullopt;
    }
    if (content == u"[ ]" || content.startsWith(u"[ ] ")) {
        result.checked = false;
    } else if (content.size() >= 3 && content[0] == u'[' &&
               (content[1] == u'x' || content[1] == u'X') && content[2] == u']' &&
               (content.size() == 3 || content[3] == u' ')) {
        result.checked = true;
    }
    if (result.checked)
        content = trimmedView(content.sliced(3));
    result.text = content.toString();
    result.indent = indentWidth(raw);
    return result;
}

bool isTableStart(const Document &doc, qsizetype i)
{
    return doc.trimmed[i].contains(u'|') && i + 1 < doc.size() &&
           isTableDelimiter(doc.trimmed[i + 1]);
}

bool isBlockStart(const Document &doc, qsizetype j)
{
    const QStringView t = doc.trimmed[j];
    return t.isEmpty() || codeFence(t) || isHTMLBlockStart(t) || isThematicBreak(t) ||
           parseHeading(t) || parseFootnoteDefinition(t) || parseImage(t) || t.startsWith(u'>') ||
           parseListLine(doc.lines[j]) || isTableStart(doc, j);
}

// Lists nest at most this deep; deeper items join the deepest list. Parsing,
// rendering and the preview all recurse per level, and a crafted document
// of thousands of levels must not exhaust a worker thread's stack.
constexpr int kMaxListDepth = 100;

std::optional<NBEMarkdownBlock> parseList(const Document &doc, qsizetype &i, int parentIndent,
                                          int depth = 1)
{
    QList<NBEMarkdownListItem> items;
    int base = 0;
    bool ordered = false;
    while (i < doc.size()) {
        if (doc.trimmed[i].isEmpty()) {
            const qsizetype next = doc.nextNonBlank[i];
            if (next >= doc.size())
                break;
            // Across a blank line an item of the other kind starts a list of
            // its own, so an ordered list after a bullet or task list shows
            // its numbers.
            const auto line = parseListLine(doc.lines[next]);
            if (!line || (!items.isEmpty() && (line->indent < base ||
                                               (line->indent == base && line->ordered != ordered))))
                break;
            i = next;
            continue;
        }
        auto line = parseListLine(doc.lines[i]);
        if (!line)
            break;
        if (items.isEmpty()) {
            if (line->indent < parentIndent)
                break;
            base = line->indent;
            ordered = line->ordered;
        } else if (line->indent < base) {
            break;
        } else if (line->indent > base && depth < kMaxListDepth) {
            auto child = parseList(doc, i, base, depth + 1);
            if (!child)
                break;
            items.last().children.append(std::move(*child));
            continue;
        }
        items.append(NBEMarkdownListItem{std::move(line->text), line->checked, {}});
        ++i;
    }
    if (items.isEmpty())
        return std::nullopt;
    return ordered ? NBEMarkdownBlock::orderedList(items) : NBEMarkdownBlock::bulletList(items);
}

QString joinTrimmed(const Document &doc, qsizetype from, qsizetype to, QStringView separator)
{
    QString joined;
    for (qsizetype k = from; k < to; ++k) {
        if (k > from)
            joined += separator;
        joined += doc.trimmed[k];
    }
    return joined;
}

std::optional<NBEMarkdownBlock> parseDefinitionList(const Document &doc, qsizetype &i)
{
    QList<NBEMarkdownDefinition> items;
    while (i < doc.size()) {
        const QStringView t = doc.trimmed[i];
        if (t.isEmpty() || t.startsWith(u':') || isBlockStart(doc, i) || i + 1 >= doc.size() ||
            !doc.trimmed[i + 1].startsWith(u": "))
            break;
        NBEMarkdownDefinition item{t.toString(), {}};
        ++i;
        while (i < doc.size() && doc.trimmed[i].startsWith(u": ")) {
            item.definitions.append(trimmedView(doc.trimmed[i].sliced(2)).toString());
            ++i;
        }
        items.append(std::move(item));
    }
    if (items.isEmpty())
        return std::nullopt;
    return NBEMarkdownBlock::definitionList(items);
}

bool endsParagraph(const Document &doc, qsizetype i)
{
    const QStringView t = doc.trimmed[i];
    return t.isEmpty() || codeFence(t) || isHTMLBlockStart(t) || isThematicBreak(t) ||
           parseHeading(t) || parseFootnoteDefinition(t) || t.startsWith(u'>') ||
           parseListLine(doc.lines[i]) || parseImage(t) || isTableStart(doc, i);
}

NBEMarkdownBlock parseParagraph(const Document &doc, qsizetype &i)
{
    const qsizetype start = i;
    while (i < doc.size()) {
        const QStringView t = doc.trimmed[i];
        if (i > start && !t.isEmpty()) {
            if (const int level = setextLevel(t)) {
                const QString text = joinTrimmed(doc, start, i, u" ");
                ++i;
                return NBEMarkdownBlock::heading(level, text);
            }
        }
        // The first line always belongs to the paragraph, so the caller's
        // loop advances even on a line no other rule took.
        if (i > start && endsParagraph(doc, i))
            break;
        ++i;
    }
    return NBEMarkdownBlock::paragraph(joinTrimmed(doc, start, i, u" "));
}

std::optional<std::pair<QString, QString>> parseLinkDefinition(QStringView t)
{
    if (!t.startsWith(u'[') || t.startsWith(u"[^"))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']', 1);
    if (close <= 1 || close + 1 >= t.size() || t[close + 1] != u':')
        return std::nullopt;
    const QStringView rest = trimmedView(t.sliced(close + 2));
    if (rest.isEmpty())
        return std::nullopt;
    const qsizetype space = rest.indexOf(u' ');
    return std::pair(t.sliced(1, close - 1).toString(),
                     (space < 0 ? rest : rest.first(space)).toString());
}

struct Definitions
{
    QHash<QString, QString> urls;
    QSet<qsizetype> labelLengths; // skips look-ups that cannot match
};

QString resolveReferenceLinks(QStringView line, const Definitions &definitions)
{
    const qsizetype length = line.size();
    // nextClose[k]: the first "]" at or after k, so every candidate finds its
    // bracket in constant time even on a line of thousands of "[".
    std::vector<qsizetype> nextClose(length + 1, -1);
    for (qsizetype k = length - 1; k >= 0; --k)
        nextClose[k] = line[k] == u']' ? k : nextClose[k + 1];

    QString out;
    out.reserve(length);
    qsizetype p = 0;
    while (p < length) {
        const QChar c = line[p];
        qsizetype open;
        const bool isImage = c == u'!' && p + 1 < length && line[p + 1] == u'[';
        if (isImage)
            open = p + 1;
        else if (c == u'[')
            open = p;
        else {
            out += c;
            ++p;
            continue;
        }
        const qsizetype close = nextClose[open + 1];
        if (close < 0) {
            out += c;
            ++p;
            continue;
        }
        const QStringView text = line.sliced(open + 1, close - open - 1);
        QStringView label = text;
        qsizetype end = close;
        if (close + 1 < length && line[close + 1] == u'(') {
            out += c;
            ++p;
            continue;
        }
        if (close + 1 < length && line[close + 1] == u'[') {
            const qsizetype second = nextClose[close + 2];
            if (second >= 0) {
                const QStringView inner = line.sliced(close + 2, second - close - 2);
                if (!inner.isEmpty())
                    label = inner;
                end = second;
            }
        }
        const auto found = definitions.labelLengths.contains(label.size())
                               ? definitions.urls.constFind(label.toString().toLower())
                               : definitions.urls.constEnd();
        if (found == definitions.urls.constEnd()) {
            out += c;
            ++p;
            continue;
        }
        if (isImage)
            out += u'!';
        out += u'[';
        out += text;
        out += QStringLiteral("](");
        out += *found;
        out += u')';
        p = end + 1;
    }
    return out;
}

const std::array<QChar, 10> &superscriptDigits()
{
    static const std::array<QChar, 10> digits = {
        QChar(0x2070), QChar(0x00B9), QChar(0x00B2), QChar(0x00B3), QChar(0x2074),
        QChar(0x2075), QChar(0x2076), QChar(0x2077), QChar(0x2078), QChar(0x2079),
    };
    return digits;
}

std::optional<QString> footnoteSuperscript(QStringView id)
{
    if (id.isEmpty())
        return std::nullopt;
    for (QChar c : id) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    QString result;
    for (QChar c : id)
        result += superscriptDigits()[c.unicode() - u'0'];
    return result;
}

} // namespace

namespace {

// Drops link definition lines and rewrites reference links, in place.
void resolveReferences(std::vector<QStringView> &lines, std::deque<QString> &rewritten)
{
    enum class Role { text, code, definition };
    std::vector<Role> roles(lines.size(), Role::text);
    Definitions definitions;
    bool insideFence = false;
    QChar fenceCharacter = u'`';
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const QStringView t = trimmedView(lines[k]);
        if (insideFence) {
            roles[k] = Role::code;
            if (isFenceClose(t, fenceCharacter))
                insideFence = false;
        } else if (const auto fence = codeFence(t)) {
            roles[k] = Role::code;
            fenceCharacter = fence->character;
            insideFence = true;
        } else if (const auto definition = parseLinkDefinition(t)) {
            definitions.urls.insert(definition->first.toLower(), definition->second);
            definitions.labelLengths.insert(definition->first.toLower().size());
            roles[k] = Role::definition;
        }
    }
    std::size_t kept = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (roles[k] == Role::definition)
            continue;
        QStringView line = lines[k];
        if (roles[k] == Role::text && !definitions.urls.isEmpty() && line.contains(u'[')) {
            rewritten.push_back(resolveReferenceLinks(line, definitions));
            line = rewritten.back();
        }
        lines[kept++] = line;
    }
    lines.resize(kept);
}

Document::Document(const QString &source)
    : text(source)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    const QStringView view(text);
    qsizetype start = 0;
    while (true) {
        const qsizetype end = view.indexOf(u'\n', start);
        lines.push_back(view.sliced(start, (end < 0 ? view.size() : end) - start));
        if (end < 0)
            break;
        start = end + 1;
    }
    resolveReferences(lines, rewritten);
    index();
}

} // namespace

QStringList NBEMarkdownParser::preprocessReferenceLinks(const QStringList &lines)
{
    std::vector<QStringView> views(lines.cbegin(), lines.cend());
    std::deque<QString> rewritten;
    resolveReferences(views, rewritten);
    QStringList out;
    out.reserve(qsizetype(views.size()));
    for (QStringView line : views)
        out.append(line.toString());
    return out;
}

QList<NBEMarkdownBlock> NBEMarkdownParser::parse(const QString &text)
{
    const Document doc(text);
    QList<NBEMarkdownBlock> blocks;
    qsizetype i = 0;
    while (i < doc.size()) {
        const QStringView t = doc.trimmed[i];
        if (t.isEmpty()) {
            ++i;
        } else if (const auto fence = codeFence(t)) {
            const qsizetype start = ++i;
            while (i < doc.size() && !isFenceClose(doc.trimmed[i], fence->character))
                ++i;
            blocks.append(NBEMarkdownBlock::codeBlock(fence->language, doc.join(start, i)));
            if (i < doc.size())
                ++i;
        } else if (isHTMLBlockStart(t)) {
            const qsizetype start = i;
            while (i < doc.size() && !doc.trimmed[i].isEmpty())
                ++i;
            blocks.append(NBEMarkdownBlock::htmlBlock(doc.join(start, i)));
        } else if (isThematicBreak(t)) {
            blocks.append(NBEMarkdownBlock::thematicBreak());
            ++i;
        } else if (auto heading = parseHeading(t)) {
            blocks.append(std::move(*heading));
            ++i;
        } else if (const auto footnote = parseFootnoteDefinition(t)) {
            blocks.append(NBEMarkdownBlock::footnoteDefinition(footnote->first, footnote->second));
            ++i;
        } else if (auto image = parseImage(t)) {
            blocks.append(std::move(*image));
            ++i;
        } else if (isTableStart(doc, i)) {
            const QStringList headers = splitTableRow(t);
            const QList<NBEMarkdownAlignment> alignments = parseAlignments(doc.trimmed[i + 1]);
            QList<QStringList> rows;
            i += 2;
            while (i < doc.size() && !doc.trimmed[i].isEmpty() && doc.trimmed[i].contains(u'|'))
                rows.append(splitTableRow(doc.trimmed[i++]));
            blocks.append(NBEMarkdownBlock::table(headers, alignments, rows));
        } else if (t.startsWith(u'>')) {
            QStringList quoted;
            while (i < doc.size() && doc.trimmed[i].startsWith(u'>')) {
                QStringView rest = doc.trimmed[i].sliced(1);
                if (rest.startsWith(u' '))
                    rest = rest.sliced(1);
                quoted.append(rest.toString());
                ++i;
            }
            blocks.append(NBEMarkdownBlock::blockquote(quoted.join(u'\n')));
        } else if (parseListLine(doc.lines[i])) {
            if (auto list = parseList(doc, i, 0))
                blocks.append(std::move(*list));
            else
                blocks.append(parseParagraph(doc, i));
        } else if (i + 1 < doc.size() && doc.trimmed[i + 1].startsWith(u": ") &&
                   !t.startsWith(u':')) {
            if (auto list = parseDefinitionList(doc, i))
                blocks.append(std::move(*list));
            else
                blocks.append(parseParagraph(doc, i));
        } else {
            blocks.append(parseParagraph(doc, i));
        }
    }
    return blocks;
}

QString NBEMarkdownParser::substitutingFootnoteReferences(const QString &text)
{
    if (!text.contains(QStringLiteral("[^")))
        return text;
    QString out;
    out.reserve(text.size());
    NBENextFinder closeFinder(text, u']');
    qsizetype p = 0;
    while (p < text.size()) {
        if (text[p] == u'[' && p + 1 < text.size() && text[p + 1] == u'^') {
            const qsizetype close = closeFinder.find(p + 2);
            if (close >= 0) {
                if (const auto digits =
                        footnoteSuperscript(QStringView(text).sliced(p + 2, close - p - 2))) {
                    out += *digits;
                    p = close + 1;
                    continue;
                }
            }
        }
        out += text[p];
        ++p;
    }
    return out;
}

QList<NBEInlineSegment> NBEMarkdownParser::inlineSegments(const QString &text)
{
    QList<NBEInlineSegment> segments;
    NBEInlineImageFinder finder(text);
    qsizetype cut = 0;
    qsizetype p = text.indexOf(u'!');
    while (p >= 0) {
        if (const auto image = finder.imageAt(p)) {
            if (p > cut)
                segments.append(NBEInlineSegment::makeText(text.sliced(cut, p - cut)));
            segments.append(NBEInlineSegment::makeImage(image->alt, image->url));
            cut = image->end;
            p = text.indexOf(u'!', cut);
        } else {
            p = text.indexOf(u'!', p + 1);
        }
    }
    if (cut < text.size() || segments.isEmpty())
        segments.append(NBEInlineSegment::makeText(text.sliced(cut)));
    return segments;
}
