#include "NBELSPCompletionItem.h"

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

    // Reads until one of `stops` (unescaped) or the end; nested ${...} are
    // expanded.
    QString read(QStringView stops)
    {
        QString out;
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at];
            if (stops.contains(c))
                return out;
            if (c == u'\\' && m_at + 1 < m_text.size() &&
                QStringView(u"$}\\,|").contains(m_text[m_at + 1])) {
                out += m_text[m_at + 1];
                m_at += 2;
            } else if (c == u'$') {
                out += dollar();
            } else {
                out += c;
                ++m_at;
            }
        }
        return out;
    }

private:
    QString dollar()
    {
        const qsizetype start = m_at;
        ++m_at; // '$'
        // Deeper placeholders are kept as written: each level is a call and
        // an unclosed one copies the rest of the text, so a server's
        // thousands of nested "${1:" would overflow the stack or take
        // quadratic time.
        if (m_depth >= maxDepth && m_at < m_text.size() && m_text[m_at] == u'{')
            return QStringLiteral("$");
        ++m_depth;
        QString result = placeholder(start);
        --m_depth;
        return result;
    }

    QString placeholder(qsizetype start)
    {
        if (m_at < m_text.size() && isDigit(m_text[m_at])) {
            while (m_at < m_text.size() && isDigit(m_text[m_at]))
                ++m_at;
            return {};
        }
        if (m_at < m_text.size() && isNameStart(m_text[m_at])) {
            while (m_at < m_text.size() && (isNameStart(m_text[m_at]) || isDigit(m_text[m_at])))
                ++m_at;
            return {}; // a variable this editor cannot resolve
        }
        if (m_at < m_text.size() && m_text[m_at] == u'{') {
            ++m_at;
            while (m_at < m_text.size() && (isNameStart(m_text[m_at]) || isDigit(m_text[m_at])))
                ++m_at;
            QString inner;
            if (m_at < m_text.size() && m_text[m_at] == u':') {
                ++m_at;
                inner = read(u"}");
            } else if (m_at < m_text.size() && m_text[m_at] == u'|') {
                ++m_at;
                inner = read(u",|");
                read(u"|"); // the other choices
                if (m_at < m_text.size() && m_text[m_at] == u'|')
                    ++m_at;
            } else if (m_at < m_text.size() && m_text[m_at] != u'}') {
                read(u"}"); // a transform or something unknown
            }
            if (m_at < m_text.size() && m_text[m_at] == u'}') {
                ++m_at;
                return inner;
            }
            // Not a well-formed placeholder: keep the text as written.
            return m_text.mid(start, m_at - start);
        }
        return QStringLiteral("$");
    }

    static constexpr int maxDepth = 32;

    const QString &m_text;
    qsizetype m_at = 0;
    int m_depth = 0;
};

} // namespace

QString NBELSPCompletionItem::snippetToPlainText(const QString &snippet)
{
    SnippetReader reader(snippet);
    return reader.read(u"");
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
        QString insertText = text.value_or(*label);
        // Servers send snippets even to a client that declined them; the
        // editor inserts plain text, so the markers must not reach the file.
        const NBEJSONValue *format = element.find(QStringLiteral("insertTextFormat"));
        if (text && format && format->intValue() == snippetFormat)
            insertText = snippetToPlainText(insertText);
        parsed.append(NBELSPCompletionItem{*label, insertText,
                                           stringMember(element, "filterText").value_or(*label),
                                           stringMember(element, "detail")});
    }
    return parsed;
}
