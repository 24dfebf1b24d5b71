#include "NBEFuzzSupport.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"

namespace {

// The earlier tokens with the stretch an edit redid put in.
QList<NBEToken> spliced(const QList<NBEToken> &old, const NBERetokenization &redone,
                        qsizetype shift)
{
    QList<NBEToken> tokens;
    for (const NBEToken &token : old)
        if (token.end() <= redone.from)
            tokens.append(token);
    tokens += redone.tokens;
    for (NBEToken token : old) {
        if (token.location >= redone.to - shift) {
            token.location += shift;
            tokens.append(token);
        }
    }
    return tokens;
}

} // namespace

// Edits of any text: the tokens after re-tokenizing only what an edit
// touched are those of tokenizing the edited text whole.
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
    static const QString pieces[] = {"\n",   "\"",    "'", "/*", "*/", "<!--", "-->", "\\",
                                     "`",    "```",   "a", " ",  ":",  "(",    "[",   "]",
                                     "\n\n", "x\"\n", "{", "=",  "é",  "#",    "- ",  "//"};
    QList<Edit> edits;
    for (int count = input.byte() % 6; count > 0; --count) {
        Edit edit{input.upTo(4000), input.byte() % 8, {}};
        for (int i = input.byte() % 4; i > 0; --i)
            edit.inserted += pieces[input.byte() % std::size(pieces)];
        edits.append(edit);
    }
    // Long enough for restarts: the text repeated.
    const QString unit = input.rest();
    QString text = unit.repeated(unit.isEmpty() ? 0 : std::max<qsizetype>(1, 6000 / unit.size()));

    NBETokenizerState state;
    QList<NBEToken> tokens = NBESyntaxHighlighter::tokenize(text, language, &state);
    for (const Edit &edit : edits) {
        const qsizetype position = std::min<qsizetype>(edit.position, text.size());
        const qsizetype removed = std::min<qsizetype>(edit.removed, text.size() - position);
        text.replace(position, removed, edit.inserted);
        const NBERetokenization redone = NBESyntaxHighlighter::retokenize(
            text, language, state, position, removed, edit.inserted.size());
        NBE_FUZZ_CHECK(redone.from <= position && redone.to >= position + edit.inserted.size());
        tokens = spliced(tokens, redone, edit.inserted.size() - removed);
        NBE_FUZZ_CHECK(tokens == NBESyntaxHighlighter::tokenize(text, language));
        state = redone.state;
    }
    return 0;
}
