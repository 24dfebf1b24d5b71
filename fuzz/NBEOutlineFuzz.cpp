#include "NBEFuzzSupport.h"
#include "NBEOutline.h"

// Symbols of every kind of file name lines of the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    static const QStringList languages = {QStringLiteral("html"),       QStringLiteral("css"),
                                          QStringLiteral("javascript"), QStringLiteral("json"),
                                          QStringLiteral("swift"),      QStringLiteral("markdown"),
                                          QStringLiteral("leaf"),       QStringLiteral("yaml")};
    const QString language = languages[input.byte() % languages.size()];
    const QString text = input.rest();
    const qsizetype lines = text.count(u'\n') + 1;
    for (const NBESymbol &symbol : NBEOutline::symbols(text, language)) {
        NBE_FUZZ_CHECK(symbol.line >= 1 && symbol.line <= lines);
        NBE_FUZZ_CHECK(symbol.depth >= 0);
    }
    return 0;
}
