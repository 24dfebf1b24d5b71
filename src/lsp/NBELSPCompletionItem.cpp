#include "NBELSPCompletionItem.h"

#include <limits>

namespace {

// The protocol's insert-text format number for snippets.
constexpr qint64 snippetFormat = 2;

std::optional<QString> stringMember(const NBEJSONValue &object, const char *key)
{
    const NBEJSONValue *member = object.find(QString::fromLatin1(key));
    return member ? member->stringValue() : std::nullopt;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isNameStart(QChar c)
{
    return c == u'_' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

class SnippetReader
{
public:
    explicit SnippetReader(const QString &text)
        : m_text(text)
    {}

    struct Stop
    {
        qint64 number = 0;
        qsizetype at = 0;
        qsizetype length = 0;
    };

    // Reads until one of `stops` (unescaped) or the end into the output;
    // nested ${...} are expanded.
    void read(QStringView stops)
    {
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at];
            if (stops.contains(c))
                return;
            if (c == u'\\' && m_at + 1 < m_text.size() &&
                QStringView(u"$}\\,|").contains(m_text[m_at + 1])) {
                m_out->append(m_text[m_at + 1]);
                m_at += 2;
            } else if (c == u'$') {
                dollar();
            } else {
                m_out->append(c);
                ++m_at;
            }
        }
    }

    QString text;
    QList<Stop> tabStops;

private:
    void dollar()
    {
        const qsizetype start = m_at;
        ++m_at; // '$'
        // Deeper placeholders are kept as written: each level is a call and
        // an unclosed one copies the rest of the text, so a server's
        // thousands of nested "${1:" would overflow the stack or take
        // quadratic time.
        if (m_depth >= maxDepth && m_at < m_text.size() && m_text[m_at] == u'{') {
            m_out->append(u'$');
            return;
        }
        ++m_depth;
        placeholder(start);
        --m_depth;
    }

    // Reads what follows into nowhere (the choices after the first, a
    // transform).
    void skip(QStringView stops)
    {
        QString ignored;
        QString *out = std::exchange(m_out, &ignored);
        const qsizetype stopCount = tabStops.size();
        read(stops);
        tabStops.resize(stopCount);
        m_out = out;
    }

    void addStop(qint64 number, qsizetype at)
    {
        if (m_out == &text)
            tabStops.append({number, at, text.size() - at});
    }

    void placeholder(qsizetype start)
    {
        if (m_at < m_text.size() && isDigit(m_text[m_at])) {
            const qsizetype digits = m_at;
            while (m_at < m_text.size() && isDigit(m_text[m_at]))
                ++m_at;
            addStop(number(digits), m_out->size());
            return;
        }
        if (m_at < m_text.size() && isNameStart(m_text[m_at])) {
            while (m_at < m_text.size() && (isNameStart(m_text[m_at]) || isDigit(m_text[m_at])))
                ++m_at;
            return; // a variable this editor cannot resolve
        }
        if (m_at < m_text.size() && m_text[m_at] == u'{') {
            ++m_at;
            const qsizetype name = m_at;
            while (m_at < m_text.size() && (isNameStart(m_text[m_at]) || isDigit(m_text[m_at])))
                ++m_at;
            const bool numbered = m_at > name && isDigit(m_text[name]);
            const qsizetype outStart = m_out->size();
            const qsizetype stopCount = tabStops.size();
            if (m_at < m_text.size() && m_text[m_at] == u':') {
                ++m_at;
                read(u"}");
            } else if (m_at < m_text.size() && m_text[m_at] == u'|') {
                ++m_at;
                read(u",|");
                skip(u"|"); // the other choices
                if (m_at < m_text.size() && m_text[m_at] == u'|')
                    ++m_at;
            } else if (m_at < m_text.size() && m_text[m_at] != u'}') {
                skip(u"}"); // a transform or something unknown
            }
            if (m_at < m_text.size() && m_text[m_at] == u'}') {
                ++m_at;
                if (numbered)
                    addStop(number(name), outStart);
                return;
            }
            // Not a well-formed placeholder: keep the text as written.
            m_out->truncate(outStart);
            tabStops.resize(stopCount);
            m_out->append(QStringView(m_text).mid(start, m_at - start));
            return;
        }
        m_out->append(u'$');
    }

    qint64 number(qsizetype from) const
    {
        qsizetype end = from;
        while (end < m_text.size() && isDigit(m_text[end]))
            ++end;
        bool ok = false;
        const qint64 value = QStringView(m_text).mid(from, end - from).toLongLong(&ok);
        return ok ? value : std::numeric_limits<qint64>::max();
    }

    static constexpr int maxDepth = 32;

    const QString &m_text;
    QString *m_out = &text;
    qsizetype m_at = 0;
    int m_depth = 0;
};

// The first tab stop of a read snippet: the lowest numbered one above 0,
// else $0; nothing when there is none.
std::optional<SnippetReader::Stop> firstTabStop(const QList<SnippetReader::Stop> &stops)
{
    std::optional<SnippetReader::Stop> first;
    for (const SnippetReader::Stop &stop : stops) {
        const bool better =
            !first || (stop.number > 0 && (first->number == 0 || stop.number < first->number));
        if (better)
            first = stop;
    }
    return first;
}

} // namespace

QString NBELSPCompletionItem::snippetToPlainText(const QString &snippet)
{
    SnippetReader reader(snippet);
    reader.read(u"");
    return reader.text;
}

QList<NBELSPCompletionItem> NBELSPCompletionItem::parse(const NBEJSONValue &result)
{
    const NBEJSONValue::Array *elements = nullptr;
    if (result.kind() == NBEJSONValue::Kind::array)
        elements = &result.arrayRef();
    else if (const NBEJSONValue *items = result.find(QStringLiteral("items"));
             items && items->kind() == NBEJSONValue::Kind::array)
        elements = &items->arrayRef();
    if (!elements)
        return {};

    QList<NBELSPCompletionItem> parsed;
    parsed.reserve(elements->size());
    for (const NBEJSONValue &element : *elements) {
        const auto label = stringMember(element, "label");
        if (!label)
            continue;
        std::optional<QString> text;
        if (const NBEJSONValue *edit = element.find(QStringLiteral("textEdit")))
            text = stringMember(*edit, "newText");
        if (!text)
            text = stringMember(element, "insertText");
        NBELSPCompletionItem item{*label, text.value_or(*label),
                                  stringMember(element, "filterText").value_or(*label),
                                  stringMember(element, "detail")};
        // Servers send snippets even to a client that declined them; the
        // editor inserts plain text, so the markers must not reach the file,
        // but the caret goes where the first one was.
        const NBEJSONValue *format = element.find(QStringLiteral("insertTextFormat"));
        if (text && format && format->intValue() == snippetFormat) {
            SnippetReader reader(item.insertText);
            reader.read(u"");
            item.insertText = reader.text;
            if (const auto stop = firstTabStop(reader.tabStops))
                item.tabStop = NBETextRange{int(stop->at), int(stop->length)};
        }
        parsed.append(std::move(item));
    }
    return parsed;
}
