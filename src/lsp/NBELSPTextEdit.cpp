#include "NBELSPTextEdit.h"

#include "NBELSPRange.h"

#include <algorithm>

namespace {

QList<qsizetype> lineStartOffsets(const QString &text)
{
    QList<qsizetype> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\n')
            starts.append(i + 1);
    return starts;
}

} // namespace

QList<NBELSPTextEdit> NBELSPTextEdit::parse(const NBEJSONValue &result)
{
    QList<NBELSPTextEdit> edits;
    for (const NBEJSONValue &element : result.arrayRef()) {
        const auto range = NBELSPRange::fromJSON(element.find(QStringLiteral("range")));
        const NBEJSONValue *newText = element.find(QStringLiteral("newText"));
        if (!range || !newText || !newText->stringValue())
            continue;
        edits.append(NBELSPTextEdit{range->start.line, range->start.character, range->end.line,
                                    range->end.character, *newText->stringValue()});
    }
    return edits;
}

QString NBELSPTextEdit::apply(const QList<NBELSPTextEdit> &edits, const QString &text)
{
    if (edits.isEmpty())
        return text;
    const qsizetype length = text.size();
    const QList<qsizetype> starts = lineStartOffsets(text);
    const auto offset = [&](qint64 line, qint64 character) -> qsizetype {
        if (line < 0 || line >= starts.size())
            return length;
        // A negative character cannot reach before the start of the text,
        // and one past the text (up to INT64_MAX) stops at its end.
        const qint64 at = starts[line] + std::clamp<qint64>(character, -length, length);
        return static_cast<qsizetype>(std::clamp<qint64>(at, 0, length));
    };

    struct Replacement
    {
        qsizetype start;
        qsizetype end;
        const QString *text;
    };
    QList<Replacement> replacements;
    replacements.reserve(edits.size());
    for (const NBELSPTextEdit &edit : edits) {
        const qsizetype start = offset(edit.startLine, edit.startCharacter);
        const qsizetype end = offset(edit.endLine, edit.endCharacter);
        if (end >= start)
            replacements.append(Replacement{start, end, &edit.newText});
    }
    // Stable: edits that share a start keep their list order.
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const Replacement &a, const Replacement &b) { return a.start < b.start; });

    // One forward pass over the unedited text.
    QString result;
    result.reserve(length);
    qsizetype copied = 0;
    qsizetype previousStart = -1;
    for (const Replacement &replacement : std::as_const(replacements)) {
        if (replacement.start < copied) {
            // Overlaps what an earlier edit replaced. An insertion at that
            // edit's own start still goes in, after it; anything else would
            // clobber the earlier edit and is skipped.
            if (replacement.start == previousStart && replacement.end == replacement.start)
                result += *replacement.text;
            continue;
        }
        result += QStringView(text).mid(copied, replacement.start - copied);
        result += *replacement.text;
        copied = replacement.end;
        previousStart = replacement.start;
    }
    result += QStringView(text).mid(copied);
    return result;
}
