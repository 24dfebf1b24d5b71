#include "NBEFuzzSupport.h"
#include "NBEJSONParser.h"
#include "NBELSPTextEdit.h"

#include <limits>

namespace {

// Positions from small to the extremes a server may send.
qint64 position(NBEFuzzInput &input)
{
    const uint8_t kind = input.byte();
    switch (kind % 8) {
    case 0:
        return std::numeric_limits<qint64>::max() - input.byte();
    case 1:
        return std::numeric_limits<qint64>::min() + input.byte();
    case 2:
        return -qint64(input.byte());
    case 3:
        return qint64(std::numeric_limits<int>::max()) + (input.byte() - 128);
    default:
        return input.byte() % 24;
    }
}

} // namespace

// Formatting results: parsed from JSON, and edits of any numbers applied to
// a text. The edited text keeps every part of the text no edit touches, so
// it is never longer than the text plus the inserted texts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int count = input.byte() % 5;
    QList<NBELSPTextEdit> edits;
    qsizetype inserted = 0;
    for (int i = 0; i < count; ++i) {
        NBELSPTextEdit edit;
        edit.startLine = position(input);
        edit.startCharacter = position(input);
        edit.endLine = position(input);
        edit.endCharacter = position(input);
        edit.newText = QString(input.byte() % 3, QLatin1Char('x'));
        inserted += edit.newText.size();
        edits.append(edit);
    }
    const QByteArray rest = input.restBytes();
    const QString text = QString::fromUtf8(rest);
    const QString applied = NBELSPTextEdit::apply(edits, text);
    NBE_FUZZ_CHECK(applied.size() <= text.size() + inserted);

    if (const std::optional<NBEJSONValue> result = NBEJSONParser::parse(rest)) {
        const QList<NBELSPTextEdit> parsed = NBELSPTextEdit::parse(*result);
        NBELSPTextEdit::apply(parsed, QStringLiteral("one\ntwo\n\nthree"));
    }
    return 0;
}
