#include "NBECSSCompletion.h"

#include "NBECSSData.h"
#include "NBEWordLists.h"

namespace {

QString trailingWord(QStringView segment)
{
    qsizetype start = segment.size();
    while (start > 0) {
        const QChar c = segment[start - 1];
        // A letter outside the basic plane is one letter in two halves.
        if (c.isLowSurrogate() && start > 1 && segment[start - 2].isHighSurrogate()) {
            if (!QChar::isLetterOrNumber(QChar::surrogateToUcs4(segment[start - 2], c)))
                break;
            start -= 2;
            continue;
        }
        if (!c.isLetterOrNumber() && c != QLatin1Char('-'))
            break;
        --start;
    }
    return segment.mid(start).toString();
}

using NBEWordLists::startingWith;

} // namespace

namespace NBECSSCompletion {

NBECSSCompletionContext context(const QString &text, int offset)
{
    if (offset <= 0 || offset > text.size())
        return NBECSSCompletionContext::none();
    int depth = 0;
    qsizetype semicolon = -1;
    qsizetype brace = -1;
    for (qsizetype i = offset - 1; i >= 0; --i) {
        const QChar c = text[i];
        if (c == QLatin1Char(';') && depth == 0 && semicolon < 0) {
            semicolon = i;
        } else if (c == QLatin1Char('}')) {
            ++depth;
        } else if (c == QLatin1Char('{')) {
            if (depth == 0) {
                brace = i;
                break;
            }
            --depth;
        }
    }
    if (brace < 0)
        return NBECSSCompletionContext::none();
    const qsizetype start = std::max(semicolon, brace) + 1;
    const QStringView segment = QStringView(text).mid(start, offset - start);
    const QString prefix = trailingWord(segment);
    const qsizetype colon = segment.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        return {NBECSSCompletionContext::Kind::value, segment.left(colon).trimmed().toString(),
                prefix};
    }
    return {NBECSSCompletionContext::Kind::property, {}, prefix};
}

QStringList completions(const QString &text, int offset)
{
    const NBECSSCompletionContext where = context(text, offset);
    switch (where.kind) {
    case NBECSSCompletionContext::Kind::property:
        return startingWith(NBECSSData::properties(), where.prefix);
    case NBECSSCompletionContext::Kind::value:
        return startingWith(NBECSSData::values(where.property), where.prefix);
    case NBECSSCompletionContext::Kind::none:
        break;
    }
    return {};
}

std::optional<NBECompletionInsertion> insertion(const QString &item, const QString &text,
                                                int offset)
{
    const NBECSSCompletionContext where = context(text, offset);
    const int typed = int(where.prefix.size());
    switch (where.kind) {
    case NBECSSCompletionContext::Kind::property:
        return NBECompletionInsertion{typed, item + QLatin1String(": "), 0};
    case NBECSSCompletionContext::Kind::value:
        return NBECompletionInsertion{typed, item, 0};
    case NBECSSCompletionContext::Kind::none:
        break;
    }
    return std::nullopt;
}

} // namespace NBECSSCompletion
