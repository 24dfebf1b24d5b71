#include "NBEFuzzSupport.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"

#include <algorithm>
#include <vector>

namespace {

// The token type of every unit (-1 where none): colours are compared unit by
// unit, since a redone stretch cuts a token that reaches across its ends.
std::vector<int> typeOfEachUnit(const QList<NBEToken> &tokens, qsizetype length)
{
    std::vector<int> units(size_t(length), -1);
    for (const NBEToken &token : tokens)
        std::fill_n(units.begin() + token.location, token.length,
                    NBETokenTypes::ordinal(token.type));
    return units;
}

} // namespace

// Edits of any text: the colours after re-tokenizing only what an edit
// touched are those of tokenizing the edited text whole, at every unit.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const QList<NBELanguage> &languages = NBELanguageRegistry::all();
    const NBELanguage &language = languages[input.byte() % languages.size()];
    struct Edit
    {
        int position, removed;
        QString inserted;
    };
    // What opens and closes constructs that span lines in some language.
    static const QString pieces[] = {
        "\n",      "\"",       "'",    "/*",  "*/",   "<!--", "-->",      "\\",
        "`",       "```",      "a",    " ",   ":",    "(",    "[",        "]",
        "\n\n",    "x\"\n",    "{",    "=",   "é",    "#",    "- ",       "//",
        "\"\"\"",  "${",       "}",    "*",   "_",    "\t",   "<script>", "</script>",
        "<style>", "</style>", "a=\"", "'\n", "\\\n", "\r\n", "foo",      "Bar"};
    QList<Edit> edits;
    for (int count = input.byte() % 8; count > 0; --count) {
        Edit edit{input.upTo(9000), input.byte() % 8, {}};
        for (int i = input.byte() % 4; i > 0; --i)
            edit.inserted += pieces[input.byte() % std::size(pieces)];
        edits.append(edit);
    }
    // Long enough for several checkpoints: the text repeated.
    const QString unit = input.rest();
    QString text = unit.repeated(unit.isEmpty() ? 0 : std::max<qsizetype>(1, 9000 / unit.size()));

    NBETokenizerState state;
    std::vector<int> units =
        typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, language, &state), text.size());
    for (const Edit &edit : edits) {
        const qsizetype position = std::min<qsizetype>(edit.position, text.size());
        const qsizetype removed = std::min<qsizetype>(edit.removed, text.size() - position);
        text.replace(position, removed, edit.inserted);
        const NBERetokenization redone = NBESyntaxHighlighter::retokenize(
            text, language, state, position, removed, edit.inserted.size());
        NBE_FUZZ_CHECK(redone.from <= position && redone.to >= position + edit.inserted.size() &&
                       redone.to <= text.size());
        const qsizetype shift = edit.inserted.size() - removed;
        std::vector<int> pieced(size_t(text.size()), -1);
        std::copy_n(units.begin(), redone.from, pieced.begin());
        std::copy(units.begin() + (redone.to - shift), units.end(), pieced.begin() + redone.to);
        for (const NBEToken &token : redone.tokens) {
            NBE_FUZZ_CHECK(token.location >= redone.from && token.end() <= redone.to);
            std::fill_n(pieced.begin() + token.location, token.length,
                        NBETokenTypes::ordinal(token.type));
        }
        units = typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, language), text.size());
        NBE_FUZZ_CHECK(pieced == units);
        state = redone.state;
    }
    return 0;
}
