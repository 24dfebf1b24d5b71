#include "NBEWebCompletion.h"

#include "NBEHTMLData.h"
#include "NBEWordLists.h"

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-');
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

// Start of the run of name characters that ends at `end`.
qsizetype nameRunStart(QStringView text, qsizetype end)
{
    while (end > 0 && isNameChar(text[end - 1]))
        --end;
    return end;
}

using NBEWordLists::startingWith;

} // namespace

namespace NBEWebCompletion {

NBEWebCompletionContext context(const QString &text, int offset)
{
    if (offset < 0 || offset > text.size())
        return NBEWebCompletionContext::none();
    qsizetype open = -1;
    for (qsizetype i = offset - 1; i >= 0; --i) {
        if (text[i] == QLatin1Char('>'))
            return NBEWebCompletionContext::none();
        if (text[i] == QLatin1Char('<')) {
            open = i;
            break;
        }
    }
    if (open < 0)
        return NBEWebCompletionContext::none();
    const QStringView tag = QStringView(text).mid(open + 1, offset - open - 1);
    if (tag.startsWith(QLatin1Char('/')) || tag.startsWith(QLatin1Char('!')))
        return NBEWebCompletionContext::none();
    qsizetype elementEnd = 0;
    while (elementEnd < tag.size() && isNameChar(tag[elementEnd]))
        ++elementEnd;
    if (elementEnd == tag.size())
        return {NBEWebCompletionContext::Kind::tagName, {}, {}, tag.toString()};
    if (elementEnd == 0)
        return NBEWebCompletionContext::none();
    const QString element = tag.left(elementEnd).toString();
    qsizetype quotes = 0;
    qsizetype lastQuote = -1;
    for (qsizetype i = elementEnd; i < tag.size(); ++i) {
        if (isQuote(tag[i])) {
            ++quotes;
            lastQuote = i;
        }
    }
    if (quotes % 2 == 0) {
        const qsizetype start = nameRunStart(tag, tag.size());
        if (start > 0 && tag[start - 1] == QLatin1Char('='))
            return NBEWebCompletionContext::none();
        return {
            NBEWebCompletionContext::Kind::attributeName, element, {}, tag.mid(start).toString()};
    }
    if (lastQuote < 1 || tag[lastQuote - 1] != QLatin1Char('='))
        return NBEWebCompletionContext::none();
    const qsizetype nameStart = nameRunStart(tag, lastQuote - 1);
    if (nameStart == lastQuote - 1)
        return NBEWebCompletionContext::none();
    return {NBEWebCompletionContext::Kind::attributeValue, element,
            tag.mid(nameStart, lastQuote - 1 - nameStart).toString(),
            tag.mid(lastQuote + 1).toString()};
}

QStringList completions(const QString &text, int offset)
{
    const NBEWebCompletionContext where = context(text, offset);
    switch (where.kind) {
    case NBEWebCompletionContext::Kind::tagName:
        return startingWith(NBEHTMLData::elements(), where.prefix);
    case NBEWebCompletionContext::Kind::attributeName:
        return startingWith(NBEHTMLData::attributes(where.element), where.prefix);
    case NBEWebCompletionContext::Kind::attributeValue:
        return startingWith(NBEHTMLData::values(where.element, where.attribute), where.prefix);
    case NBEWebCompletionContext::Kind::none:
        break;
    }
    return {};
}

std::optional<NBECompletionInsertion> insertion(const QString &item, const QString &text,
                                                int offset)
{
    const NBEWebCompletionContext where = context(text, offset);
    const int typed = int(where.prefix.size());
    switch (where.kind) {
    case NBEWebCompletionContext::Kind::tagName:
    case NBEWebCompletionContext::Kind::attributeValue:
        return NBECompletionInsertion{typed, item, 0};
    case NBEWebCompletionContext::Kind::attributeName:
        return NBECompletionInsertion{typed, item + QLatin1String("=\"\""), 1};
    case NBEWebCompletionContext::Kind::none:
        break;
    }
    return std::nullopt;
}

} // namespace NBEWebCompletion
