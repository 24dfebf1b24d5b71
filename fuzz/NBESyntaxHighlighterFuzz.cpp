#include "NBEFuzzSupport.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"

// Tokens of every language come sorted, apart and inside the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const QList<NBELanguage> &languages = NBELanguageRegistry::all();
    const NBELanguage &language = languages[input.byte() % languages.size()];
    const QString text = input.rest();
    const QList<NBEToken> tokens = NBESyntaxHighlighter::tokenize(text, language);
    qsizetype end = 0;
    for (const NBEToken &token : tokens) {
        NBE_FUZZ_CHECK(token.location >= end && token.length > 0);
        NBE_FUZZ_CHECK(token.end() <= text.size());
        end = token.end();
    }
    return 0;
}
